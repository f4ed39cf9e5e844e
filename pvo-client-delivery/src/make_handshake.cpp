#include "make_handshake.hpp"

#include <utility>

#include "dymo_d1.hpp"
#include "dymo_lw.hpp"
#include "fire_and_forget.hpp"
#include "gpgl.hpp"
#include "letratag_notify.hpp"
#include "niimbot_poll.hpp"

namespace pvo_client_delivery {

std::expected<std::unique_ptr<Handshake>, DeliveryError> make_handshake(HandshakeId id,
                                                                        std::optional<std::string_view> driver_variant,
                                                                        std::vector<std::uint8_t> label) {
    switch (id) {
        case HandshakeId::FireAndForget:
            return std::make_unique<FireAndForget>(std::move(label));
        case HandshakeId::LetratagNotify:
            return std::make_unique<LetratagNotify>(std::move(label));
        case HandshakeId::NiimbotPoll:
            return NiimbotPoll::create(driver_variant, std::move(label));
        case HandshakeId::Gpgl:
            return std::make_unique<Gpgl>(std::move(label));
        case HandshakeId::DymoD1:
            return std::make_unique<DymoD1Handshake>(label);
        case HandshakeId::DymoLw: {
            // A job that does not parse is refused before anything reaches the printer.
            auto job = parse_lw550_job(label);
            if (!job) return std::unexpected(DeliveryError::malformed("dymo_lw", job.error()));
            return std::make_unique<DymoLwHandshake>(std::move(*job));
        }
    }
    std::unreachable();
}

}  // namespace pvo_client_delivery
