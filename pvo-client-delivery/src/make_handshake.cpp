#include "make_handshake.hpp"

#include <string>

#include "dymo_d1.hpp"
#include "dymo_lw.hpp"
#include "fire_and_forget.hpp"
#include "letratag_notify.hpp"

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
    HandshakeId id, std::optional<std::string_view> /*driver_variant*/,
    std::vector<std::uint8_t> label) {
    switch (id) {
        case HandshakeId::FireAndForget:
            return std::make_unique<FireAndForget>(std::move(label));
        case HandshakeId::LetratagNotify:
            return std::make_unique<LetratagNotify>(std::move(label));
        case HandshakeId::DymoD1:
            return std::make_unique<DymoD1Handshake>(label);
        case HandshakeId::DymoLw: {
            auto job = parse_lw550_job(label);
            if (!job) return std::unexpected(DeliveryError::malformed("dymo_lw", job.error()));
            return std::make_unique<DymoLwHandshake>(std::move(*job));
        }
        case HandshakeId::NiimbotPoll:
        case HandshakeId::Gpgl:
            break;
    }
    return std::make_unique<UnavailableHandshake>(id);
}

}  // namespace pvo_delivery
