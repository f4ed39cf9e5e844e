#pragma once
// The delivery procedure a print job names.
#include <cstdint>
#include <optional>
#include <string_view>

namespace pvo_client_delivery {

enum class HandshakeId : std::uint8_t {
    FireAndForget,
    DymoD1,
    DymoLw,
    NiimbotPoll,
    LetratagNotify,
    Gpgl,
};

// The name a job uses: "fire_and_forget", "dymo_d1", "dymo_lw", "niimbot_poll",
// "letratag_notify", "gpgl".
std::string_view handshake_name(HandshakeId id) noexcept;

// Trims Unicode white space, folds ASCII capitals, then matches a name exactly. Anything else,
// a blank name included, gives none; the caller reports the name as it was sent.
std::optional<HandshakeId> parse_handshake_id(std::string_view name);

}  // namespace pvo_client_delivery
