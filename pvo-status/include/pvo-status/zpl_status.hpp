#pragma once
// The ZPL host status (the answer to "~HS"): STX/ETX-framed lines of comma-separated fields.
#include <cstdint>
#include <expected>
#include <span>

#include "pvo-status/print_status.hpp"
#include "pvo-status/status_error.hpp"

namespace pvo_status {

// Refuses a reply without any complete STX...ETX line; a line with too few fields is read
// with the missing flags false.
std::expected<Zpl, StatusError> parse_zpl_host_status(std::span<const std::uint8_t> reply);

}  // namespace pvo_status
