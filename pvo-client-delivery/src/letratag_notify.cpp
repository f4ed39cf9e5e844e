#include "letratag_notify.hpp"

#include <utility>

namespace pvo_delivery {
namespace {

Batch out_of_order() {
    return {Fail{"letratag delivery received an out-of-order transport event"}};
}

}  // namespace

bool LetratagNotify::holds_notification(std::span<const std::uint8_t> reply) noexcept {
    for (std::size_t i = 0; i + reply_len <= reply.size(); ++i) {
        if (reply[i] == 0x1B && reply[i + 1] == 0x52) return true;
    }
    return false;
}

Batch LetratagNotify::start() {
    awaiting_reply_ = false;
    return {Progress{phase::sending}, Send{std::move(label_)}};
}

Batch LetratagNotify::on_event(TransportEvent event) {
    const auto* received = std::get_if<Received>(&event);
    if (!awaiting_reply_) {
        if (received) return out_of_order();
        awaiting_reply_ = true;
        return {Recv{reply_len, reply_timeout_ms}};
    }
    if (!received) return out_of_order();
    ++replies_;
    if (holds_notification(received->bytes)) return {Progress{phase::done}, Done{}};
    if (replies_ >= max_replies) return {Done{}};
    return {Recv{reply_len, reply_timeout_ms}};
}

}  // namespace pvo_delivery
