#pragma once
// The one leveled, targeted logging facility of the program.
//
// Targets are module paths ("parvello", "parvello::server", "pvo_device::discovery"). An event
// is formatted only when the installed filter lets it pass, so disabled logging costs one
// lookup. Until a stack is installed (stack.hpp) every event is dropped.
//
// Messages. An event's message is its field named "message". The `message` argument of `emit`
// (and of the formatting helpers below) is a formatted value: the in-memory buffer shows it with
// every leading and trailing double quote removed. To log a message that is kept exactly as
// written, pass it as a text field: `emit(level, target, "", {{"message", text}})`; a later
// "message" field replaces an earlier one.
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include <fmt/format.h>

namespace pvo_log {

// From the most to the least verbose.
enum class Level : std::uint8_t { Trace, Debug, Info, Warn, Error };

// A named field beside the message; `text` says whether the value is a string (shown
// unchanged) or another value already rendered in its debug form.
struct Field {
    std::string_view name;
    std::string value;
    bool text = true;
};

// The span an event is in: a named stretch of work (one HTTP request, say) with a target and
// fields of its own. Filter directives can select events by their span (filter.hpp), and the
// console and file lines show it before the event's target. Its emitter passes it explicitly
// with each event of that work.
struct Span {
    std::string_view name;
    std::string_view target;
    std::span<const Field> fields;
};

// True when an event of this level and target, in `span` if given, would reach at least one
// writer.
bool enabled(Level level, std::string_view target, const Span* span = nullptr) noexcept;

// Hands one event to the installed writers (console, file, in-memory buffer, in that order).
// The event's fields are the formatted `message` followed by `fields`. Never throws.
void emit(Level level, std::string_view target, std::string_view message, std::initializer_list<Field> fields = {},
          const Span* span = nullptr) noexcept;

template <typename... Args>
void log(Level level, std::string_view target, fmt::format_string<Args...> format, Args&&... args) {
    if (enabled(level, target)) emit(level, target, fmt::format(format, std::forward<Args>(args)...));
}

template <typename... Args>
void trace(std::string_view target, fmt::format_string<Args...> f, Args&&... a) {
    log(Level::Trace, target, f, std::forward<Args>(a)...);
}
template <typename... Args>
void debug(std::string_view target, fmt::format_string<Args...> f, Args&&... a) {
    log(Level::Debug, target, f, std::forward<Args>(a)...);
}
template <typename... Args>
void info(std::string_view target, fmt::format_string<Args...> f, Args&&... a) {
    log(Level::Info, target, f, std::forward<Args>(a)...);
}
template <typename... Args>
void warn(std::string_view target, fmt::format_string<Args...> f, Args&&... a) {
    log(Level::Warn, target, f, std::forward<Args>(a)...);
}
template <typename... Args>
void error(std::string_view target, fmt::format_string<Args...> f, Args&&... a) {
    log(Level::Error, target, f, std::forward<Args>(a)...);
}

}  // namespace pvo_log
