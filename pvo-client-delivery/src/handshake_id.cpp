#include "pvo-client-delivery/handshake_id.hpp"

#include <array>

#include "pvo-util/text.hpp"

namespace pvo_client_delivery {
namespace {

constexpr std::array<std::string_view, 6> names{
    "fire_and_forget", "dymo_d1", "dymo_lw", "niimbot_poll", "letratag_notify", "gpgl",
};
static_assert(static_cast<std::size_t>(HandshakeId::Gpgl) + 1 == names.size());

}  // namespace

std::string_view handshake_name(HandshakeId id) noexcept {
    const auto index = static_cast<std::size_t>(id);
    return index < names.size() ? names[index] : std::string_view{};
}

std::optional<HandshakeId> parse_handshake_id(std::string_view name) {
    const std::string folded = pvo_util::ascii_lower(pvo_util::trim_unicode_white_space(name));
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == folded) return static_cast<HandshakeId>(i);
    }
    return std::nullopt;
}

}  // namespace pvo_client_delivery
