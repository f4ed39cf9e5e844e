#pragma once
// The reply side of the status query: the family parser chosen by protocol.
#include <cstdint>
#include <expected>
#include <span>

#include "pvo-status/print_status.hpp"
#include "pvo-status/protocol.hpp"
#include "pvo-status/status_error.hpp"

namespace pvo_status {

// The report of a status reply, by the protocol's parser. A reply that is too short or carries
// the wrong marker is refused with the parser's own text; bytes beyond what a parser reads are
// ignored. Protocols without a status reply (tspl included, whose identity is read over USB)
// give "status parsing not supported for protocol " and the protocol's CamelCase name.
std::expected<PrintStatus, StatusError> parse_status(Protocol protocol, std::span<const std::uint8_t> reply);

}  // namespace pvo_status
