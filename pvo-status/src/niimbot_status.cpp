#include "pvo-status/niimbot_status.hpp"

#include "pvo-driver-niimbot/packet.hpp"
#include "report_json.hpp"

namespace pvo_status {

std::optional<Readiness> niimbot_readiness(std::uint16_t /*page*/, std::uint8_t progress1, std::uint8_t /*progress2*/) {
    if (progress1 >= 1 && progress1 <= 99) return Readiness::ready();
    return std::nullopt;
}

Niimbot niimbot_report(std::uint16_t page, std::uint8_t progress1, std::uint8_t progress2) {
    return {{page, progress1, progress2}, niimbot_readiness(page, progress1, progress2)};
}

std::expected<Niimbot, StatusError> parse_niimbot_status(std::span<const std::uint8_t> reply) {
    const auto found = pvo_driver_niimbot::find_print_status(reply);
    if (!found) return std::unexpected(StatusError("no NIIMBOT print-status reply in buffer"));
    return niimbot_report(found->page, found->progress1, found->progress2);
}

nlohmann::json report_json(const Niimbot& s) {
    nlohmann::json out = {
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
    if (s.readiness) out["readiness"] = json_readiness(*s.readiness);
    return out;
}

}  // namespace pvo_status
