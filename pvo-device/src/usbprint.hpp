#pragma once
// The printer-class road: USB printers served by the kernel's usblp driver. Each one shows up
// as /sys/class/usbmisc/lpN (its USB device further up the sysfs tree) with the node
// /dev/usb/lpN, which is written and read with poll() deadlines.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "pvo-device/device_error.hpp"
#include "pvo-device/usb.hpp"
#include "pvo-device/usb_devices.hpp"
#include "usbprint_node.hpp"

namespace pvo_device {

// " (" and the system's text for an errno value and ")": the tail of every OS failure text.
std::string os_error_suffix(int err);

// True when the ids are equal and, if a serial is asked for, the interface has a serial of
// the same length that equals it with ASCII letters compared without regard to case.
bool usbprint_matches(const UsbprintIdentity& found, std::uint16_t vendor_id, std::uint16_t product_id,
                      const std::optional<std::string>& serial);

// Opens the first matching interface's node. None matches: no node. A failed open is final:
// no other interface is tried.
std::expected<std::optional<LpNode>, DeviceError> find_usbprint(std::uint16_t vendor_id, std::uint16_t product_id,
                                                                const std::optional<std::string>& serial,
                                                                const std::filesystem::path& sys_root,
                                                                const std::filesystem::path& dev_root);

// One write call: waits for the node to take data, writes what it takes and waits until that
// has left, all within `timeout`. Returns the number of bytes written.
std::expected<std::size_t, DeviceError> usbprint_write_once(LpNode& node, std::span<const std::uint8_t> bytes,
                                                            std::chrono::milliseconds timeout);

// Writes every byte, each write call with its own `timeout_per_call`. No bytes: no call.
std::expected<void, DeviceError> usbprint_write(LpNode& node, std::span<const std::uint8_t> bytes,
                                                std::chrono::milliseconds timeout_per_call);

// Reads a reply by the shared reply rule (reply.hpp).
std::expected<std::vector<std::uint8_t>, DeviceError> usbprint_read(LpNode& node, std::size_t max_len,
                                                                    const UsbTimings& timings);

}  // namespace pvo_device
