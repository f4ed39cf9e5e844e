#include "pvo-status/device_id.hpp"

#include <algorithm>
#include <string_view>
#include <vector>

#include "pvo-util/text.hpp"
#include "report_json.hpp"

namespace pvo_status {
namespace {

using pvo_util::trim_unicode_white_space;

// The key of a Device ID pair as read by this agent: ASCII upper case, matched exactly.
std::optional<std::string>* field_for(DeviceId& id, std::string_view key) {
    if (key == "MFG" || key == "MANUFACTURER") return &id.manufacturer;
    if (key == "MDL" || key == "MODEL") return &id.model;
    if (key == "DES" || key == "DESCRIPTION") return &id.description;
    if (key == "CMD" || key == "COMMANDSET" || key == "COMMAND SET") return &id.command_set;
    return nullptr;
}

std::string ascii_upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

void clean(std::optional<std::string>& field) {
    if (!field) return;
    const std::string_view trimmed = trim_unicode_white_space(*field);
    if (trimmed.empty()) {
        field.reset();
    } else {
        *field = std::string(trimmed);
    }
}

// Where the pairs start: behind a trusted length, else behind the two length bytes when a colon
// follows them, else the whole reply when it holds a colon anywhere.
std::optional<std::span<const std::uint8_t>> device_id_body(std::span<const std::uint8_t> reply) {
    if (reply.size() < 2) return std::nullopt;
    const std::size_t length = (std::size_t{reply[0]} << 8) | reply[1];
    if (length >= 3 && length <= reply.size()) return reply.subspan(2, length - 2);
    const auto has_colon = [](std::span<const std::uint8_t> bytes) {
        return std::find(bytes.begin(), bytes.end(), std::uint8_t{':'}) != bytes.end();
    };
    if (has_colon(reply.subspan(2))) return reply.subspan(2);
    if (has_colon(reply)) return reply;
    return std::nullopt;
}

}  // namespace

std::optional<DeviceId> parse_device_id(std::span<const std::uint8_t> reply) {
    const auto body = device_id_body(reply);
    if (!body) return std::nullopt;
    const std::string text = pvo_util::utf8_lossy(*body);
    const std::string_view raw = trim_unicode_white_space(text);
    if (raw.empty()) return std::nullopt;

    DeviceId id;
    id.raw = std::string(raw);
    bool found = false;
    std::size_t start = 0;
    while (start <= raw.size()) {
        const std::size_t end = std::min(raw.find(';', start), raw.size());
        const std::string_view piece = trim_unicode_white_space(raw.substr(start, end - start));
        start = end + 1;
        const std::size_t colon = piece.find(':');
        if (colon == std::string_view::npos) continue;
        const std::string_view key = trim_unicode_white_space(piece.substr(0, colon));
        const std::string_view value = trim_unicode_white_space(piece.substr(colon + 1));
        if (key.empty() || value.empty()) continue;
        if (auto* field = field_for(id, ascii_upper(key))) {
            *field = std::string(value);
            found = true;
        }
    }
    if (!found) return std::nullopt;

    UsbPrinterId cleaned;
    cleaned.manufacturer = id.manufacturer;
    cleaned.model = id.model;
    cleaned.description = id.description;
    cleaned.command_set = id.command_set;
    clean_usb_printer_id(cleaned);
    id.manufacturer = cleaned.manufacturer;
    id.model = cleaned.model;
    id.description = cleaned.description;
    id.command_set = cleaned.command_set;
    return id;
}

void clean_usb_printer_id(UsbPrinterId& report) {
    for (auto* field : {&report.manufacturer, &report.model, &report.description, &report.command_set, &report.product,
                        &report.usb_manufacturer, &report.serial_number, &report.raw_device_id}) {
        clean(*field);
    }
    if (report.manufacturer && pvo_util::ascii_iequals(*report.manufacturer, "printer")) {
        report.manufacturer.reset();
    }
    if (report.serial_number &&
        std::all_of(report.serial_number->begin(), report.serial_number->end(), [](char c) { return c == '0'; })) {
        report.serial_number.reset();
    }
}

nlohmann::json report_json(const UsbPrinterId& s) {
    nlohmann::json out = {{"protocol", "usb-printer-id"}};
    const auto put_text = [&](const char* key, const std::optional<std::string>& value) {
        if (value) out[key] = json_text(*value);
    };
    put_text("manufacturer", s.manufacturer);
    put_text("model", s.model);
    put_text("description", s.description);
    put_text("command_set", s.command_set);
    put_text("product", s.product);
    put_text("usb_manufacturer", s.usb_manufacturer);
    put_text("serial_number", s.serial_number);
    if (s.vendor_id) out["vendor_id"] = *s.vendor_id;
    if (s.product_id) out["product_id"] = *s.product_id;
    put_text("raw_device_id", s.raw_device_id);
    return out;
}

}  // namespace pvo_status
