#pragma once
// The error of every open, write and read on a device, and the USB device a request names.
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <utility>

namespace pvo_device {

struct DeviceError {
    enum class Kind : std::uint8_t { NotFound, Transport };
    Kind kind;
    std::string text;

    static DeviceError not_found(std::string text) { return {Kind::NotFound, std::move(text)}; }
    static DeviceError transport(std::string text) { return {Kind::Transport, std::move(text)}; }

    // "device not found: " or "transport error: " followed by the text.
    std::string message() const { return (kind == Kind::NotFound ? "device not found: " : "transport error: ") + text; }
    bool operator==(const DeviceError&) const = default;
    friend std::ostream& operator<<(std::ostream& out, const DeviceError& e) { return out << e.message(); }
};

struct UsbTarget {
    std::uint16_t vendor_id = 0;
    std::uint16_t product_id = 0;
    std::optional<std::string> serial;
    std::uint8_t interface = 0;
};

}  // namespace pvo_device
