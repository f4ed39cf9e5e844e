#include "pvo-client-delivery/niimbot_status.hpp"

namespace pvo_delivery {

std::optional<pvo_status::Readiness> niimbot_readiness(std::uint16_t /*page*/, std::uint8_t progress1,
                                                       std::uint8_t /*progress2*/) {
    if (progress1 >= 1 && progress1 <= 99) return pvo_status::Readiness::ready();
    return std::nullopt;
}

pvo_status::Niimbot niimbot_report(std::uint16_t page, std::uint8_t progress1, std::uint8_t progress2) {
    return {{page, progress1, progress2}, niimbot_readiness(page, progress1, progress2)};
}

}  // namespace pvo_delivery
