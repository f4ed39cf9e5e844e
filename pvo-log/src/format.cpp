#include "pvo-log/format.hpp"

#include <fmt/format.h>

#include "pvo-util/text.hpp"

namespace pvo_log {
namespace {

constexpr std::string_view kBold = "\x1b[1m";
constexpr std::string_view kDim = "\x1b[2m";
constexpr std::string_view kReset = "\x1b[0m";

std::string_view level_colour(Level level) {
    switch (level) {
        case Level::Trace:
            return "\x1b[35m";
        case Level::Debug:
            return "\x1b[34m";
        case Level::Info:
            return "\x1b[32m";
        case Level::Warn:
            return "\x1b[33m";
        case Level::Error:
            return "\x1b[31m";
    }
    return {};
}

void append_fields(std::string& out, std::span<const Field> fields) {
    bool first = true;
    for (const auto& field : fields) {
        const bool message = field.name == "message";
        if (message && field.value.empty()) continue;
        if (!first) out += ' ';
        first = false;
        if (!message) {
            out += field.name;
            out += '=';
        }
        pvo_util::append_single_line(out, field.value);
    }
}

// "name{field=value ...}: " (the braces only when the span has fields); with colour the name
// is bold and the colon dimmed, like the target's.
void append_span(std::string& out, const Span& span, bool ansi) {
    if (ansi) out += kBold;
    pvo_util::append_single_line(out, span.name);
    if (ansi) out += kReset;
    if (!span.fields.empty()) {
        out += '{';
        append_fields(out, span.fields);
        out += '}';
    }
    if (ansi) {
        out += kDim;
        out += ':';
        out += kReset;
    } else {
        out += ':';
    }
    out += ' ';
}

}  // namespace

std::string_view level_word(Level level) noexcept {
    switch (level) {
        case Level::Trace:
            return "TRACE";
        case Level::Debug:
            return "DEBUG";
        case Level::Info:
            return "INFO";
        case Level::Warn:
            return "WARN";
        case Level::Error:
            return "ERROR";
    }
    return "?";
}

std::string format_timestamp(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    const auto micros = floor<microseconds>(time);
    const auto day = floor<days>(micros);
    const year_month_day date{day};
    const hh_mm_ss clock{micros - day};
    return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}.{:06}Z", static_cast<int>(date.year()),
                       static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()), clock.hours().count(),
                       clock.minutes().count(), clock.seconds().count(), clock.subseconds().count());
}

std::string format_full_line(const Event& event, std::chrono::system_clock::time_point time, bool ansi) {
    const auto stamp = format_timestamp(time);
    const auto level = fmt::format("{:>5}", level_word(event.level));
    std::string line;
    if (ansi) {
        line = fmt::format("{0}{1}{2} {3}{4}{2} ", kDim, stamp, kReset, level_colour(event.level), level);
    } else {
        line = fmt::format("{} {} ", stamp, level);
    }
    if (event.span != nullptr) append_span(line, *event.span, ansi);
    if (ansi) {
        line += fmt::format("{}{}:{} ", kDim, event.target, kReset);
    } else {
        line += fmt::format("{}: ", event.target);
    }
    append_fields(line, event.fields);
    line += '\n';
    return line;
}

std::optional<std::string> visit_message(std::span<const Field> fields) {
    std::optional<std::string> message;
    for (const auto& field : fields) {
        if (field.name != "message") continue;
        std::string_view value = field.value;
        if (!field.text) {
            while (value.starts_with('"')) value.remove_prefix(1);
            while (value.ends_with('"')) value.remove_suffix(1);
        }
        message = std::string(value);
    }
    return message;
}

std::string format_buffer_line(const Event& event) {
    const auto message = visit_message(event.fields);
    if (!message || message->empty()) return fmt::format("[{}] {}", level_word(event.level), event.target);
    return fmt::format("[{}] {}: {}", level_word(event.level), event.target, *message);
}

}  // namespace pvo_log
