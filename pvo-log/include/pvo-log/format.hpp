#pragma once
// The line formats of the writers.
//
// Full line (console and file): RFC 3339 UTC timestamp with microseconds, a blank, the level
// right-aligned in five, a blank, then for an event in a span the span's name, its fields as
// name=value separated by blanks in braces (no braces when it has none), ": ", then the
// target, ": ", then the message and the other fields as name=value, separated by blanks, and
// a line break:
//   2026-01-05T09:30:00.123456Z DEBUG request{method=GET uri=/status version=HTTP/1.1}: http::trace: started processing request
// The message and the field values are escaped as pvo_util::append_single_line does (controls
// but tab, invisible format characters), so one event is always one line and no value can
// send escape sequences to a terminal. With colour the level is coloured by severity, the
// timestamp, "target:" and the span's colon are dimmed and the span's name is bold.
//
// Buffer line: "[LEVEL] target: message", or "[LEVEL] target" when the message is empty or
// absent; no timestamp and no other field.
#include <chrono>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "pvo-log/log.hpp"
#include "pvo-log/writer.hpp"

namespace pvo_log {

// "TRACE", "DEBUG", "INFO", "WARN" or "ERROR".
std::string_view level_word(Level level) noexcept;

// "YYYY-MM-DDTHH:MM:SS.ffffffZ" (UTC, truncated to microseconds).
std::string format_timestamp(std::chrono::system_clock::time_point time);

std::string format_full_line(const Event& event, std::chrono::system_clock::time_point time, bool ansi);

// The event's message as the in-memory buffer shows it: the last field named "message"; a text
// value unchanged, any other value without its leading and trailing double quotes. None when
// the event has no "message" field.
std::optional<std::string> visit_message(std::span<const Field> fields);

std::string format_buffer_line(const Event& event);

}  // namespace pvo_log
