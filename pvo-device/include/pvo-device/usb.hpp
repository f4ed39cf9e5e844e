#pragma once
// An open USB printer or cutter and the byte operations on it.
//
// A device is reached in one of two ways, tried in this order: through the kernel's USB
// printer-class driver (a /dev/usb/lpN node found under /sys/class/usbmisc), or, when no
// printer-class interface matches, through libusb on the target's interface and its bulk
// endpoints. Every call blocks the calling thread.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

#include "pvo-device/device_error.hpp"

namespace pvo_device {

struct UsbTimings {
    // Limit of one write call on the device.
    std::chrono::milliseconds write_timeout{30'000};
    // Limit for the first bytes of a reply.
    std::chrono::milliseconds read_timeout{5'000};
    // Once bytes have arrived, a reply ends when no more arrive within this pause.
    std::chrono::milliseconds read_gap{40};
};

struct UsbOptions {
    UsbTimings timings;
    // Where the printer-class road looks for sysfs and device nodes.
    std::filesystem::path sys_root{"/sys"};
    std::filesystem::path dev_root{"/dev"};
};

class UsbConnection {
public:
    enum class Road : std::uint8_t { PrinterClass, Libusb };

    struct Impl;
    explicit UsbConnection(std::unique_ptr<Impl> impl);
    UsbConnection(UsbConnection&&) noexcept;
    UsbConnection& operator=(UsbConnection&&) noexcept;
    // Closes the printer-class node, or releases the claimed interface (which hands it back
    // to the kernel driver it was taken from) and closes the device.
    ~UsbConnection();

    Road road() const noexcept;
    Impl& impl() noexcept { return *impl_; }

private:
    std::unique_ptr<Impl> impl_;
};

// Opens the device the target names. No matching device gives NotFound "usb vvvv:pppp".
std::expected<UsbConnection, DeviceError> open_usb(const UsbTarget& target, const UsbOptions& options = {});

// Writes every byte. No bytes: nothing on the printer-class road, one zero-length transfer
// on the libusb road.
std::expected<void, DeviceError> usb_write(UsbConnection& connection, std::span<const std::uint8_t> bytes);

// Reads a reply: waits up to the read time-out for its first bytes, then collects until
// `max_len` bytes have arrived or the device pauses for the read gap. Every byte received is
// returned, even beyond `max_len`. A `max_len` of 0 returns no bytes without touching the
// device; no bytes at all by the time-out is an error.
std::expected<std::vector<std::uint8_t>, DeviceError> usb_read(UsbConnection& connection, std::size_t max_len);

}  // namespace pvo_device
