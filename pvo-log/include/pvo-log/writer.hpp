#pragma once
// What a writer of the logging stack sees, and the interface every writer implements.
#include <chrono>
#include <functional>
#include <span>
#include <string_view>

#include "pvo-log/log.hpp"

namespace pvo_log {

// One event that passed the filter. The message is the field named "message" (see log.hpp).
struct Event {
    Level level;
    std::string_view target;
    std::span<const Field> fields;
    const Span* span = nullptr;  // none: the event is in no span
};

// The time source of the writers that stamp their lines; tests pass a fixed one.
using Clock = std::function<std::chrono::system_clock::time_point()>;

inline Clock system_clock() {
    return [] { return std::chrono::system_clock::now(); };
}

// One destination of the stack. `write` is called on the emitting thread, possibly from many
// threads at once, and must not throw.
class Writer {
public:
    virtual ~Writer() = default;
    virtual void write(const Event& event) noexcept = 0;
};

}  // namespace pvo_log
