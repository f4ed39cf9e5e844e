#include "pvo-status/niimbot_status.hpp"

namespace pvo_status {

std::optional<Readiness> niimbot_readiness(std::uint16_t /*page*/, std::uint8_t progress1,
                                                       std::uint8_t /*progress2*/) {
    if (progress1 >= 1 && progress1 <= 99) return Readiness::ready();
    return std::nullopt;
}

Niimbot niimbot_report(std::uint16_t page, std::uint8_t progress1, std::uint8_t progress2) {
    return {{page, progress1, progress2}, niimbot_readiness(page, progress1, progress2)};
}

}  // namespace pvo_status
