#pragma once
// The three LetraTag status bytes; the bytes after them are not part of the status.
#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>

#include "pvo-status/print_status.hpp"
#include "pvo-status/status_error.hpp"

namespace pvo_status {

inline constexpr std::size_t letratag_status_size = 3;

LetraTag decode_letratag_status(std::span<const std::uint8_t, letratag_status_size> status) noexcept;

// The status of a reply's first three bytes; a shorter reply is refused with
// "short LetraTag advertising status (N bytes, expected 3)".
std::expected<LetraTag, StatusError> parse_letratag_status(std::span<const std::uint8_t> reply);

}  // namespace pvo_status
