#include "pvo-status/dymo_status.hpp"

#include <string_view>

#include "pvo-util/text.hpp"
#include "report_json.hpp"

namespace pvo_status {
namespace {

bool bit(std::uint8_t value, std::uint8_t mask) noexcept { return (value & mask) != 0; }

std::uint16_t le16(std::span<const std::uint8_t> b, std::size_t at) noexcept {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

std::uint32_t le32(std::span<const std::uint8_t> b, std::size_t at) noexcept {
    return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
           (static_cast<std::uint32_t>(b[at + 2]) << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

// The media SKU: up to 12 bytes from byte 11, ending before a zero byte; text that is not
// UTF-8, or nothing but white space, gives none.
std::optional<std::string> read_sku(std::span<const std::uint8_t> reply) {
    constexpr std::size_t first = 11;
    constexpr std::size_t max_len = 12;
    std::size_t len = 0;
    while (len < max_len && reply[first + len] != 0) ++len;
    const std::string_view raw(reinterpret_cast<const char*>(reply.data() + first), len);
    if (!pvo_util::is_valid_utf8(raw)) return std::nullopt;
    const std::string_view trimmed = pvo_util::trim_unicode_white_space(raw);
    if (trimmed.empty()) return std::nullopt;
    return std::string(trimmed);
}

Readiness lw550_readiness(const EngineStatus& s) {
    switch (s.print_state) {
        case LwPrintState::Printing:
        case LwPrintState::Busy:
            return Readiness::ready();
        case LwPrintState::Error:
            return Readiness::not_ready("error");
        case LwPrintState::Cancel:
            return Readiness::not_ready("cancel");
        default:
            break;
    }
    if (s.head_status != PrintHeadStatus::Ok) {
        return Readiness::not_ready(std::string(word(s.head_status)));
    }
    switch (s.bay_status) {
        case MediaBayStatus::BayOpen:
        case MediaBayStatus::NoMedia:
        case MediaBayStatus::MediaNotInsertedProperly:
        case MediaBayStatus::MediaEmpty:
        case MediaBayStatus::MediaJammed:
        case MediaBayStatus::MediaCounterfeit:
            return Readiness::not_ready(std::string(word(s.bay_status)));
        default:
            break;  // unknown, present-unknown, low, critically low and ok pass on
    }
    if (s.head_voltage == PrintHeadVoltage::CriticallyLow || s.head_voltage == PrintHeadVoltage::TooLowForPrinting) {
        return Readiness::not_ready(std::string(word(s.head_voltage)));
    }
    if (s.error_id != 0) return Readiness::not_ready("error");
    if (s.print_state == LwPrintState::NoLock) return Readiness::not_ready("no_lock");
    return Readiness::ready();
}

}  // namespace

Dymo decode_d1_status(std::uint8_t status) noexcept {
    return {status, bit(status, 0x40), bit(status, 0x10), bit(status, 0x04)};
}

DymoLwClassic decode_classic_lw_status(std::uint8_t status) noexcept {
    return {status, bit(status, 0x01), bit(status, 0x02), bit(status, 0x20), bit(status, 0x40), bit(status, 0x80)};
}

std::expected<EngineStatus, StatusError> parse_print_engine_status(std::span<const std::uint8_t> reply) {
    if (reply.size() < engine_status_size) {
        return std::unexpected(StatusError("short status reply (" + std::to_string(reply.size()) + " bytes, expected " +
                                           std::to_string(engine_status_size) + ")"));
    }
    // B6 CA opens the media's NFC record: this reply answers an earlier media query, so the
    // status read is out of step with the printer.
    if (reply[0] == 0xB6 && reply[1] == 0xCA) {
        return std::unexpected(
            StatusError("status reply looks like an ESC U NFC dump (USB read desync); retry the status query"));
    }
    constexpr std::uint8_t last_state = static_cast<std::uint8_t>(LwPrintState::NoLock);
    if (reply[0] > last_state) {
        return std::unexpected(
            StatusError("invalid print-engine status byte " + std::to_string(reply[0]) + " (expected 0\u20135)"));
    }

    EngineStatus s;
    s.print_state = static_cast<LwPrintState>(reply[0]);
    s.print_job_id = le32(reply, 1);
    s.label_index = le16(reply, 5);
    s.head_status =
        static_cast<PrintHeadStatus>(reply[8] < 3 ? reply[8] : static_cast<std::uint8_t>(PrintHeadStatus::Unknown));
    s.print_density = reply[9];
    s.bay_status =
        static_cast<MediaBayStatus>(reply[10] <= 10 ? reply[10] : static_cast<std::uint8_t>(MediaBayStatus::Unknown));
    // With no media loaded the SKU bytes hold nothing meaningful.
    if (s.bay_status != MediaBayStatus::NoMedia) s.sku = read_sku(reply);
    s.error_id = le32(reply, 23);
    s.label_count = le16(reply, 27);
    s.eps_present = (reply[29] & 0x0F) == 1;
    const std::uint8_t voltage = reply[30] & 0x0F;
    s.head_voltage = static_cast<PrintHeadVoltage>(voltage < 5 ? voltage : 0);
    return s;
}

DymoLw build_lw550_report(const EngineStatus& s) {
    DymoLw report;
    report.print_status = s.print_state;
    report.print_job_id = s.print_job_id;
    report.label_index = s.label_index;
    report.print_head_status = s.head_status;
    report.print_density = s.print_density;
    report.main_bay_status = s.bay_status;
    report.sku = s.sku;
    report.error_id = s.error_id;
    report.label_count = s.label_count;
    report.eps_present = s.eps_present;
    report.print_head_voltage = s.head_voltage;
    report.readiness = lw550_readiness(s);
    return report;
}

std::expected<Dymo, StatusError> parse_d1_status(std::span<const std::uint8_t> reply) {
    if (reply.empty()) return std::unexpected(StatusError("empty D1 status reply"));
    return decode_d1_status(reply.front());
}

std::expected<DymoLwClassic, StatusError> parse_classic_lw_status(std::span<const std::uint8_t> reply) {
    if (reply.empty()) return std::unexpected(StatusError("empty classic LW status reply"));
    return decode_classic_lw_status(reply.front());
}

std::expected<DymoLw, StatusError> parse_lw550_status(std::span<const std::uint8_t> reply) {
    const auto engine = parse_print_engine_status(reply);
    if (!engine) return std::unexpected(engine.error());
    return build_lw550_report(*engine);
}

nlohmann::json report_json(const DymoLw& s) {
    return {
        {"protocol", "dymo-lw"},
        {"print_status", word(s.print_status)},
        {"print_job_id", s.print_job_id},
        {"label_index", s.label_index},
        {"print_head_status", word(s.print_head_status)},
        {"print_density", s.print_density},
        {"main_bay_status", word(s.main_bay_status)},
        {"sku", json_optional_text(s.sku)},
        {"error_id", s.error_id},
        {"label_count", s.label_count},
        {"eps_present", s.eps_present},
        {"print_head_voltage", word(s.print_head_voltage)},
        {"readiness", json_readiness(s.readiness)},
    };
}

nlohmann::json report_json(const Dymo& s) {
    return {
        {"protocol", "dymo"},
        {"raw", s.raw},
        {"cassette_inserted", s.cassette_inserted},
        {"cutter_jammed", s.cutter_jammed},
        {"general_error", s.general_error},
    };
}

nlohmann::json report_json(const DymoLwClassic& s) {
    return {
        {"protocol", "dymolwclassic"},      {"raw", s.raw},           {"ready", s.ready},
        {"top_of_form", s.top_of_form},     {"no_paper", s.no_paper}, {"paper_jam", s.paper_jam},
        {"printer_error", s.printer_error},
    };
}

}  // namespace pvo_status
