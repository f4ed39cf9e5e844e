#pragma once
// What a UsbConnection holds: the open node of the printer-class road or the claimed libusb
// device, with the time limits its operations use.
#include <variant>

#include "pvo-device/usb.hpp"
#include "usb_libusb.hpp"
#include "usbprint_node.hpp"

namespace pvo_device {

struct UsbConnection::Impl {
    std::variant<LpNode, LibusbConnection> device;
    UsbTimings timings;
};

}  // namespace pvo_device
