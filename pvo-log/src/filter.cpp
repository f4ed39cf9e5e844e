#include "pvo-log/filter.hpp"

#include <algorithm>
#include <array>
#include <tuple>
#include <utility>

#include <fmt/format.h>

#include "pvo-util/text.hpp"

namespace pvo_log {
namespace {

std::string_view trim(std::string_view text) { return pvo_util::trim_unicode_white_space(text); }

constexpr std::array<std::pair<std::string_view, LevelFilter>, 6> kLevelNames{{
    {"trace", LevelFilter::Trace},
    {"debug", LevelFilter::Debug},
    {"info", LevelFilter::Info},
    {"warn", LevelFilter::Warn},
    {"error", LevelFilter::Error},
    {"off", LevelFilter::Off},
}};

}  // namespace

std::string RejectedDirective::message() const { return fmt::format("ignoring `{}`: {}", piece, reason); }

std::expected<LevelFilter, std::string> parse_level_filter(std::string_view name) {
    for (const auto& [word, level] : kLevelNames) {
        if (pvo_util::ascii_iequals(name, word)) return level;
    }
    return std::unexpected(fmt::format("unknown level `{}`; expected trace, debug, info, warn, error or off", name));
}

namespace {

using Reason = std::unexpected<std::string>;

// "unexpected `c` in <what>" for the first of `forbidden` in `text`, none when it has none.
std::optional<std::string> stray_character(std::string_view text, std::string_view forbidden, std::string_view what) {
    const auto at = text.find_first_of(forbidden);
    if (at == std::string_view::npos) return std::nullopt;
    return fmt::format("unexpected `{}` in {}", text[at], what);
}

// The text between braces: conditions separated by commas, each `name` or `name=value`.
std::expected<std::vector<FieldCondition>, std::string> parse_field_conditions(std::string_view text) {
    if (trim(text).empty()) return Reason("expected field conditions inside `{}`");
    std::vector<FieldCondition> conditions;
    while (true) {
        const auto comma = text.find(',');
        const auto condition = text.substr(0, comma);
        const auto equals = condition.find('=');
        const auto name = trim(condition.substr(0, equals));
        if (name.empty()) return Reason("missing a field name inside `{}`");
        if (equals == std::string_view::npos) {
            conditions.push_back({std::string(name), std::nullopt});
        } else {
            const auto value = trim(condition.substr(equals + 1));
            if (value.empty()) return Reason(fmt::format("missing the value of field `{}` after `=`", name));
            conditions.push_back({std::string(name), std::string(value)});
        }
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    return conditions;
}

// The text between square brackets: `span`, `span{fields}` or `{fields}`.
std::expected<Directive, std::string> parse_span_conditions(std::string_view text) {
    text = trim(text);
    if (text.empty()) return Reason("expected a span name or field conditions inside `[]`");
    const auto open = text.find('{');
    const auto name = trim(text.substr(0, open));
    if (auto stray = stray_character(name, "[]{}=", "span name")) return Reason(std::move(*stray));
    Directive directive;
    if (!name.empty()) directive.span = std::string(name);
    if (open == std::string_view::npos) return directive;
    // The last brace closes the conditions, so a value may itself hold braces.
    const auto close = text.rfind('}');
    if (close == std::string_view::npos || close < open) return Reason("missing `}` after the field conditions");
    if (close + 1 != text.size()) return Reason(fmt::format("unexpected `{}` after `}}`", text.substr(close + 1)));
    auto fields = parse_field_conditions(text.substr(open + 1, close - open - 1));
    if (!fields) return Reason(std::move(fields.error()));
    directive.fields = std::move(*fields);
    return directive;
}

}  // namespace

std::expected<Directive, std::string> parse_directive(std::string_view piece) {
    piece = trim(piece);
    const auto equals = piece.find('=');
    const auto open = piece.find('[');
    if (open != std::string_view::npos && open < equals) {
        // `target[conditions]=level`; the last bracket closes the conditions, so a field value
        // may itself hold brackets.
        const auto close = piece.rfind(']');
        if (close == std::string_view::npos || close < open) {
            return Reason("missing `]` after the span conditions");
        }
        const auto target = trim(piece.substr(0, open));
        if (auto stray = stray_character(target, "]{}", "target")) return Reason(std::move(*stray));
        const auto rest = trim(piece.substr(close + 1));
        if (!rest.starts_with('=')) return Reason("expected `=` and a level after `]`");
        auto directive = parse_span_conditions(piece.substr(open + 1, close - open - 1));
        if (!directive) return directive;
        auto level = parse_level_filter(trim(rest.substr(1)));
        if (!level) return Reason(std::move(level.error()));
        if (!target.empty()) directive->target = std::string(target);
        directive->level = *level;
        return directive;
    }
    if (equals == std::string_view::npos) {
        auto level = parse_level_filter(piece);
        if (!level) return Reason("expected a level or target=level");
        return Directive{std::nullopt, *level};
    }
    const auto target = trim(piece.substr(0, equals));
    if (target.empty()) return Reason("missing target before `=`");
    if (auto stray = stray_character(target, "[]{}", "target")) return Reason(std::move(*stray));
    auto level = parse_level_filter(trim(piece.substr(equals + 1)));
    if (!level) return Reason(std::move(level.error()));
    return Directive{std::string(target), *level};
}

bool Directive::matches(std::string_view event_target, const Span* event_span) const noexcept {
    if (!has_span_conditions()) return !target || event_target.starts_with(*target);
    if (event_span == nullptr) return false;
    if (target && !event_span->target.starts_with(*target)) return false;
    if (span && event_span->name != *span) return false;
    return std::ranges::all_of(fields, [&](const FieldCondition& condition) {
        return std::ranges::any_of(event_span->fields, [&](const Field& field) {
            return field.name == condition.name && (!condition.value || field.value == *condition.value);
        });
    });
}

void Filter::add(Directive directive) {
    auto same = std::ranges::find_if(directives_, [&](const Directive& d) { return d.same_selection(directive); });
    if (same != directives_.end()) {
        *same = std::move(directive);
    } else {
        directives_.push_back(std::move(directive));
    }
}

namespace {

// How specific a directive is, compared in this order (see filter.hpp).
auto specificity(const Directive& directive) {
    return std::tuple(directive.has_span_conditions(), directive.target.has_value(),
                      directive.target ? directive.target->size() : 0, directive.span.has_value(),
                      directive.fields.size());
}

}  // namespace

bool Filter::enabled(Level level, std::string_view target, const Span* span) const noexcept {
    const Directive* best = nullptr;
    for (const auto& directive : directives_) {
        if (!directive.matches(target, span)) continue;
        if (best == nullptr) {
            best = &directive;
            continue;
        }
        const auto order = specificity(directive) <=> specificity(*best);
        if (order > 0 || (order == 0 && directive.level < best->level)) best = &directive;
    }
    return best != nullptr && static_cast<int>(level) >= static_cast<int>(best->level);
}

ParsedFilter parse_filter(std::string_view text) {
    ParsedFilter parsed;
    while (true) {
        const auto comma = text.find(',');
        const auto piece = text.substr(0, comma);
        if (!trim(piece).empty()) {
            if (auto directive = parse_directive(piece)) {
                parsed.filter.add(std::move(*directive));
            } else {
                parsed.rejected.push_back({std::string(piece), std::move(directive.error())});
            }
        }
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    return parsed;
}

}  // namespace pvo_log
