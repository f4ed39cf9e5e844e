#pragma once
// The IEEE 1284 Device ID that a USB printer returns for the printer-class GET_DEVICE_ID
// request, and the cleaning rules of the identity report built from it.
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include <nlohmann/json_fwd.hpp>

namespace pvo_status {

// The identity of a USB printer: the IEEE 1284 Device ID fields and what USB reports.
struct UsbPrinterId {
    std::optional<std::string> manufacturer;
    std::optional<std::string> model;
    std::optional<std::string> description;
    std::optional<std::string> command_set;
    std::optional<std::string> product;
    std::optional<std::string> usb_manufacturer;
    std::optional<std::string> serial_number;
    std::optional<std::uint16_t> vendor_id;
    std::optional<std::uint16_t> product_id;
    std::optional<std::string> raw_device_id;
    bool operator==(const UsbPrinterId&) const = default;
};

// The JSON object of the report, tagged "usb-printer-id"; absent fields are left out.
nlohmann::json report_json(const UsbPrinterId& report);

struct DeviceId {
    std::optional<std::string> manufacturer;
    std::optional<std::string> model;
    std::optional<std::string> description;
    std::optional<std::string> command_set;
    std::string raw;  // the trimmed Device ID text
    bool operator==(const DeviceId&) const = default;
};

// The GET_DEVICE_ID reply: a two-byte big-endian length that counts itself, then "KEY:value;"
// pairs. A length that does not fit the reply is not trusted. None when the reply holds no
// manufacturer, model, description or command set; the caller then treats the Device ID as
// empty, so nothing here needs a message.
std::optional<DeviceId> parse_device_id(std::span<const std::uint8_t> reply);

// Trims every text of the report and drops it when empty; drops a manufacturer that is only the
// word "printer" (any letter case) and a serial number made of the digit 0 only.
void clean_usb_printer_id(UsbPrinterId& report);

}  // namespace pvo_status
