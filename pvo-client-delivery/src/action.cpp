#include "pvo-client-delivery/action.hpp"

namespace pvo_client_delivery {
namespace {

constexpr ActionKind kind(const Send&) noexcept { return ActionKind::Send; }
constexpr ActionKind kind(const Recv&) noexcept { return ActionKind::Recv; }
constexpr ActionKind kind(const Progress&) noexcept { return ActionKind::Notification; }
constexpr ActionKind kind(const Status&) noexcept { return ActionKind::Notification; }
constexpr ActionKind kind(const Done&) noexcept { return ActionKind::Terminal; }
constexpr ActionKind kind(const Fail&) noexcept { return ActionKind::Terminal; }

}  // namespace

// Dispatched on the action's type, so a reordered or extended variant cannot shift kinds.
ActionKind kind_of(const DeliveryAction& action) noexcept {
    return std::visit([](const auto& a) { return kind(a); }, action);
}

}  // namespace pvo_client_delivery
