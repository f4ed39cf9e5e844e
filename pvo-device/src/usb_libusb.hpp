#pragma once
// The libusb road: a device opened through libusb with its interface claimed (the kernel
// driver detached for the time of the claim) and its bulk OUT and IN endpoints.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pvo-device/device_error.hpp"
#include "pvo-device/usb.hpp"
#include "pvo-device/usb_devices.hpp"

struct libusb_context;
struct libusb_device;
struct libusb_device_handle;

namespace pvo_device {

// The one libusb context of the process, made at its first use and kept to its end. None when
// libusb cannot start (then there are no USB devices to offer).
libusb_context* libusb_process_context();

// The attached devices as libusb lists them, each kept referenced while the list lives.
class LibusbDeviceList {
public:
    LibusbDeviceList();  // empty when libusb cannot start or list
    ~LibusbDeviceList();
    LibusbDeviceList(const LibusbDeviceList&) = delete;
    LibusbDeviceList& operator=(const LibusbDeviceList&) = delete;

    std::span<libusb_device* const> devices() const noexcept { return {list_, count_}; }

private:
    libusb_device** list_ = nullptr;
    std::size_t count_ = 0;
};

// A listed device: its ids, bus and address (no serial yet), and the index of its serial
// number's string descriptor (0: it names none).
struct ListedDevice {
    UsbDeviceInfo info;
    std::uint8_t serial_index = 0;
};

// None when the device's descriptor cannot be read.
std::optional<ListedDevice> describe_device(libusb_device* device);

// The string descriptor `index` of an opened device (its serial number, product name...) in
// the device's first language. None when the index is 0 (the device names no such string) or
// the descriptors are malformed; a libusb error code when reading fails.
std::expected<std::optional<std::string>, int> read_string(libusb_device_handle* handle, std::uint8_t index);

// An opened device and the listing entry it came from. The caller closes the handle.
struct OpenedDevice {
    libusb_device* device = nullptr;
    libusb_device_handle* handle = nullptr;
};

// The first listed device whose ids and (exactly) serial match, opened; failing to open it is
// final. Serial numbers are read from sysfs, so no other device is opened. Errors: NotFound
// "usb vvvv:pppp", Transport "opening device: " and libusb's text.
std::expected<OpenedDevice, DeviceError> open_first_match(const LibusbDeviceList& list, const UsbTarget& target);

class LibusbConnection {
public:
    // Takes the first listed device whose ids and (exactly) serial match, opens it and claims
    // the target's interface.
    static std::expected<LibusbConnection, DeviceError> open(const UsbTarget& target);

    LibusbConnection(LibusbConnection&& other) noexcept;
    LibusbConnection& operator=(LibusbConnection&& other) noexcept;
    LibusbConnection(const LibusbConnection&) = delete;
    LibusbConnection& operator=(const LibusbConnection&) = delete;
    // Releases the interface (libusb then re-attaches the kernel driver) and closes.
    ~LibusbConnection();

    // One bulk OUT transfer of all the bytes (none: a zero-length transfer).
    std::expected<void, DeviceError> write(std::span<const std::uint8_t> bytes, std::chrono::milliseconds timeout);
    // Reads a reply by the shared reply rule, in whole packets of the IN endpoint.
    std::expected<std::vector<std::uint8_t>, DeviceError> read(std::size_t max_len, const UsbTimings& timings);

    std::uint8_t out_endpoint() const noexcept { return out_; }
    std::uint8_t in_endpoint() const noexcept { return in_; }

private:
    LibusbConnection() = default;
    void close() noexcept;

    libusb_device_handle* handle_ = nullptr;
    int interface_ = -1;  // claimed interface, -1 while none is
    std::uint8_t out_ = 0;
    std::uint8_t in_ = 0;
    std::size_t in_packet_ = 64;
};

// A time limit as libusb takes it: whole milliseconds, where 0 would mean no limit (so a
// limit of 0 or less becomes 1 ms, and one beyond its range none).
unsigned transfer_timeout(std::chrono::milliseconds timeout);

// Transport `what` followed by libusb's text for the error code.
DeviceError libusb_failure(std::string_view what, int rc);

// "usb " and the ids as four lower-case hexadecimal digits each, joined by ':'.
std::string usb_id_text(std::uint16_t vendor_id, std::uint16_t product_id);

// The text of a failed transfer, by the kind of a libusb error code.
std::string transfer_error_text(int libusb_error);

// A string descriptor's UTF-16LE payload as UTF-8; unpaired surrogates and a dangling odd
// byte become U+FFFD.
std::string utf16le_to_utf8(std::span<const std::uint8_t> units);

}  // namespace pvo_device
