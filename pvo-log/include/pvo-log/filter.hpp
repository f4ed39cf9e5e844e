#pragma once
// The directive filter: which events pass, by target, span and level.
//
// A directive is a level name (trace, debug, info, warn, error, off) or `target=level`, where
// the target may carry span conditions: `target[span]=level`, `target[span{field=value}]=level`,
// `target[{field}]=level`, `[span]=level`. A plain directive matches an event whose target
// begins with its target (one without a target matches every event). A directive with span
// conditions matches only an event inside a span (log.hpp) whose target begins with the
// directive's target, whose name is the span name given, and which has every field named in
// braces, with exactly the value given where one is given (text compared as written, case
// included); the event's own target does not matter.
//
// For an event the most specific matching directive decides: one with span conditions beats
// any without; then a longer target beats a shorter one and any target beats none; then a span
// name beats none and more field conditions beat fewer; between equally specific ones the more
// verbose level wins. The event passes when its level is at least that severe. An event no
// directive matches does not pass.
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pvo-log/log.hpp"

namespace pvo_log {

// A level threshold; `Off` lets nothing pass.
enum class LevelFilter : std::uint8_t { Trace, Debug, Info, Warn, Error, Off };

// `name` inside braces: the span has that field; `name=value`: with exactly that value.
struct FieldCondition {
    std::string name;
    std::optional<std::string> value;

    bool operator==(const FieldCondition&) const = default;
};

struct Directive {
    std::optional<std::string> target;  // none: applies to every target
    LevelFilter level = LevelFilter::Trace;
    std::optional<std::string> span{};     // the span's name
    std::vector<FieldCondition> fields{};  // conditions on the span's fields

    bool has_span_conditions() const noexcept { return span.has_value() || !fields.empty(); }
    // Whether `other` selects the same events (its level aside).
    bool same_selection(const Directive& other) const noexcept {
        return target == other.target && span == other.span && fields == other.fields;
    }
    bool matches(std::string_view event_target, const Span* event_span) const noexcept;

    bool operator==(const Directive&) const = default;
};

// A piece of the filter text that did not parse, and why.
struct RejectedDirective {
    std::string piece;
    std::string reason;

    // "ignoring `<piece>`: <reason>", as reported on standard error.
    std::string message() const;
};

std::expected<LevelFilter, std::string> parse_level_filter(std::string_view name);
std::expected<Directive, std::string> parse_directive(std::string_view piece);

class Filter {
public:
    // Adds a directive; one with exactly the same target (or likewise none) and the same span
    // conditions is replaced.
    void add(Directive directive);

    bool enabled(Level level, std::string_view target, const Span* span = nullptr) const noexcept;

    std::span<const Directive> directives() const noexcept { return directives_; }

private:
    std::vector<Directive> directives_;
};

struct ParsedFilter {
    Filter filter;
    std::vector<RejectedDirective> rejected;
};

// Splits `text` at commas, skips blank pieces and adds each piece that parses, in order.
ParsedFilter parse_filter(std::string_view text);

}  // namespace pvo_log
