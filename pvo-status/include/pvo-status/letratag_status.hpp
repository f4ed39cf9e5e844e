#pragma once
// The three LetraTag status bytes. The caller refuses a reply shorter than three bytes; the
// bytes after them are not part of the status.
#include <cstdint>
#include <span>

#include "pvo-status/print_status.hpp"

namespace pvo_status {

LetraTag decode_letratag_status(std::span<const std::uint8_t, 3> status) noexcept;

}  // namespace pvo_status
