#include "make_handshake.hpp"

#include <string>

#include "fire_and_forget.hpp"
#include "gpgl.hpp"
#include "letratag_notify.hpp"
#include "niimbot_poll.hpp"

namespace pvo_delivery {
namespace {

// Stands in for a delivery procedure this build does not have: it fails before anything is
// sent, so a job never reports a label as delivered that was not.
class UnavailableHandshake final : public Handshake {
public:
    explicit UnavailableHandshake(HandshakeId id)
        : message_("handshake " + std::string(handshake_name(id)) +
                   " is not available in this build") {}
    Batch start() override { return fail(); }
    Batch on_event(TransportEvent) override { return fail(); }

private:
    Batch fail() const { return {Fail{message_}}; }
    std::string message_;
};

}  // namespace

std::expected<std::unique_ptr<Handshake>, DeliveryError> make_handshake(
    HandshakeId id, std::optional<std::string_view> driver_variant,
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
        case HandshakeId::DymoLw:
            break;
    }
    return std::make_unique<UnavailableHandshake>(id);
}

}  // namespace pvo_delivery
