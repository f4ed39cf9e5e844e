#pragma once
// What a delivery session asks its caller to do next.
#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "pvo-status/print_status.hpp"

namespace pvo_client_delivery {

// Write all bytes to the device, then call `on_send_complete`.
struct Send {
    std::vector<std::uint8_t> bytes;
    bool operator==(const Send&) const = default;
};

// Read a reply of up to `max_len` bytes within `timeout_ms`, then call `feed_rx` with what was
// read, possibly nothing.
struct Recv {
    std::size_t max_len = 0;
    std::uint32_t timeout_ms = 0;
    bool operator==(const Recv&) const = default;
};

// Report the phase, then call `tick`.
struct Progress {
    std::string phase;
    bool operator==(const Progress&) const = default;
};

// Report the printer's status, then call `tick`.
struct Status {
    pvo_status::PrintStatus report;
    bool operator==(const Status&) const = default;
};

// The label is delivered.
struct Done {
    bool operator==(const Done&) const = default;
};

// The delivery failed with this message.
struct Fail {
    std::string message;
    bool operator==(const Fail&) const = default;
};

using DeliveryAction = std::variant<Send, Recv, Progress, Status, Done, Fail>;

// Send and Recv are I/O requests, Progress and Status notifications, Done and Fail terminal.
enum class ActionKind : std::uint8_t { Send, Recv, Notification, Terminal };

ActionKind kind_of(const DeliveryAction& action) noexcept;

// The phase words the handshakes report.
namespace phase {
inline constexpr const char* sending = "sending";
inline constexpr const char* done = "done";
inline constexpr const char* init = "init";
inline constexpr const char* handshake = "handshake";
inline constexpr const char* cutting = "cutting";
inline constexpr const char* acquiring_lock = "acquiring_lock";
inline constexpr const char* sending_preamble = "sending_preamble";
inline constexpr const char* sending_label = "sending_label";
inline constexpr const char* finalizing = "finalizing";
}  // namespace phase

}  // namespace pvo_client_delivery
