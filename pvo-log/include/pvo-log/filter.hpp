#pragma once
// The directive filter: which events pass, by target and level.
//
// A directive is a level name (trace, debug, info, warn, error, off) or `target=level`. For an
// event the matching directive with the longest target decides (a directive matches when the
// event's target begins with its target; one without a target matches every event and loses
// to any with a target); the event passes when its level is at least that severe. An event no
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

struct Directive {
    std::optional<std::string> target;  // none: applies to every target
    LevelFilter level = LevelFilter::Trace;

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
    // Adds a directive; one with exactly the same target (or likewise none) is replaced.
    void add(Directive directive);

    bool enabled(Level level, std::string_view target) const noexcept;

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
