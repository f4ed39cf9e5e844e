#pragma once
// Brother QL label printers and PT tape printers answer the status request ESC i S with a
// 32-byte status reply. These parsers turn it into a report: the decoded fields, the errors,
// a one-line summary with its severity, and the readiness that follows from the summary.
#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "pvo-status/readiness.hpp"
#include "pvo-status/status_error.hpp"
#include "pvo-status/status_words.hpp"

namespace pvo_status {

// Brother's short description of a status and how serious it is.
struct StatusSummary {
    std::string state;
    Severity severity = Severity::Neutral;
    bool operator==(const StatusSummary&) const = default;
};

struct BrotherQl {
    BrotherStatusType status_type = BrotherStatusType::Unknown;
    BrotherPhaseType phase_type = BrotherPhaseType::Unknown;
    QlMediaType media_type = QlMediaType::Unknown;
    std::uint8_t media_width_mm = 0;
    std::uint8_t media_length_mm = 0;
    std::string model_code;
    bool two_color_roll = false;
    std::vector<QlError> errors;
    StatusSummary summary;
    Readiness readiness;
    bool operator==(const BrotherQl&) const = default;
};

struct BrotherPt {
    BrotherStatusType status_type = BrotherStatusType::Unknown;
    BrotherPhaseType phase_type = BrotherPhaseType::Unknown;
    PtMediaType media_type = PtMediaType::Unknown;
    std::uint8_t media_width_mm = 0;
    std::uint8_t media_length_mm = 0;
    std::string model_code;
    std::uint8_t battery_level = 0;
    std::uint8_t extended_error = 0;
    std::uint8_t notification_number = 0;
    std::uint16_t phase_number = 0;
    std::uint8_t tape_color_id = 0;
    std::uint8_t text_color_id = 0;
    std::vector<PtError> errors;
    StatusSummary summary;
    Readiness readiness;
    bool operator==(const BrotherPt&) const = default;
};

// The JSON objects of the reports, tagged "brother-ql" and "brother-pt".
nlohmann::json report_json(const BrotherQl& report);
nlohmann::json report_json(const BrotherPt& report);

// The size of a Brother status reply; bytes after it are ignored.
inline constexpr std::size_t brother_status_reply_size = 32;

// A reply that is too short or does not start with 80 20 42 is refused; any code inside an
// accepted reply decodes (to "unknown" or a fallback text), never refuses.
std::expected<BrotherQl, StatusError> parse_brother_ql_status(std::span<const std::uint8_t> reply);
std::expected<BrotherPt, StatusError> parse_brother_pt_status(std::span<const std::uint8_t> reply);

}  // namespace pvo_status
