#include "pvo-status/status_json.hpp"

#include <nlohmann/json.hpp>

#include "pvo-util/text.hpp"

namespace pvo_status {
namespace {

using nlohmann::json;

// Every text of a report goes through here: device replies may hold any bytes, and a JSON
// string must be valid UTF-8.
json text(const std::string& value) { return pvo_util::utf8_lossy(value); }

json optional_text(const std::optional<std::string>& value) {
    return value ? text(*value) : json(nullptr);
}

template <typename Word>
json words(const std::vector<Word>& values) {
    json list = json::array();
    for (Word w : values) list.push_back(word(w));
    return list;
}

json readiness(const Readiness& r) {
    json out = {{"ready_to_print", r.ready_to_print}};
    if (r.reason) out["reason"] = text(*r.reason);
    return out;
}

json summary(const StatusSummary& s) {
    return {{"state", text(s.state)}, {"severity", word(s.severity)}};
}

// Each report's fields, under the tag it is written with.
json fields(const DymoLw& s) {
    return {
        {"protocol", "dymo-lw"},
        {"print_status", word(s.print_status)},
        {"print_job_id", s.print_job_id},
        {"label_index", s.label_index},
        {"print_head_status", word(s.print_head_status)},
        {"print_density", s.print_density},
        {"main_bay_status", word(s.main_bay_status)},
        {"sku", optional_text(s.sku)},
        {"error_id", s.error_id},
        {"label_count", s.label_count},
        {"eps_present", s.eps_present},
        {"print_head_voltage", word(s.print_head_voltage)},
        {"readiness", readiness(s.readiness)},
    };
}

json fields(const Dymo& s) {
    return {
        {"protocol", "dymo"},
        {"raw", s.raw},
        {"cassette_inserted", s.cassette_inserted},
        {"cutter_jammed", s.cutter_jammed},
        {"general_error", s.general_error},
    };
}

json fields(const DymoLwClassic& s) {
    return {
        {"protocol", "dymolwclassic"},
        {"raw", s.raw},
        {"ready", s.ready},
        {"top_of_form", s.top_of_form},
        {"no_paper", s.no_paper},
        {"paper_jam", s.paper_jam},
        {"printer_error", s.printer_error},
    };
}

// The fields both Brother families share.
template <typename Brother>
json brother_fields(const Brother& s, std::string_view tag) {
    return {
        {"protocol", tag},
        {"status_type", word(s.status_type)},
        {"phase_type", word(s.phase_type)},
        {"media_type", word(s.media_type)},
        {"media_width_mm", s.media_width_mm},
        {"media_length_mm", s.media_length_mm},
        {"model_code", text(s.model_code)},
        {"errors", words(s.errors)},
        {"summary", summary(s.summary)},
        {"readiness", readiness(s.readiness)},
    };
}

json fields(const BrotherQl& s) {
    json out = brother_fields(s, "brother-ql");
    out["two_color_roll"] = s.two_color_roll;
    return out;
}

json fields(const BrotherPt& s) {
    json out = brother_fields(s, "brother-pt");
    out["battery_level"] = s.battery_level;
    out["extended_error"] = s.extended_error;
    out["notification_number"] = s.notification_number;
    out["phase_number"] = s.phase_number;
    out["tape_color_id"] = s.tape_color_id;
    out["text_color_id"] = s.text_color_id;
    return out;
}

json fields(const Zpl& s) {
    json lines = json::array();
    for (const auto& line : s.raw_lines) lines.push_back(text(line));
    return {
        {"protocol", "zpl"},
        {"paper_out", s.paper_out},
        {"pause", s.pause},
        {"head_open", s.head_open},
        {"corrupt_ram", s.corrupt_ram},
        {"raw_lines", std::move(lines)},
        {"readiness", readiness(s.readiness)},
    };
}

// Every field is optional and an absent one is left out.
json fields(const UsbPrinterId& s) {
    json out = {{"protocol", "usb-printer-id"}};
    const auto put_text = [&](const char* key, const std::optional<std::string>& value) {
        if (value) out[key] = text(*value);
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

json fields(const Niimbot& s) {
    json out = {
        {"protocol", "niimbot"},
        {"print_status",
         {{"page", s.print_status.page},
          {"progress1", s.print_status.progress1},
          {"progress2", s.print_status.progress2}}},
        {"rfid", nullptr},
        {"heartbeat", nullptr},
        {"media_barcode", nullptr},
        {"media_width_mm", nullptr},
        {"media_length_mm", nullptr},
        {"device_info", nullptr},
    };
    if (s.readiness) out["readiness"] = readiness(*s.readiness);
    return out;
}

json fields(const Gpgl& s) {
    return {
        {"protocol", "gpgl"},
        {"state", word(s.state)},
        {"readiness", readiness(s.readiness)},
    };
}

json fields(const LetraTag& s) {
    return {
        {"protocol", "letratag"},
        {"revision", s.revision},
        {"cassette_id", s.cassette_id},
        {"carbon_type", s.carbon_type},
        {"busy_locked", s.busy_locked},
        {"tape_jam", s.tape_jam},
        {"cutter_jam", s.cutter_jam},
        {"battery_too_low", s.battery_too_low},
        {"battery_low", s.battery_low},
        {"battery_level", s.battery_level},
        {"charging", s.charging},
    };
}

}  // namespace

// nlohmann::json objects are std::maps keyed by std::string, so every object, nested ones
// included, comes out with its keys in byte-wise order whatever the insertion order above.
json to_json(const PrintStatus& status) {
    return std::visit([](const auto& report) { return fields(report); }, status);
}

std::string to_json_text(const PrintStatus& status) {
    // Texts are already valid UTF-8; the replacing handler only guards against a future field
    // that skips `text`.
    return to_json(status).dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace pvo_status
