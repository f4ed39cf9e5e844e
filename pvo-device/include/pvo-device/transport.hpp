#pragma once
// An opened delivery target, one per print job, status query or soft reboot, and the one
// surface through which every kind of device is written and read. Dropping it closes what it
// holds: the USB connection, or the serial port if it was opened; a TCP target holds nothing
// open between writes.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <variant>
#include <vector>

#include "pvo-device/device_error.hpp"
#include "pvo-device/serial.hpp"
#include "pvo-device/tcp.hpp"
#include "pvo-device/usb.hpp"

namespace pvo_device {

using DeviceKinds = std::variant<UsbConnection, SerialTarget, TcpTarget>;

class OpenTransport : public DeviceKinds {
public:
    using DeviceKinds::DeviceKinds;

    // Every byte, in one call of the kind's own write (usb_write, serial_write, tcp_write).
    std::expected<void, DeviceError> write(std::span<const std::uint8_t> bytes);

    // A reply of about `max_len` bytes, by kind:
    // - USB: no I/O for a `max_len` of 0; else one usb_read, whose own time limits apply (not
    //   `limit`). A failed or missing reply reads as no bytes: it is never an error.
    // - Serial: ends at whichever comes first: `max_len` bytes are in, `limit` has passed, or
    //   the line paused for the port's read gap (40 ms) after bytes arrived (serial_read). A
    //   reply may be shorter than `max_len`, or longer by the rest of its last 256-byte chunk.
    //   A `limit` of 0 reads nothing. A read error is returned unchanged.
    // - TCP: no bytes, at once; a print job never reads a network printer (see `exchange`).
    std::expected<std::vector<std::uint8_t>, DeviceError> read(std::size_t max_len, std::chrono::milliseconds limit);

    // A request and its answer, for the status query: `write` then `read`, except on TCP,
    // where the answer is read on the connection that sent the request (`tcp_query`), with
    // `limit` for its first bytes.
    std::expected<std::vector<std::uint8_t>, DeviceError> exchange(std::span<const std::uint8_t> request,
                                                                   std::size_t max_len,
                                                                   std::chrono::milliseconds limit);
};

}  // namespace pvo_device
