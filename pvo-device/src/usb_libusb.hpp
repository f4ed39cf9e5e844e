#pragma once
// The libusb road: a device opened through libusb with its interface claimed (the kernel
// driver detached for the time of the claim) and its bulk OUT and IN endpoints.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <vector>

#include "pvo-device/device_error.hpp"
#include "pvo-device/usb.hpp"

struct libusb_context;
struct libusb_device_handle;

namespace pvo_device {

class LibusbConnection {
public:
    // Lists the devices, takes the first whose ids and (exactly) serial match, opens it and
    // claims the target's interface.
    static std::expected<LibusbConnection, DeviceError> open(const UsbTarget& target);

    LibusbConnection(LibusbConnection&& other) noexcept;
    LibusbConnection& operator=(LibusbConnection&& other) noexcept;
    LibusbConnection(const LibusbConnection&) = delete;
    LibusbConnection& operator=(const LibusbConnection&) = delete;
    // Releases the interface (libusb then re-attaches the kernel driver) and closes.
    ~LibusbConnection();

    // One bulk OUT transfer of all the bytes (none: a zero-length transfer).
    std::expected<void, DeviceError> write(std::span<const std::uint8_t> bytes,
                                           std::chrono::milliseconds timeout);
    // Reads a reply by the shared reply rule, in whole packets of the IN endpoint.
    std::expected<std::vector<std::uint8_t>, DeviceError> read(std::size_t max_len,
                                                               const UsbTimings& timings);

    std::uint8_t out_endpoint() const noexcept { return out_; }
    std::uint8_t in_endpoint() const noexcept { return in_; }

private:
    LibusbConnection() = default;
    void close() noexcept;

    libusb_context* context_ = nullptr;
    libusb_device_handle* handle_ = nullptr;
    int interface_ = -1;  // claimed interface, -1 while none is
    std::uint8_t out_ = 0;
    std::uint8_t in_ = 0;
    std::size_t in_packet_ = 64;
};

// "usb " and the ids as four lower-case hexadecimal digits each, joined by ':'.
std::string usb_id_text(std::uint16_t vendor_id, std::uint16_t product_id);

// The text of a failed transfer, by the kind of a libusb error code.
std::string transfer_error_text(int libusb_error);

// A string descriptor's UTF-16LE payload as UTF-8; unpaired surrogates and a dangling odd
// byte become U+FFFD.
std::string utf16le_to_utf8(std::span<const std::uint8_t> units);

}  // namespace pvo_device
