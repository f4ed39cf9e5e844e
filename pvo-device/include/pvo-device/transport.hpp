#pragma once
// An opened delivery target, one per print job, status query or soft reboot. Dropping it
// closes what it holds: the USB connection, or the serial port if it was opened; a TCP target
// holds nothing open between writes.
#include <variant>

#include "pvo-device/serial.hpp"
#include "pvo-device/tcp.hpp"
#include "pvo-device/usb.hpp"

namespace pvo_device {

using OpenTransport = std::variant<UsbConnection, SerialTarget, TcpTarget>;

}  // namespace pvo_device
