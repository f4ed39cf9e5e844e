#pragma once
// The system's two device listings behind discovery. Neither opens a device: the USB ids and
// serial numbers come from sysfs, which any user may read.
#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "pvo-device/discovery.hpp"
#include "usb_sysfs.hpp"

namespace pvo_device {

// The USB devices under <sys_root>/bus/usb/devices that `wanted` accepts (every one when it is
// empty), ordered by bus and device number; the serial is read only for these. A device whose
// ids cannot be read is left out; this listing has no failure of its own.
std::vector<ListedUsbDevice> list_usb_devices(const UsbIdFilter& wanted = {},
                                              const std::filesystem::path& sys_root = "/sys");

// The serial ports under <sys_root>/class/tty, the same ports with the same identities that
// libserialport lists, or the system's description of why the class cannot be read. With
// `only`, the ports of that kind alone: of the others no more than their link is read.
std::expected<std::vector<ListedSerialPort>, std::string> list_serial_ports(
    std::optional<PortKind> only = std::nullopt, const std::filesystem::path& sys_root = "/sys");

}  // namespace pvo_device
