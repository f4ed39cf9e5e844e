#include "pvo-status/zpl_status.hpp"

#include <algorithm>
#include <charconv>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pvo-util/text.hpp"
#include "report_json.hpp"

namespace pvo_status {
namespace {

constexpr std::uint8_t stx = 0x02;
constexpr std::uint8_t etx = 0x03;

// Which field of which line holds each flag, counted from 0.
struct FlagField {
    std::size_t line;
    std::size_t field;
};
constexpr FlagField paper_out_field{0, 1};
constexpr FlagField pause_field{0, 2};
constexpr FlagField corrupt_ram_field{0, 9};
// head_open: the head-up flag, field 2 of the second line, read like the flags above.
constexpr FlagField head_open_field{1, 2};

// The bytes of every complete STX...ETX pair, in order. Bytes outside a pair are skipped; an
// STX whose ETX never comes ends the scan.
std::vector<std::span<const std::uint8_t>> framed_lines(std::span<const std::uint8_t> reply) {
    std::vector<std::span<const std::uint8_t>> lines;
    auto pos = reply.begin();
    while (true) {
        const auto start = std::find(pos, reply.end(), stx);
        if (start == reply.end()) break;
        const auto end = std::find(start + 1, reply.end(), etx);
        if (end == reply.end()) break;
        lines.emplace_back(start + 1, end);
        pos = end + 1;
    }
    return lines;
}

// Field `index` of a comma-separated line; empty fields count, so "a," has two fields.
std::optional<std::string_view> field_of(std::string_view line, std::size_t index) {
    for (std::size_t i = 0;; ++i) {
        const auto comma = line.find(',');
        if (i == index) return line.substr(0, comma);
        if (comma == std::string_view::npos) return std::nullopt;
        line.remove_prefix(comma + 1);
    }
}

// A flag is an unsigned 8-bit decimal number (optional "+", then digits only), trimmed of
// white space, that is not 0. Anything else, or no field at all, reads as false.
bool flag_value(std::string_view field) {
    field = pvo_util::trim_unicode_white_space(field);
    if (field.starts_with('+')) field.remove_prefix(1);
    if (field.empty()) return false;
    std::uint8_t value = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    return error == std::errc() && end == field.data() + field.size() && value != 0;
}

bool read_flag(const std::vector<std::string>& lines, FlagField where) {
    if (where.line >= lines.size()) return false;
    const auto field = field_of(lines[where.line], where.field);
    return field && flag_value(*field);
}

Readiness readiness_of(const Zpl& report) {
    if (report.paper_out) return Readiness::not_ready("paper_out");
    if (report.head_open) return Readiness::not_ready("head_open");
    if (report.corrupt_ram) return Readiness::not_ready("corrupt_ram");
    if (report.pause) return Readiness::not_ready("pause");
    return Readiness::ready();
}

}  // namespace

std::expected<Zpl, StatusError> parse_zpl_host_status(std::span<const std::uint8_t> reply) {
    const auto lines = framed_lines(reply);
    if (lines.empty()) return std::unexpected(StatusError("no STX/ETX-framed lines in ~HS response"));

    Zpl report;
    report.raw_lines.reserve(lines.size());
    for (const auto line : lines) report.raw_lines.push_back(pvo_util::utf8_lossy(line));
    report.paper_out = read_flag(report.raw_lines, paper_out_field);
    report.pause = read_flag(report.raw_lines, pause_field);
    report.corrupt_ram = read_flag(report.raw_lines, corrupt_ram_field);
    report.head_open = read_flag(report.raw_lines, head_open_field);
    report.readiness = readiness_of(report);
    return report;
}

nlohmann::json report_json(const Zpl& s) {
    nlohmann::json lines = nlohmann::json::array();
    for (const auto& line : s.raw_lines) lines.push_back(json_text(line));
    return {
        {"protocol", "zpl"},
        {"paper_out", s.paper_out},
        {"pause", s.pause},
        {"head_open", s.head_open},
        {"corrupt_ram", s.corrupt_ram},
        {"raw_lines", std::move(lines)},
        {"readiness", json_readiness(s.readiness)},
    };
}

}  // namespace pvo_status
