#include "letratag_notify.hpp"

#include <utility>

namespace pvo_client_delivery {
bool LetratagNotify::holds_notification(std::span<const std::uint8_t> reply) noexcept {
    for (std::size_t i = 0; i + reply_len <= reply.size(); ++i) {
        if (reply[i] == 0x1B && reply[i + 1] == 0x52) return true;
    }
    return false;
}

Batch LetratagNotify::start() {
    stage_ = Stage::Sending;
    return batch_of(Progress{phase::sending}, Send{std::move(label_)});
}

Batch LetratagNotify::on_event(TransportEvent event) {
    const auto* received = std::get_if<Received>(&event);
    switch (stage_) {
        case Stage::Sending:
            if (received) break;
            stage_ = Stage::Polling;
            return {Recv{reply_len, reply_timeout_ms}};
        case Stage::Polling:
            if (!received) break;
            ++replies_;
            if (holds_notification(received->bytes)) return {Progress{phase::done}, Done{}};
            if (replies_ >= max_replies) return {Done{}};
            return {Recv{reply_len, reply_timeout_ms}};
    }
    return out_of_order("letratag");
}

}  // namespace pvo_client_delivery
