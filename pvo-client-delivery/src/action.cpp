#include "pvo-client-delivery/action.hpp"

namespace pvo_delivery {

ActionKind kind_of(const DeliveryAction& action) noexcept {
    switch (action.index()) {
        case 0: return ActionKind::Send;
        case 1: return ActionKind::Recv;
        case 2:
        case 3: return ActionKind::Notification;
        default: return ActionKind::Terminal;
    }
}

}  // namespace pvo_delivery
