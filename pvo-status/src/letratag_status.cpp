#include "pvo-status/letratag_status.hpp"

#include <string>

#include "report_json.hpp"

namespace pvo_status {
namespace {

constexpr bool bit_at(std::uint8_t byte, unsigned index) noexcept { return (byte >> index) & 1u; }

}  // namespace

LetraTag decode_letratag_status(std::span<const std::uint8_t, letratag_status_size> status) noexcept {
    const std::uint8_t b0 = status[0], b1 = status[1], b2 = status[2];
    LetraTag report;
    report.revision = b0 >> 4;
    report.cassette_id = b1 & 0x0F;
    report.carbon_type = bit_at(b1, 4);
    report.busy_locked = bit_at(b1, 5);
    report.tape_jam = bit_at(b2, 0);
    report.cutter_jam = bit_at(b2, 1);
    report.battery_too_low = bit_at(b2, 2);
    report.battery_low = bit_at(b2, 3);
    report.battery_level = (b2 >> 4) & 0x03;
    report.charging = bit_at(b2, 6);
    return report;
}

std::expected<LetraTag, StatusError> parse_letratag_status(std::span<const std::uint8_t> reply) {
    if (reply.size() < letratag_status_size) {
        return std::unexpected(
            StatusError("short LetraTag advertising status (" + std::to_string(reply.size()) + " bytes, expected 3)"));
    }
    return decode_letratag_status(reply.first<letratag_status_size>());
}

nlohmann::json report_json(const LetraTag& s) {
    return {
        {"protocol", "letratag"},       {"revision", s.revision},
        {"cassette_id", s.cassette_id}, {"carbon_type", s.carbon_type},
        {"busy_locked", s.busy_locked}, {"tape_jam", s.tape_jam},
        {"cutter_jam", s.cutter_jam},   {"battery_too_low", s.battery_too_low},
        {"battery_low", s.battery_low}, {"battery_level", s.battery_level},
        {"charging", s.charging},
    };
}

}  // namespace pvo_status
