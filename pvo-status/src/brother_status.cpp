#include "pvo-status/brother_status.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>
#include <string_view>

#include "report_json.hpp"

namespace pvo_status {
namespace {

using nlohmann::json;

// The fields both Brother families share.
template <typename Brother>
json brother_json(const Brother& s, std::string_view tag) {
    return {
        {"protocol", tag},
        {"status_type", word(s.status_type)},
        {"phase_type", word(s.phase_type)},
        {"media_type", word(s.media_type)},
        {"media_width_mm", s.media_width_mm},
        {"media_length_mm", s.media_length_mm},
        {"model_code", json_text(s.model_code)},
        {"errors", json_words(s.errors)},
        {"summary", {{"state", json_text(s.summary.state)}, {"severity", word(s.summary.severity)}}},
        {"readiness", json_readiness(s.readiness)},
    };
}

// Offsets of the fields in the reply.
namespace at {
constexpr std::size_t model_code = 4;
constexpr std::size_t battery_level = 6;
constexpr std::size_t extended_error = 7;
constexpr std::size_t error_info_1 = 8;
constexpr std::size_t error_info_2 = 9;
constexpr std::size_t media_width = 10;
constexpr std::size_t media_type = 11;
constexpr std::size_t media_length = 17;
constexpr std::size_t status_type = 18;
constexpr std::size_t phase_type = 19;
constexpr std::size_t phase_number = 20;  // two bytes, big-endian
constexpr std::size_t notification_number = 22;
constexpr std::size_t tape_color = 24;
constexpr std::size_t text_color = 25;
}  // namespace at

constexpr std::array<std::uint8_t, 3> header{0x80, 0x20, 0x42};
constexpr std::uint8_t status_type_error = 0x02;
constexpr std::uint8_t media_type_none = 0x00;
constexpr std::uint8_t pt_media_type_incompatible = 0xFF;
// A PT reporting phase number 20 has its cover open, whatever its error bits say.
constexpr std::uint16_t pt_cover_open_phase = 20;

struct ModelName {
    std::uint8_t code;
    std::string_view name;
};

constexpr ModelName ql_models[] = {
    {'1', "QL-500"},   {'2', "QL-550"},     {'3', "QL-560"},     {'4', "QL-570"},  {'5', "QL-580N"},
    {'6', "QL-650TD"}, {'7', "QL-700"},     {'8', "QL-800"},     {'9', "QL-810W"}, {'A', "QL-820NWB"},
    {'C', "QL-1100"},  {'D', "QL-1110NWB"}, {'G', "QL-1115NWB"},
};

constexpr ModelName pt_models[] = {
    {'d', "PT-H500"},  {'e', "PT-E500"},   {'f', "PT-E550W"}, {'g', "PT-P700"},   {'h', "PT-P750W"},
    {'o', "PT-P900W"}, {'p', "PT-P950NW"}, {'q', "PT-P900"},  {'x', "PT-P910BT"},
};

// The PT models whose replies use the long error tables.
constexpr std::uint8_t pt_long_table_models[] = {'o', 'p', 'q', 'x'};

// One entry of an error table: a bit of an error byte and the word it adds.
template <typename Error>
struct ErrorBit {
    std::uint8_t bit;
    Error error;
};

template <typename Error>
struct ErrorTable {
    std::span<const ErrorBit<Error>> byte8;
    std::span<const ErrorBit<Error>> byte9;
};

constexpr ErrorBit<QlError> ql_byte8[] = {
    {0, QlError::NoMedia},      {1, QlError::EndOfMedia},       {2, QlError::CutterJam},
    {4, QlError::PrinterInUse}, {5, QlError::PrinterTurnedOff},
};
constexpr ErrorBit<QlError> ql_byte9[] = {
    {0, QlError::ReplaceMedia}, {1, QlError::ExpansionBufferFull}, {2, QlError::CommunicationError},
    {4, QlError::CoverOpen},    {6, QlError::MediaCannotBeFed},    {7, QlError::SystemError},
};

constexpr ErrorBit<PtError> pt_long_byte8[] = {
    {0, PtError::NoMedia},       {1, PtError::EndOfMedia},         {2, PtError::CutterJam},
    {3, PtError::WeakBatteries}, {6, PtError::HighVoltageAdapter},
};
constexpr ErrorBit<PtError> pt_long_byte9[] = {
    {0, PtError::ReplaceMedia},
    {1, PtError::ExpansionBufferFull},
    {2, PtError::CommunicationError},
    {3, PtError::CommunicationBufferFull},
    {4, PtError::CoverOpen},
    {5, PtError::Overheating},
    {6, PtError::BlackMarkingNotDetected},
    {7, PtError::SystemError},
};
constexpr ErrorBit<PtError> pt_short_byte8[] = {
    {0, PtError::NoMedia},
    {2, PtError::CutterJam},
    {3, PtError::WeakBatteries},
    {6, PtError::HighVoltageAdapter},
};
constexpr ErrorBit<PtError> pt_short_byte9[] = {
    {0, PtError::ReplaceMedia},
    {4, PtError::CoverOpen},
    {5, PtError::Overheating},
};

constexpr ErrorTable<QlError> ql_errors{ql_byte8, ql_byte9};
constexpr ErrorTable<PtError> pt_long_errors{pt_long_byte8, pt_long_byte9};
constexpr ErrorTable<PtError> pt_short_errors{pt_short_byte8, pt_short_byte9};

struct ExtendedError {
    std::uint8_t code;
    PtError error;
};

constexpr ExtendedError pt_extended_errors[] = {
    {0x10, PtError::FleTapeEnd},
    {0x1D, PtError::HighResDraftError},
    {0x1E, PtError::AdapterInsertError},
    {0x21, PtError::IncompatibleMedia},
};

struct MediaCode {
    std::uint8_t code;
    PtMediaType type;
};

constexpr MediaCode pt_media_types[] = {
    {0x00, PtMediaType::NoMedia},
    {0x01, PtMediaType::LaminatedTape},
    {0x03, PtMediaType::NonLaminatedTape},
    {0x04, PtMediaType::FabricTape},
    {0x11, PtMediaType::HeatShrinkTube2To1},
    {0x13, PtMediaType::FleTape},
    {0x14, PtMediaType::FlexibleIdTape},
    {0x15, PtMediaType::SatinTape},
    {0x17, PtMediaType::HeatShrinkTube3To1},
    {0xFF, PtMediaType::IncompatibleTape},
};

// The two refusals; `family` is "QL" or "PT".
std::expected<void, StatusError> check_reply(std::span<const std::uint8_t> reply, std::string_view family) {
    if (reply.size() < brother_status_reply_size) {
        return std::unexpected(StatusError("short Brother " + std::string(family) + " status reply (" +
                                           std::to_string(reply.size()) + " bytes, expected " +
                                           std::to_string(brother_status_reply_size) + ")"));
    }
    if (!std::equal(header.begin(), header.end(), reply.begin())) {
        char shown[9];
        std::snprintf(shown, sizeof shown, "%02x:%02x:%02x", reply[0], reply[1], reply[2]);
        return std::unexpected(StatusError("unexpected Brother " + std::string(family) + " status header " + shown));
    }
    return {};
}

BrotherStatusType status_type_of(std::uint8_t code) noexcept {
    switch (code) {
        case 0x00:
            return BrotherStatusType::Reply;
        case 0x01:
            return BrotherStatusType::PrintComplete;
        case 0x02:
            return BrotherStatusType::Error;
        case 0x04:
            return BrotherStatusType::TurnedOff;
        case 0x05:
            return BrotherStatusType::Notification;
        case 0x06:
            return BrotherStatusType::PhaseChange;
        default:
            return BrotherStatusType::Unknown;
    }
}

BrotherPhaseType phase_type_of(std::uint8_t code) noexcept {
    switch (code) {
        case 0:
            return BrotherPhaseType::Waiting;
        case 1:
            return BrotherPhaseType::Printing;
        default:
            return BrotherPhaseType::Unknown;
    }
}

QlMediaType ql_media_type_of(std::uint8_t code) noexcept {
    switch (code) {
        case 0x00:
            return QlMediaType::NoMedia;
        case 0x0A:
        case 0x4A:
            return QlMediaType::Continuous;
        case 0x0B:
        case 0x4B:
            return QlMediaType::DieCut;
        default:
            return QlMediaType::Unknown;
    }
}

PtMediaType pt_media_type_of(std::uint8_t code) noexcept {
    for (const auto& m : pt_media_types) {
        if (m.code == code) return m.type;
    }
    return PtMediaType::Unknown;
}

// The family's name for a model code; an unlisted printable byte stands for itself, any
// other byte is shown in hex so the text is always printable ASCII.
std::string model_code_text(std::uint8_t code, std::span<const ModelName> models) {
    for (const auto& m : models) {
        if (m.code == code) return std::string(m.name);
    }
    if (code >= 0x21 && code <= 0x7E) return std::string(1, static_cast<char>(code));
    char shown[5];
    std::snprintf(shown, sizeof shown, "0x%02X", code);
    return shown;
}

template <typename Error>
void add_once(std::vector<Error>& errors, Error error) {
    if (std::find(errors.begin(), errors.end(), error) == errors.end()) errors.push_back(error);
}

template <typename Error>
void add_set_bits(std::vector<Error>& errors, std::uint8_t byte, std::span<const ErrorBit<Error>> table) {
    for (const auto& entry : table) {
        if (byte & (1u << entry.bit)) add_once(errors, entry.error);
    }
}

// Error byte 8 entries, then byte 9 entries, each in table order.
template <typename Error>
std::vector<Error> table_errors(std::span<const std::uint8_t> reply, const ErrorTable<Error>& table) {
    std::vector<Error> errors;
    add_set_bits(errors, reply[at::error_info_1], table.byte8);
    add_set_bits(errors, reply[at::error_info_2], table.byte9);
    return errors;
}

// First match wins: an error, then the status type, then the phase, then the media.
template <typename Error>
StatusSummary summarize(const std::vector<Error>& errors, BrotherStatusType status, BrotherPhaseType phase,
                        bool media_ok) {
    if (!errors.empty()) return {std::string(word(errors.front())), Severity::Error};
    switch (status) {
        case BrotherStatusType::PrintComplete:
            return {"print_complete", Severity::Primary};
        case BrotherStatusType::Error:
            return {"error", Severity::Error};
        case BrotherStatusType::TurnedOff:
            return {"turned_off", Severity::Neutral};
        default:
            break;
    }
    if (phase == BrotherPhaseType::Printing) return {"printing", Severity::Primary};
    if (media_ok) return {"ready", Severity::Success};
    return {"no_media", Severity::Warning};
}

// A printer that is ready, printing or has just finished takes a job; any other state is the
// reason it does not.
Readiness readiness_of(const StatusSummary& summary) {
    const std::string_view state = summary.state;
    if (state == "ready" || state == "printing" || state == "print_complete") {
        return Readiness::ready();
    }
    return Readiness::not_ready(summary.state);
}

}  // namespace

std::expected<BrotherQl, StatusError> parse_brother_ql_status(std::span<const std::uint8_t> reply) {
    if (auto ok = check_reply(reply, "QL"); !ok) return std::unexpected(ok.error());

    BrotherQl report;
    report.status_type = status_type_of(reply[at::status_type]);
    report.phase_type = phase_type_of(reply[at::phase_type]);
    report.media_type = ql_media_type_of(reply[at::media_type]);
    report.media_width_mm = reply[at::media_width];
    report.media_length_mm = reply[at::media_length];
    report.model_code = model_code_text(reply[at::model_code], ql_models);
    report.two_color_roll = (reply[at::text_color] & 0x80) != 0;
    report.errors = table_errors(reply, ql_errors);

    const bool media_ok = reply[at::media_type] != media_type_none && reply[at::media_width] != 0;
    report.summary = summarize(report.errors, report.status_type, report.phase_type, media_ok);
    report.readiness = readiness_of(report.summary);
    return report;
}

std::expected<BrotherPt, StatusError> parse_brother_pt_status(std::span<const std::uint8_t> reply) {
    if (auto ok = check_reply(reply, "PT"); !ok) return std::unexpected(ok.error());

    const std::uint8_t model = reply[at::model_code];
    const std::uint8_t media = reply[at::media_type];
    const std::uint8_t width = reply[at::media_width];

    BrotherPt report;
    report.status_type = status_type_of(reply[at::status_type]);
    report.phase_type = phase_type_of(reply[at::phase_type]);
    report.media_type = pt_media_type_of(media);
    report.media_width_mm = width;
    report.media_length_mm = reply[at::media_length];
    report.model_code = model_code_text(model, pt_models);
    report.battery_level = reply[at::battery_level];
    report.extended_error = reply[at::extended_error];
    report.notification_number = reply[at::notification_number];
    report.phase_number = static_cast<std::uint16_t>((reply[at::phase_number] << 8) | reply[at::phase_number + 1]);
    report.tape_color_id = reply[at::tape_color];
    report.text_color_id = reply[at::text_color];

    const bool long_table = std::ranges::find(pt_long_table_models, model) != std::end(pt_long_table_models);
    auto& errors = report.errors;
    errors = table_errors(reply, long_table ? pt_long_errors : pt_short_errors);
    for (const auto& e : pt_extended_errors) {
        if (e.code == report.extended_error) add_once(errors, e.error);
    }
    if (report.notification_number == 1) add_once(errors, PtError::CoverOpen);
    if (report.phase_number == pt_cover_open_phase) add_once(errors, PtError::CoverOpen);
    if (media == pt_media_type_incompatible) add_once(errors, PtError::IncompatibleMedia);
    // An error status with no error bit set is taken as missing tape when the tape reads so.
    if (reply[at::status_type] == status_type_error && errors.empty() && (width == 0 || media == media_type_none)) {
        errors.push_back(PtError::NoMedia);
    }

    const bool media_ok = width != 0 && media != media_type_none && media != pt_media_type_incompatible;
    report.summary = summarize(errors, report.status_type, report.phase_type, media_ok);
    report.readiness = readiness_of(report.summary);
    return report;
}

json report_json(const BrotherQl& s) {
    json out = brother_json(s, "brother-ql");
    out["two_color_roll"] = s.two_color_roll;
    return out;
}

json report_json(const BrotherPt& s) {
    json out = brother_json(s, "brother-pt");
    out["battery_level"] = s.battery_level;
    out["extended_error"] = s.extended_error;
    out["notification_number"] = s.notification_number;
    out["phase_number"] = s.phase_number;
    out["tape_color_id"] = s.tape_color_id;
    out["text_color_id"] = s.text_color_id;
    return out;
}

}  // namespace pvo_status
