#pragma once
// The status line of a GPGL cutter and its report, shared by the delivery's polling and the
// status query.
#include <cstdint>
#include <expected>
#include <optional>
#include <span>

#include <nlohmann/json_fwd.hpp>

#include "pvo-status/readiness.hpp"
#include "pvo-status/status_error.hpp"
#include "pvo-status/status_words.hpp"

namespace pvo_status {

struct Gpgl {
    GpglState state = GpglState::Ready;
    Readiness readiness;
    bool operator==(const Gpgl&) const = default;
};

// The JSON object of the report, tagged "gpgl".
nlohmann::json report_json(const Gpgl& report);

// The cutter's state from its reply: the text without trailing ETX (03) characters and
// surrounding Unicode white space, read by its first character '0' to '4' (ready, moving,
// unloaded, paused, cancelled). A reply that is not UTF-8, is blank, or starts otherwise is
// unrecognised: none.
std::optional<GpglState> parse_gpgl_status_line(std::span<const std::uint8_t> reply);

// Ready for ready and moving; not ready, with the state's word as the reason, otherwise.
Readiness gpgl_readiness(GpglState state);

Gpgl gpgl_report(GpglState state);

// The report of a status line; an unrecognised one is refused with
// "unrecognized GPGL status response".
std::expected<Gpgl, StatusError> parse_gpgl_status(std::span<const std::uint8_t> reply);

}  // namespace pvo_status
