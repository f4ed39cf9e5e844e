#include "pvo-log/stack.hpp"

#include <utility>

namespace pvo_log {

Stack::Stack(Filter filter, std::vector<std::unique_ptr<Writer>> writers)
    : filter_(std::move(filter)), writers_(std::move(writers)) {}

bool Stack::enabled(Level level, std::string_view target, const Span* span) const noexcept {
    return filter_.enabled(level, target, span);
}

void Stack::emit(const Event& event) const noexcept {
    if (!enabled(event.level, event.target, event.span)) return;
    for (const auto& writer : writers_) writer->write(event);
}

}  // namespace pvo_log
