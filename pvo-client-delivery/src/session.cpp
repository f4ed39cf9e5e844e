#include "pvo-client-delivery/session.hpp"

#include <utility>
#include <vector>

#include "make_handshake.hpp"

namespace pvo_client_delivery {
namespace {

DeliveryError call_error(const char* text) { return DeliveryError::invalid_call(text); }

}  // namespace

DeliverySession::DeliverySession(std::unique_ptr<Handshake> handshake) : handshake_(std::move(handshake)) {}

std::expected<SessionStart, DeliveryError> DeliverySession::create(HandshakeId id,
                                                                   std::optional<std::string_view> driver_variant,
                                                                   std::span<const std::uint8_t> label) {
    return create(id, driver_variant, std::vector<std::uint8_t>(label.begin(), label.end()));
}

std::expected<SessionStart, DeliveryError> DeliverySession::create(HandshakeId id,
                                                                   std::optional<std::string_view> driver_variant,
                                                                   std::vector<std::uint8_t>&& label) {
    if (label.empty()) return std::unexpected(DeliveryError::empty_payload());
    auto handshake = make_handshake(id, driver_variant, std::move(label));
    if (!handshake) return std::unexpected(std::move(handshake.error()));
    return run(std::move(*handshake));
}

std::expected<SessionStart, DeliveryError> DeliverySession::run(std::unique_ptr<Handshake> handshake) {
    DeliverySession session(std::move(handshake));
    auto first = session.pump_and_pop(session.handshake_->start());
    if (!first) return std::unexpected(std::move(first.error()));
    return SessionStart{std::move(session), std::move(*first)};
}

std::expected<DeliveryAction, DeliveryError> DeliverySession::on_send_complete() {
    if (finished_) return std::unexpected(call_error("session already finished"));
    if (last_kind_ != ActionKind::Send || !queue_.empty()) {
        return std::unexpected(call_error("on_send_complete called with no Send pending"));
    }
    return pump_and_pop(handshake_->on_event(SendComplete{}));
}

std::expected<DeliveryAction, DeliveryError> DeliverySession::feed_rx(std::span<const std::uint8_t> bytes) {
    if (finished_) return std::unexpected(call_error("session already finished"));
    if (last_kind_ != ActionKind::Recv || !queue_.empty()) {
        return std::unexpected(call_error("feed_rx called with no Recv pending"));
    }
    return pump_and_pop(handshake_->on_event(Received{std::vector<std::uint8_t>(bytes.begin(), bytes.end())}));
}

std::expected<DeliveryAction, DeliveryError> DeliverySession::tick() {
    if (finished_) return std::unexpected(call_error("session already finished"));
    if (queue_.empty()) {
        return std::unexpected(
            call_error("tick called with no buffered notification; respond to the pending Send/Recv"));
    }
    return pop();
}

std::expected<DeliveryAction, DeliveryError> DeliverySession::pump_and_pop(Batch batch) {
    if (batch.empty()) {
        // The handshake's state is unknown from here on; feeding it further events could only
        // produce nonsense, so the session takes no more calls.
        finished_ = true;
        return std::unexpected(call_error("handshake produced no action (internal state machine bug)"));
    }
    for (auto& action : batch) queue_.push_back(std::move(action));
    return pop();
}

DeliveryAction DeliverySession::pop() {
    DeliveryAction action = std::move(queue_.front());
    queue_.pop_front();
    last_kind_ = kind_of(action);
    if (last_kind_ == ActionKind::Terminal) finished_ = true;
    return action;
}

}  // namespace pvo_client_delivery
