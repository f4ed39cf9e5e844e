#include <gtest/gtest.h>

#include "pvo-log/filter.hpp"
#include "pvo-log/format.hpp"

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

TEST(ParseDirective, AcceptsSpanNamesAndFieldConditions) {
    const Directive cases[] = {
        {"parvello::server", LevelFilter::Debug, "request", {}},
        {"parvello::server", LevelFilter::Debug, "request", {{"method", "POST"}}},
        {"parvello::server", LevelFilter::Trace, std::nullopt, {{"uri", std::nullopt}}},
        {std::nullopt, LevelFilter::Warn, "request", {}},
        {"a", LevelFilter::Info, "s", {{"x", "1"}, {"y", std::nullopt}}},
        // the last closing bracket and brace end the conditions: values may hold them
        {"a", LevelFilter::Info, "s", {{"uri", "/x]{y}"}}},
    };
    const std::string_view texts[] = {
        "parvello::server[request]=debug",
        " parvello::server [ request { method = POST } ] = DEBUG ",
        "parvello::server[{uri}]=trace",
        "[request]=warn",
        "a[s{x=1,y}]=info",
        "a[s{uri=/x]{y}}]=info",
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto directive = parse_directive(texts[i]);
        ASSERT_TRUE(directive) << texts[i] << ": " << directive.error();
        EXPECT_EQ(*directive, cases[i]) << texts[i];
    }
}

TEST(ParseDirective, RefusesWithAReason) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"loud", "expected a level or target=level"},
        {"parvello=loud", "unknown level `loud`; expected trace, debug, info, warn, error or off"},
        {"parvello=", "unknown level ``; expected trace, debug, info, warn, error or off"},
        {"=info", "missing target before `=`"},
        {"a=b=info", "unknown level `b=info`; expected trace, debug, info, warn, error or off"},
        // span conditions
        {"parvello[request=debug", "missing `]` after the span conditions"},
        {"parvello]request[=debug", "missing `]` after the span conditions"},
        {"parvello[request]", "expected `=` and a level after `]`"},
        {"parvello[request]x=debug", "expected `=` and a level after `]`"},
        {"parvello[request]=loud", "unknown level `loud`; expected trace, debug, info, warn, error or off"},
        {"parvello[]=debug", "expected a span name or field conditions inside `[]`"},
        {"parvello[ ]=debug", "expected a span name or field conditions inside `[]`"},
        {"parvello[request{}]=debug", "expected field conditions inside `{}`"},
        {"parvello[request{method=GET]=debug", "missing `}` after the field conditions"},
        {"parvello[request{method=GET}x]=debug", "unexpected `x` after `}`"},
        {"parvello[request{=GET}]=debug", "missing a field name inside `{}`"},
        {"parvello[request{method=}]=debug", "missing the value of field `method` after `=`"},
        {"parvello[method=GET]=debug", "unexpected `=` in span name"},
        {"parvello[req}uest]=debug", "unexpected `}` in span name"},
        {"par{vello[request]=debug", "unexpected `{` in target"},
        {"parvello]=debug", "unexpected `]` in target"},
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
    auto filter = parse_filter("parvello=warn,parvello::server=warn,error,parvello[request]=debug").filter;
    filter.add({"parvello", LevelFilter::Info});
    filter.add({std::nullopt, LevelFilter::Debug});
    // the same target with span conditions is another directive
    const std::vector<Directive> expected{{"parvello", LevelFilter::Info},
                                          {"parvello::server", LevelFilter::Warn},
                                          {std::nullopt, LevelFilter::Debug},
                                          {"parvello", LevelFilter::Debug, "request", {}}};
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

struct SpanCase {
    std::string_view filter;
    Level level;
    bool in_span;  // the event is in the GET request's span, or in none
    bool passes;
};

TEST(Filter, SpanDirectivesMatchTheSpanAnEventIsIn) {
    const Field fields[] = {{"method", "GET"}, {"uri", "/status"}, {"version", "HTTP/1.1"}};
    const Span get_request{"request", "parvello::server", fields};
    const SpanCase cases[] = {
        // the span's name, target and fields, not the event's target, decide
        {"parvello::server[request]=debug", Level::Debug, true, true},
        {"parvello::server[request]=debug", Level::Debug, false, false},
        {"parvello[request]=debug", Level::Debug, true, true},
        {"[request]=debug", Level::Debug, true, true},
        {"http::trace[request]=debug", Level::Debug, true, false},
        {"parvello::server[response]=debug", Level::Debug, true, false},
        {"parvello::server::x[request]=debug", Level::Debug, true, false},
        {"parvello::server[request]=info", Level::Debug, true, false},
        // field conditions: present, or exactly the value given
        {"parvello::server[request{method=GET}]=debug", Level::Debug, true, true},
        {"parvello::server[request{method=POST}]=debug", Level::Debug, true, false},
        {"parvello::server[request{method=get}]=debug", Level::Debug, true, false},
        {"parvello::server[request{uri}]=debug", Level::Debug, true, true},
        {"parvello::server[request{body}]=debug", Level::Debug, true, false},
        {"parvello::server[{uri=/status}]=debug", Level::Debug, true, true},
        {"parvello::server[{uri=/status/}]=debug", Level::Debug, true, false},
        // a matching span directive beats any plain one, so it can also silence
        {"http=trace,parvello::server[request{uri=/status}]=off", Level::Error, true, false},
        {"http=trace,parvello::server[request{uri=/other}]=off", Level::Debug, true, true},
        {"http=trace,parvello::server[request]=off", Level::Debug, false, true},
        // more field conditions beat fewer; between equals the more verbose level wins
        {"[request]=error,[request{method=GET}]=debug", Level::Debug, true, true},
        {"[request{method=GET}]=error,[request]=debug", Level::Info, true, false},
        {"[request{method=GET}]=error,[request{uri}]=debug", Level::Debug, true, true},
        {"[request{uri}]=debug,[request{method=GET}]=error", Level::Debug, true, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parse_filter(c.filter).filter.enabled(c.level, "http::trace", c.in_span ? &get_request : nullptr),
                  c.passes)
            << '"' << c.filter << "\" " << level_word(c.level) << (c.in_span ? " in span" : "");
    }
}

}  // namespace
}  // namespace pvo_log
