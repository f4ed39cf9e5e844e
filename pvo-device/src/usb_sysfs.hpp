#pragma once
// USB devices as sysfs shows them: ids and serial numbers that any user may read, without
// opening a device. Discovery lists devices this way, the printer-class road finds the device
// of an lpN interface this way, and the libusb road picks a device by its serial this way.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "pvo-device/discovery.hpp"

namespace pvo_device {

// The ids (idVendor, idProduct) and serial of the USB device whose sysfs directory is `dir`;
// none when an id is missing or not a hexadecimal number. The serial is absent when the device
// names none (the kernel then writes no serial attribute, or an empty one).
std::optional<ListedUsbDevice> read_usb_identity(const std::filesystem::path& dir);

struct SysfsUsbDevice {
    unsigned bus = 0;      // busnum
    unsigned address = 0;  // devnum
    ListedUsbDevice device;
};

// Which devices a listing wants, by their ids. The vendor is asked about first, so a device of
// a vendor that is not wanted costs one read. An empty member wants every device.
struct UsbIdFilter {
    std::function<bool(std::uint16_t vendor_id)> vendor;
    std::function<bool(std::uint16_t vendor_id, std::uint16_t product_id)> device;
};

// The devices under <sys_root>/bus/usb/devices (interfaces, which have no ids, are not) that
// `wanted` accepts, ordered by bus and address. Of the others no more is read than it takes to
// leave them out. A device whose ids or place cannot be read is left out.
std::vector<SysfsUsbDevice> list_sysfs_usb_devices(const UsbIdFilter& wanted = {},
                                                   const std::filesystem::path& sys_root = "/sys");

}  // namespace pvo_device
