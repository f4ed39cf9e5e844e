#include "pvo-status/gpgl_status.hpp"

#include <string>
#include <string_view>

#include "pvo-util/text.hpp"
#include "report_json.hpp"

namespace pvo_status {

std::optional<GpglState> parse_gpgl_status_line(std::span<const std::uint8_t> reply) {
    std::string_view text(reinterpret_cast<const char*>(reply.data()), reply.size());
    if (!pvo_util::is_valid_utf8(text)) return std::nullopt;
    constexpr char etx = '\x03';
    while (!text.empty() && text.back() == etx) text.remove_suffix(1);
    text = pvo_util::trim_unicode_white_space(text);
    // Only the first character counts: "2x" reads as unloaded and "12" as moving.
    if (text.empty() || text.front() < '0' || text.front() > '4') return std::nullopt;
    return static_cast<GpglState>(text.front() - '0');
}

Readiness gpgl_readiness(GpglState state) {
    switch (state) {
        case GpglState::Ready:
        case GpglState::Moving:
            return Readiness::ready();
        case GpglState::Unloaded:
        case GpglState::Paused:
        case GpglState::Cancelled:
            break;
    }
    return Readiness::not_ready(std::string(word(state)));
}

Gpgl gpgl_report(GpglState state) { return {state, gpgl_readiness(state)}; }

std::expected<Gpgl, StatusError> parse_gpgl_status(std::span<const std::uint8_t> reply) {
    const auto state = parse_gpgl_status_line(reply);
    if (!state) return std::unexpected(StatusError("unrecognized GPGL status response"));
    return gpgl_report(*state);
}

nlohmann::json report_json(const Gpgl& s) {
    return {
        {"protocol", "gpgl"},
        {"state", word(s.state)},
        {"readiness", json_readiness(s.readiness)},
    };
}

}  // namespace pvo_status
