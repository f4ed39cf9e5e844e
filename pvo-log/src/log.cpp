#include <atomic>
#include <vector>

#include "pvo-log/log.hpp"
#include "pvo-log/stack.hpp"

namespace pvo_log {
namespace {

// The installed stack. It is never freed: threads may still log while the process exits.
std::atomic<const Stack*> g_stack{nullptr};

}  // namespace

std::expected<void, InstallError> install(std::unique_ptr<Stack> stack) {
    const Stack* expected = nullptr;
    if (!g_stack.compare_exchange_strong(expected, stack.get(), std::memory_order_acq_rel)) {
        return std::unexpected(InstallError{});
    }
    (void)stack.release();
    return {};
}

bool enabled(Level level, std::string_view target, const Span* span) noexcept {
    const auto* stack = g_stack.load(std::memory_order_acquire);
    return stack != nullptr && stack->enabled(level, target, span);
}

void emit(Level level, std::string_view target, std::string_view message, std::initializer_list<Field> fields,
          const Span* span) noexcept {
    const auto* stack = g_stack.load(std::memory_order_acquire);
    if (stack == nullptr || !stack->enabled(level, target, span)) return;
    try {
        std::vector<Field> all;
        all.reserve(fields.size() + 1);
        all.push_back({"message", std::string(message), false});
        all.insert(all.end(), fields.begin(), fields.end());
        stack->emit(Event{level, target, all, span});
    } catch (...) {
        // Out of memory while building the event: it is dropped.
    }
}

}  // namespace pvo_log
