#pragma once
// What the agent sends to ask a printer for its status, and how much of the reply it reads.
#include <cstddef>
#include <cstdint>
#include <expected>
#include <vector>

#include "pvo-status/protocol.hpp"
#include "pvo-status/status_error.hpp"

namespace pvo_status {

// The request bytes of the protocol's status query. LetraTag's is empty: that printer is only
// listened to. Protocols without a status query are refused before any device is opened; tspl
// has its own road (the USB Device ID) and is refused here with a text saying so.
std::expected<std::vector<std::uint8_t>, StatusError> status_query_bytes(Protocol protocol);

// How many bytes the status query asks the device for.
std::size_t status_reply_length(Protocol protocol) noexcept;

}  // namespace pvo_status
