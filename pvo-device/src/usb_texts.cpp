// Texts of the libusb road: device ids, transfer errors, string descriptors.
#include <libusb.h>

#include <fmt/format.h>

#include "pvo-util/text.hpp"
#include "usb_libusb.hpp"

namespace pvo_device {

std::string usb_id_text(std::uint16_t vendor_id, std::uint16_t product_id) {
    return fmt::format("usb {:04x}:{:04x}", vendor_id, product_id);
}

std::string transfer_error_text(int libusb_error) {
    switch (libusb_error) {
        case LIBUSB_ERROR_TIMEOUT:
        case LIBUSB_ERROR_INTERRUPTED:
            return "transfer was cancelled";
        case LIBUSB_ERROR_PIPE:
            return "endpoint stalled";
        case LIBUSB_ERROR_NO_DEVICE:
            return "device disconnected";
        case LIBUSB_ERROR_IO:
        case LIBUSB_ERROR_OVERFLOW:
            return "hardware fault or protocol violation";
        case LIBUSB_ERROR_INVALID_PARAM:
            return "invalid or unsupported argument";
        default:
            return fmt::format("unknown ({})", libusb_error);
    }
}

std::string utf16le_to_utf8(std::span<const std::uint8_t> units) {
    constexpr char32_t kReplacement = 0xFFFD;
    std::string out;
    const std::size_t count = units.size() / 2;
    const auto unit = [&](std::size_t i) -> char32_t { return units[2 * i] | (units[2 * i + 1] << 8); };
    for (std::size_t i = 0; i < count; ++i) {
        const char32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < count && unit(i + 1) >= 0xDC00 && unit(i + 1) <= 0xDFFF) {
            pvo_util::append_utf8(out, 0x10000 + ((u - 0xD800) << 10) + (unit(i + 1) - 0xDC00));
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            pvo_util::append_utf8(out, kReplacement);
        } else {
            pvo_util::append_utf8(out, u);
        }
    }
    if (units.size() % 2 != 0) pvo_util::append_utf8(out, kReplacement);
    return out;
}

}  // namespace pvo_device
