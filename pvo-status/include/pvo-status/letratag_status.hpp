#pragma once
// The three LetraTag status bytes; the bytes after them are not part of the status.
#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>

#include <nlohmann/json_fwd.hpp>

#include "pvo-status/status_error.hpp"

namespace pvo_status {

struct LetraTag {
    std::uint8_t revision = 0;
    std::uint8_t cassette_id = 0;
    bool carbon_type = false;
    bool busy_locked = false;
    bool tape_jam = false;
    bool cutter_jam = false;
    bool battery_too_low = false;
    bool battery_low = false;
    std::uint8_t battery_level = 0;
    bool charging = false;
    bool operator==(const LetraTag&) const = default;
};

// The JSON object of the report, tagged "letratag".
nlohmann::json report_json(const LetraTag& report);

inline constexpr std::size_t letratag_status_size = 3;

LetraTag decode_letratag_status(std::span<const std::uint8_t, letratag_status_size> status) noexcept;

// The status of a reply's first three bytes; a shorter reply is refused with
// "short LetraTag advertising status (N bytes, expected 3)".
std::expected<LetraTag, StatusError> parse_letratag_status(std::span<const std::uint8_t> reply);

}  // namespace pvo_status
