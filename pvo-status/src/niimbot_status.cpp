#include "pvo-status/niimbot_status.hpp"

#include "pvo-driver-niimbot/packet.hpp"

namespace pvo_status {

std::optional<Readiness> niimbot_readiness(std::uint16_t /*page*/, std::uint8_t progress1,
                                                       std::uint8_t /*progress2*/) {
    if (progress1 >= 1 && progress1 <= 99) return Readiness::ready();
    return std::nullopt;
}

Niimbot niimbot_report(std::uint16_t page, std::uint8_t progress1, std::uint8_t progress2) {
    return {{page, progress1, progress2}, niimbot_readiness(page, progress1, progress2)};
}

std::expected<Niimbot, StatusError> parse_niimbot_status(std::span<const std::uint8_t> reply) {
    const auto found = pvo_niimbot::find_print_status(reply);
    if (!found) return std::unexpected(StatusError("no NIIMBOT print-status reply in buffer"));
    return niimbot_report(found->page, found->progress1, found->progress2);
}

}  // namespace pvo_status
