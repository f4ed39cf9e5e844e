#pragma once
// The one status report of the agent: whatever printer family answered, its reply becomes one
// of these variants. A report owns its texts and lists.
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "pvo-status/status_words.hpp"

namespace pvo_status {

// Whether a printer can take a job now. A ready printer has no reason; a printer that is not
// ready may name why with a word chosen by its family's parser.
struct Readiness {
    bool ready_to_print = false;
    std::optional<std::string> reason;

    static Readiness ready() { return {true, std::nullopt}; }
    static Readiness not_ready(std::string reason) { return {false, std::move(reason)}; }
    bool operator==(const Readiness&) const = default;
};

// LabelWriter 550 print-engine status.
struct DymoLw {
    LwPrintState print_status = LwPrintState::Unknown;
    std::uint32_t print_job_id = 0;
    std::uint16_t label_index = 0;
    PrintHeadStatus print_head_status = PrintHeadStatus::Unknown;
    std::uint8_t print_density = 0;
    MediaBayStatus main_bay_status = MediaBayStatus::Unknown;
    std::optional<std::string> sku;
    std::uint32_t error_id = 0;
    std::uint16_t label_count = 0;
    bool eps_present = false;
    PrintHeadVoltage print_head_voltage = PrintHeadVoltage::Unknown;
    Readiness readiness;
    bool operator==(const DymoLw&) const = default;
};

// D1 tape printer status byte.
struct Dymo {
    std::uint8_t raw = 0;
    bool cassette_inserted = false;
    bool cutter_jammed = false;
    bool general_error = false;
    bool operator==(const Dymo&) const = default;
};

// Classic LabelWriter status byte.
struct DymoLwClassic {
    std::uint8_t raw = 0;
    bool ready = false;
    bool top_of_form = false;
    bool no_paper = false;
    bool paper_jam = false;
    bool printer_error = false;
    bool operator==(const DymoLwClassic&) const = default;
};

// Brother's short description of a status and how serious it is.
struct StatusSummary {
    std::string state;
    Severity severity = Severity::Neutral;
    bool operator==(const StatusSummary&) const = default;
};

struct BrotherQl {
    BrotherStatusType status_type = BrotherStatusType::Unknown;
    BrotherPhaseType phase_type = BrotherPhaseType::Unknown;
    QlMediaType media_type = QlMediaType::Unknown;
    std::uint8_t media_width_mm = 0;
    std::uint8_t media_length_mm = 0;
    std::string model_code;
    bool two_color_roll = false;
    std::vector<QlError> errors;
    StatusSummary summary;
    Readiness readiness;
    bool operator==(const BrotherQl&) const = default;
};

struct BrotherPt {
    BrotherStatusType status_type = BrotherStatusType::Unknown;
    BrotherPhaseType phase_type = BrotherPhaseType::Unknown;
    PtMediaType media_type = PtMediaType::Unknown;
    std::uint8_t media_width_mm = 0;
    std::uint8_t media_length_mm = 0;
    std::string model_code;
    std::uint8_t battery_level = 0;
    std::uint8_t extended_error = 0;
    std::uint8_t notification_number = 0;
    std::uint16_t phase_number = 0;
    std::uint8_t tape_color_id = 0;
    std::uint8_t text_color_id = 0;
    std::vector<PtError> errors;
    StatusSummary summary;
    Readiness readiness;
    bool operator==(const BrotherPt&) const = default;
};

// ZPL host status: its flags and the reply's lines in reply order.
struct Zpl {
    bool paper_out = false;
    bool pause = false;
    bool head_open = false;
    bool corrupt_ram = false;
    std::vector<std::string> raw_lines;
    Readiness readiness;
    bool operator==(const Zpl&) const = default;
};

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

struct NiimbotPrintProgress {
    std::uint16_t page = 0;
    std::uint8_t progress1 = 0;
    std::uint8_t progress2 = 0;
    bool operator==(const NiimbotPrintProgress&) const = default;
};

// NIIMBOT print progress; readiness is present only while a print is in progress. The media
// and device fields of the JSON form have no source here and are always written as null.
struct Niimbot {
    NiimbotPrintProgress print_status;
    std::optional<Readiness> readiness;
    bool operator==(const Niimbot&) const = default;
};

struct Gpgl {
    GpglState state = GpglState::Ready;
    Readiness readiness;
    bool operator==(const Gpgl&) const = default;
};

struct LetraTag {
    std::uint8_t revision = 0;
    std::uint8_t cassette_id = 0;
    bool carbon_type = false;
    bool busy_locked = false;
    bool tape_jam = false;
    bool cutter_jam = false;
    bool battery_too_low = false;
    bool battery_low = false;
    std::uint8_t battery_level = 0;
    bool charging = false;
    bool operator==(const LetraTag&) const = default;
};

using PrintStatus = std::variant<DymoLw, Dymo, DymoLwClassic, BrotherQl, BrotherPt, Zpl,
                                 UsbPrinterId, Niimbot, Gpgl, LetraTag>;

}  // namespace pvo_status
