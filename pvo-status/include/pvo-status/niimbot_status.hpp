#pragma once
// The NIIMBOT status report, shared by the delivery's polling and the status query so both
// roads report a print-status packet the same way.
#include <cstdint>
#include <expected>
#include <optional>
#include <span>

#include <nlohmann/json_fwd.hpp>

#include "pvo-status/readiness.hpp"
#include "pvo-status/status_error.hpp"

namespace pvo_status {

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

// The JSON object of the report, tagged "niimbot".
nlohmann::json report_json(const Niimbot& report);

// Ready (no reason) while a print runs, that is progress1 from 1 to 99; none otherwise, and
// then the report carries no readiness at all.
std::optional<Readiness> niimbot_readiness(std::uint16_t page, std::uint8_t progress1, std::uint8_t progress2);

// The print status of a print-status packet with its readiness; every other part of the
// report is absent.
Niimbot niimbot_report(std::uint16_t page, std::uint8_t progress1, std::uint8_t progress2);

// The report of the first print-status packet found in the bytes; without one the reply is
// refused with "no NIIMBOT print-status reply in buffer".
std::expected<Niimbot, StatusError> parse_niimbot_status(std::span<const std::uint8_t> reply);

}  // namespace pvo_status
