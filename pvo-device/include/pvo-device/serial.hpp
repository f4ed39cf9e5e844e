#pragma once
// A serial port addressed by its path and baud rate. The port is opened at the first write or
// read (8 data bits, no parity, 1 stop bit, no flow control), stays open for the later ones and
// is closed when the target is dropped. A port that failed to open is tried again at the next
// operation.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <vector>

#include "pvo-device/device_error.hpp"

namespace pvo_device {

struct SerialTimings {
    // The port's own time-out: a write fails when the line has taken no byte for this long.
    std::chrono::milliseconds write_stall{500};
    // Once a reply has started, it ends at the first silence this long.
    std::chrono::milliseconds read_gap{40};
};

struct SerialTarget {
    // Records the path and baud rate only; no input or output happens here.
    SerialTarget(std::string path, std::uint32_t baud, SerialTimings timings = {});
    SerialTarget(SerialTarget&& other) noexcept;
    SerialTarget& operator=(SerialTarget&& other) noexcept;
    SerialTarget(const SerialTarget&) = delete;
    SerialTarget& operator=(const SerialTarget&) = delete;
    ~SerialTarget();

    std::string path;
    std::uint32_t baud;
    SerialTimings timings;

    bool is_open() const noexcept { return fd_ >= 0; }

private:
    friend struct SerialPortAccess;  // the operations below, which open and use the port
    void close() noexcept;

    int fd_ = -1;
};

// Writes every byte, then waits until they have left the port. Errors: "open serial <path>: ...",
// "serial write: ...", "serial flush: ...".
std::expected<void, DeviceError> serial_write(SerialTarget& target, std::span<const std::uint8_t> bytes);

// A reply, read in chunks of up to 256 bytes. It ends at whichever comes first: `max_len` bytes
// are in, `limit` has passed since the call, or the line has paused for the read gap after
// bytes have arrived. The chunk that completes `max_len` is kept whole, so a reply holds at
// most `max_len` + 255 bytes; nothing more is read from the line. Returns the bytes read, none
// when the line stayed quiet or `max_len` is 0. Errors: "open serial <path>: ...",
// "serial read: ..." (the bytes read so far are dropped).
std::expected<std::vector<std::uint8_t>, DeviceError> serial_read(SerialTarget& target, std::size_t max_len,
                                                                  std::chrono::milliseconds limit);

}  // namespace pvo_device
