#pragma once
// The identity of a USB printer, read with the printer-class GET_DEVICE_ID request: the status
// query of a printer whose protocol has no status request of its own (tspl).
#include <chrono>
#include <expected>

#include "pvo-device/device_error.hpp"
#include "pvo-status/print_status.hpp"
#include "pvo-status/protocol.hpp"

namespace pvo_device {

struct UsbIdentityTimings {
    // Limit of the GET_DEVICE_ID control transfer.
    std::chrono::milliseconds device_id_timeout{2'000};
};

// For tspl: the first libusb device whose ids and (exactly) serial match the target (serials
// read from sysfs, so no other device is opened), opened with the target's interface claimed (the kernel's printer driver steps aside for the claim
// and gets the interface back afterwards), asked for its IEEE 1284 Device ID, released and
// closed. The report holds the Device ID fields and the device's own product, manufacturer and
// serial-number strings and ids, cleaned; a Device ID that cannot be read leaves its fields out.
// Errors: NotFound "usb vvvv:pppp"; Transport "opening device: ", "claiming interface: " or
// "GET_DEVICE_ID: " followed by libusb's text. Any other protocol is refused without touching
// a device.
std::expected<pvo_status::PrintStatus, DeviceError> query_status_usb(pvo_status::Protocol protocol,
                                                                     const UsbTarget& target,
                                                                     const UsbIdentityTimings& timings = {});

}  // namespace pvo_device
