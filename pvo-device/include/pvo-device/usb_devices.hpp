#pragma once
// The USB devices attached to this machine, listed the two ways a device can be reached:
// through libusb (every USB device), and through the kernel's printer-class driver (the
// interfaces it serves as /dev/usb/lpN). Opening a device goes through these same listings;
// discovery and the identity read use them too.
#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "pvo-device/device_error.hpp"

namespace pvo_device {

struct UsbDeviceInfo {
    std::uint16_t vendor_id = 0;
    std::uint16_t product_id = 0;
    std::uint8_t bus = 0;
    std::uint8_t address = 0;
    // The serial number from the device's string descriptor; none when the device names none,
    // cannot be opened to read it, or it was not asked for.
    std::optional<std::string> serial;
    bool operator==(const UsbDeviceInfo&) const = default;
};

enum class UsbSerials : std::uint8_t {
    Skip,  // nothing is opened
    Read,  // each device is opened for a moment to read its serial number
};

// The attached USB devices in libusb's order. A device whose descriptor cannot be read is left
// out; a system where libusb cannot start has none.
std::vector<UsbDeviceInfo> list_usb_devices(UsbSerials serials = UsbSerials::Skip);

struct UsbprintIdentity {
    std::uint16_t vendor_id = 0;
    std::uint16_t product_id = 0;
    std::optional<std::string> serial;
    bool operator==(const UsbprintIdentity&) const = default;
};

struct UsbprintInterface {
    std::string name;  // "lp0"
    UsbprintIdentity identity;
    bool operator==(const UsbprintInterface&) const = default;
};

// The printer-class interfaces under `sys_root` (class/usbmisc/lpN), in the order of their
// numbers, each with the ids and serial of its USB device. An entry whose USB device cannot be
// read is left out; a system without any has none.
std::expected<std::vector<UsbprintInterface>, DeviceError> list_usbprint(
    const std::filesystem::path& sys_root = "/sys");

}  // namespace pvo_device
