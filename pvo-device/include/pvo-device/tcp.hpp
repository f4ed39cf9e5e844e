#pragma once
// A printer reached over raw TCP. Every write is one connection: connect, send everything,
// wait until the printer's TCP stack has acknowledged every byte, close; nothing the printer
// sends to a print job is kept. A status query is one connection too, which sends the request and reads the answer
// on it before closing.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <vector>

#include "pvo-device/device_error.hpp"

namespace pvo_device {

struct TcpTimings {
    // How long the printer may take no data at all (no room made in the send buffer, no byte
    // acknowledged) before the write fails: long enough for a person to reload media or close a
    // head, yet a printer that never resumes does not hold the job lock for ever.
    std::chrono::milliseconds write_stall{std::chrono::minutes(5)};
    // Once every byte is acknowledged, how long to go on discarding bytes a printer keeps
    // sending before closing anyway.
    std::chrono::milliseconds close_drain{2000};
    // Once an answer has started, it ends at the first silence this long.
    std::chrono::milliseconds read_gap{40};
};

struct TcpTarget {
    std::string host;
    std::uint16_t port = 0;
    // The timings its writes through the device surface use.
    TcpTimings timings{};
};

// Resolves the host, tries each address in turn, sends every byte and closes. The write
// succeeds once the printer's TCP stack has acknowledged every byte of it; what the printer does
// after that (a reset, a close, bytes sent back) does not fail it. A reset before then, or a
// printer that takes nothing for `write_stall`, fails it. Errors:
// "connect <host>:<port>: ..." (a name with no address: "could not resolve to any addresses";
// a connection that landed on itself: the text of ECONNREFUSED), "write: ..." with the system's
// text (a send that takes nothing: "write: failed to write whole buffer"; a stall: the text of
// ETIMEDOUT).
std::expected<void, DeviceError> tcp_write(const TcpTarget& target, std::span<const std::uint8_t> bytes,
                                           const TcpTimings& timings = {});

// One request and its answer on one connection: connects and sends as `tcp_write` does, then
// waits up to `limit` for the first bytes of the answer and collects until `max_len` bytes are
// in, the printer pauses for the read gap or closes; then closes gracefully. Every byte
// received is kept. A printer that stays silent gives no bytes, not an error. Errors: those of
// `tcp_write`, and "read: ..." when the connection fails before any answer has arrived.
std::expected<std::vector<std::uint8_t>, DeviceError> tcp_query(const TcpTarget& target,
                                                                std::span<const std::uint8_t> request,
                                                                std::size_t max_len, std::chrono::milliseconds limit,
                                                                const TcpTimings& timings = {});

}  // namespace pvo_device
