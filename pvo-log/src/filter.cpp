#include "pvo-log/filter.hpp"

#include <algorithm>
#include <array>
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
    return std::unexpected(
        fmt::format("unknown level `{}`; expected trace, debug, info, warn, error or off", name));
}

std::expected<Directive, std::string> parse_directive(std::string_view piece) {
    piece = trim(piece);
    const auto equals = piece.find('=');
    if (equals == std::string_view::npos) {
        auto level = parse_level_filter(piece);
        if (!level) return std::unexpected(std::string("expected a level or target=level"));
        return Directive{std::nullopt, *level};
    }
    const auto target = trim(piece.substr(0, equals));
    if (target.empty()) return std::unexpected(std::string("missing target before `=`"));
    if (target.find_first_of("[]{}") != std::string_view::npos) {
        return std::unexpected(std::string("span and field conditions are not supported"));
    }
    auto level = parse_level_filter(trim(piece.substr(equals + 1)));
    if (!level) return std::unexpected(std::move(level.error()));
    return Directive{std::string(target), *level};
}

void Filter::add(Directive directive) {
    auto same = std::ranges::find(directives_, directive.target, &Directive::target);
    if (same != directives_.end()) {
        *same = std::move(directive);
    } else {
        directives_.push_back(std::move(directive));
    }
}

bool Filter::enabled(Level level, std::string_view target) const noexcept {
    const Directive* best = nullptr;
    for (const auto& directive : directives_) {
        if (directive.target && !target.starts_with(*directive.target)) continue;
        const auto length = directive.target ? directive.target->size() : 0;
        const bool more_specific =
            best == nullptr || (directive.target && (!best->target || length > best->target->size()));
        if (more_specific) best = &directive;
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
