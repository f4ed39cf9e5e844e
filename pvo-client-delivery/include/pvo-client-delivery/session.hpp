#pragma once
// The per-label delivery state machine. It never reads or writes a device: it hands out
// actions and is told what happened, so every handshake runs without I/O.
//
// Calling order: after Send write and call `on_send_complete`; after Recv read and call
// `feed_rx`; after Progress or Status call `tick`; after Done or Fail stop. A call out of
// order is refused with `InvalidCall` and changes nothing.
#include <cstdint>
#include <deque>
#include <expected>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "pvo-client-delivery/action.hpp"
#include "pvo-client-delivery/delivery_error.hpp"
#include "pvo-client-delivery/handshake.hpp"
#include "pvo-client-delivery/handshake_id.hpp"

namespace pvo_client_delivery {

struct SessionStart;

class DeliverySession {
public:
    // Builds the handshake for `id` from a private copy of `label` and returns the session with
    // its first action. An empty label is refused first, for every handshake. Only
    // niimbot_poll reads `driver_variant`.
    static std::expected<SessionStart, DeliveryError> create(HandshakeId id,
                                                             std::optional<std::string_view> driver_variant,
                                                             std::span<const std::uint8_t> label);
    // The same from a label the caller hands over, which the session keeps without a copy
    // (labels run to megabytes).
    static std::expected<SessionStart, DeliveryError> create(HandshakeId id,
                                                             std::optional<std::string_view> driver_variant,
                                                             std::vector<std::uint8_t>&& label);

    // Runs an already built handshake; `create` ends here.
    static std::expected<SessionStart, DeliveryError> run(std::unique_ptr<Handshake> handshake);

    std::expected<DeliveryAction, DeliveryError> on_send_complete();
    std::expected<DeliveryAction, DeliveryError> feed_rx(std::span<const std::uint8_t> bytes);
    std::expected<DeliveryAction, DeliveryError> tick();

    // Set once Done or Fail has been handed out; never cleared.
    bool finished() const noexcept { return finished_; }
    // The kind of the action handed out last.
    ActionKind last_kind() const noexcept { return last_kind_; }

    DeliverySession(DeliverySession&&) noexcept = default;
    DeliverySession& operator=(DeliverySession&&) noexcept = default;

private:
    explicit DeliverySession(std::unique_ptr<Handshake> handshake);

    std::expected<DeliveryAction, DeliveryError> pump_and_pop(Batch batch);
    DeliveryAction pop();

    std::deque<DeliveryAction> queue_;
    std::unique_ptr<Handshake> handshake_;
    bool finished_ = false;
    ActionKind last_kind_ = ActionKind::Notification;
};

struct SessionStart {
    DeliverySession session;
    DeliveryAction action;
};

}  // namespace pvo_client_delivery
