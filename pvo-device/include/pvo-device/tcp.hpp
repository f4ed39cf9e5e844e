#pragma once
// A printer reached over raw TCP. Every write is one connection: connect, send everything,
// close. Nothing is ever read from the printer.
#include <chrono>
#include <cstdint>
#include <expected>
#include <span>
#include <string>

#include "pvo-device/device_error.hpp"

namespace pvo_device {

struct TcpTimings {
    // After sending, how long to wait for the printer to close its side before we close ours.
    std::chrono::milliseconds close_drain{2000};
};

struct TcpTarget {
    std::string host;
    std::uint16_t port = 0;
    // The timings its writes through the device surface use.
    TcpTimings timings{};
};

// Resolves the host, tries each address in turn, sends every byte and closes. Errors:
// "connect <host>:<port>: ..." (a name with no address: "could not resolve to any addresses"),
// "write: ..." (a send that takes nothing: "write: failed to write whole buffer").
std::expected<void, DeviceError> tcp_write(const TcpTarget& target, std::span<const std::uint8_t> bytes,
                                           const TcpTimings& timings = {});

}  // namespace pvo_device
