#pragma once
// The NIIMBOT status report, shared by the delivery's polling and the status query so both
// roads report a print-status packet the same way.
#include <cstdint>
#include <optional>

#include "pvo-status/print_status.hpp"

namespace pvo_status {

// Ready (no reason) while a print runs, that is progress1 from 1 to 99; none otherwise, and
// then the report carries no readiness at all.
std::optional<Readiness> niimbot_readiness(std::uint16_t page, std::uint8_t progress1,
                                                       std::uint8_t progress2);

// The print status of a print-status packet with its readiness; every other part of the
// report is absent.
Niimbot niimbot_report(std::uint16_t page, std::uint8_t progress1, std::uint8_t progress2);

}  // namespace pvo_status
