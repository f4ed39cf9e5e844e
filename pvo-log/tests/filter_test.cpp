#include <gtest/gtest.h>

#include "pvo-log/filter.hpp"

namespace pvo_log {
namespace {

struct DirectiveCase {
    std::string_view text;
    std::optional<std::string> target;
    LevelFilter level;
};

TEST(ParseDirective, AcceptsLevelsAndTargetLevelPairs) {
    const DirectiveCase cases[] = {
        {"info", std::nullopt, LevelFilter::Info},
        {"OFF", std::nullopt, LevelFilter::Off},
        {"pvo_device=warn", "pvo_device", LevelFilter::Warn},
        {" parvello::server = Debug ", "parvello::server", LevelFilter::Debug},
        {"a=trace", "a", LevelFilter::Trace},
    };
    for (const auto& c : cases) {
        const auto directive = parse_directive(c.text);
        ASSERT_TRUE(directive) << c.text << ": " << directive.error();
        EXPECT_EQ(*directive, (Directive{c.target, c.level})) << c.text;
    }
}

TEST(ParseDirective, RefusesWithAReason) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"loud", "expected a level or target=level"},
        {"parvello=loud", "unknown level `loud`; expected trace, debug, info, warn, error or off"},
        {"parvello=", "unknown level ``; expected trace, debug, info, warn, error or off"},
        {"=info", "missing target before `=`"},
        {"a=b=info", "unknown level `b=info`; expected trace, debug, info, warn, error or off"},
        {"parvello[request]=debug", "span and field conditions are not supported"},
    };
    for (const auto& [text, reason] : cases) {
        const auto directive = parse_directive(text);
        ASSERT_FALSE(directive) << text;
        EXPECT_EQ(directive.error(), reason) << text;
    }
}

TEST(ParseFilter, SkipsBlankPiecesAndCollectsRejectedOnes) {
    const auto parsed = parse_filter(",info,, bogus ,pvo_device=warn,x=y");
    EXPECT_EQ(parsed.filter.directives().size(), 2u);
    ASSERT_EQ(parsed.rejected.size(), 2u);
    EXPECT_EQ(parsed.rejected[0].message(), "ignoring ` bogus `: expected a level or target=level");
    EXPECT_EQ(parsed.rejected[1].message(),
              "ignoring `x=y`: unknown level `y`; expected trace, debug, info, warn, error or off");
}

TEST(Filter, AddReplacesTheDirectiveOfTheSameTarget) {
    auto filter = parse_filter("parvello=warn,parvello::server=warn,error").filter;
    filter.add({"parvello", LevelFilter::Info});
    filter.add({std::nullopt, LevelFilter::Debug});
    const std::vector<Directive> expected{{"parvello", LevelFilter::Info},
                                          {"parvello::server", LevelFilter::Warn},
                                          {std::nullopt, LevelFilter::Debug}};
    EXPECT_TRUE(std::ranges::equal(filter.directives(), expected));
}

struct MatchCase {
    std::string_view filter;
    Level level;
    std::string_view target;
    bool passes;
};

TEST(Filter, MostSpecificMatchingDirectiveDecides) {
    const MatchCase cases[] = {
        // no directive matches: nothing passes
        {"", Level::Error, "parvello", false},
        {"parvello=trace", Level::Error, "pvo_device", false},
        // a target matches every target that begins with it
        {"parvello=info", Level::Info, "parvello::server", true},
        {"parvello=info", Level::Debug, "parvello::server", false},
        {"parvello=info", Level::Info, "parvellox", true},
        // longest target wins, whatever the order
        {"parvello=info,parvello::server=warn", Level::Info, "parvello::server", false},
        {"parvello::server=warn,parvello=info", Level::Info, "parvello::server", false},
        {"parvello=error,parvello::server=trace", Level::Trace, "parvello::server::http", true},
        // any target beats the bare level
        {"trace,parvello=error", Level::Warn, "parvello", false},
        {"trace,parvello=error", Level::Warn, "pvo_device", true},
        // off silences
        {"parvello=off", Level::Error, "parvello", false},
        {"off,parvello=trace", Level::Trace, "parvello", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parse_filter(c.filter).filter.enabled(c.level, c.target), c.passes)
            << '"' << c.filter << "\" " << static_cast<int>(c.level) << ' ' << c.target;
    }
}

}  // namespace
}  // namespace pvo_log
