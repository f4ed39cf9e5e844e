#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "pvo-log/format.hpp"

namespace pvo_log {
namespace {

using namespace std::chrono;
using namespace std::chrono_literals;

const system_clock::time_point kTime = sys_days{2026y / 1 / 5} + 9h + 30min + 123456789ns;

std::string full(Level level, std::string_view target, std::vector<Field> fields, bool ansi = false) {
    return format_full_line({level, target, fields}, kTime, ansi);
}

TEST(FormatTimestamp, IsUtcWithMicroseconds) {
    EXPECT_EQ(format_timestamp(kTime), "2026-01-05T09:30:00.123456Z");
    EXPECT_EQ(format_timestamp(system_clock::time_point{}), "1970-01-01T00:00:00.000000Z");
    EXPECT_EQ(format_timestamp(sys_days{2024y / 2 / 29} + 23h + 59min + 59s + 999999us), "2024-02-29T23:59:59.999999Z");
}

TEST(FullLine, RightAlignsTheLevelAndShowsMessageThenFields) {
    EXPECT_EQ(full(Level::Info, "parvello", {{"message", "parvello v2.0.6", false}}),
              "2026-01-05T09:30:00.123456Z  INFO parvello: parvello v2.0.6\n");
    EXPECT_EQ(
        full(Level::Warn, "pvo_device::discovery",
             {{"message", "catalog load failed: \"x\"", false}, {"port", "27419", false}, {"path", "/a b"}}),
        "2026-01-05T09:30:00.123456Z  WARN pvo_device::discovery: catalog load failed: \"x\" port=27419 path=/a b\n");
    EXPECT_EQ(full(Level::Trace, "t", {{"message", "", false}, {"n", "1", false}}),
              "2026-01-05T09:30:00.123456Z TRACE t: n=1\n");
    EXPECT_EQ(full(Level::Error, "t", {{"message", "", false}}), "2026-01-05T09:30:00.123456Z ERROR t: \n");
}

TEST(FullLine, PutsTheSpanAndItsFieldsBeforeTheTarget) {
    const Field fields[] = {{"method", "GET"}, {"uri", "/status?a=1"}, {"version", "HTTP/1.1"}};
    const Span request{"request", "parvello::server", fields};
    const Field event[] = {{"message", "finished processing request", false}, {"status", "200", false}};
    EXPECT_EQ(format_full_line({Level::Debug, "http::trace", event, &request}, kTime, false),
              "2026-01-05T09:30:00.123456Z DEBUG request{method=GET uri=/status?a=1 version=HTTP/1.1}: "
              "http::trace: finished processing request status=200\n");
    // no braces for a span without fields; its values are escaped like the event's
    const Span bare{"job", "parvello", {}};
    EXPECT_EQ(format_full_line({Level::Info, "parvello", event, &bare}, kTime, false),
              "2026-01-05T09:30:00.123456Z  INFO job: parvello: finished processing request status=200\n");
    const Field hostile[] = {{"uri", "/\x1b[2J"}};
    const Span escaped{"request", "parvello::server", hostile};
    EXPECT_EQ(format_full_line({Level::Info, "t", {}, &escaped}, kTime, false),
              "2026-01-05T09:30:00.123456Z  INFO request{uri=/\\u{1b}[2J}: t: \n");
    // with colour the span's name is bold and its colon dimmed
    EXPECT_EQ(format_full_line({Level::Info, "t", event, &bare}, kTime, true),
              "\x1b[2m2026-01-05T09:30:00.123456Z\x1b[0m \x1b[32m INFO\x1b[0m \x1b[1mjob\x1b[0m\x1b[2m:\x1b[0m "
              "\x1b[2mt:\x1b[0m finished processing request status=200\n");
}

TEST(FullLine, EscapesControlCharactersSoAnEventStaysOneLine) {
    EXPECT_EQ(full(Level::Debug, "t", {{"message", "a\nb\r\x1b[31mc\td\x7f", false}, {"k", "\xc2\x9bx"}}),
              "2026-01-05T09:30:00.123456Z DEBUG t: a\\nb\\r\\u{1b}[31mc\td\\u{7f} k=\\u{9b}x\n");
    // Other non-ASCII text passes unchanged.
    EXPECT_EQ(full(Level::Info, "t", {{"message", "caf\xc3\xa9 \xe2\x80\x94", false}}),
              "2026-01-05T09:30:00.123456Z  INFO t: caf\xc3\xa9 \xe2\x80\x94\n");
}

TEST(FullLine, ColourMarksLevelAndDimsTimestampAndTarget) {
    EXPECT_EQ(full(Level::Info, "parvello", {{"message", "hi", false}}, true),
              "\x1b[2m2026-01-05T09:30:00.123456Z\x1b[0m \x1b[32m INFO\x1b[0m \x1b[2mparvello:\x1b[0m hi\n");
    const std::pair<Level, std::string_view> colours[] = {{Level::Trace, "\x1b[35mTRACE"},
                                                          {Level::Debug, "\x1b[34mDEBUG"},
                                                          {Level::Warn, "\x1b[33m WARN"},
                                                          {Level::Error, "\x1b[31mERROR"}};
    for (const auto& [level, coloured] : colours) {
        EXPECT_NE(full(level, "t", {}, true).find(coloured), std::string::npos) << level_word(level);
    }
}

struct BufferCase {
    std::vector<Field> fields;
    std::string_view line;
};

TEST(BufferLine, ShowsOnlyTheMessageWithQuotesStrippedFromFormattedValues) {
    const BufferCase cases[] = {
        {{{"message", "parvello v2.0.6", false}}, "[INFO] parvello: parvello v2.0.6"},
        {{{"message", "", false}}, "[INFO] parvello"},
        {{}, "[INFO] parvello"},
        {{{"message", "42", false}}, "[INFO] parvello: 42"},
        // formatted values lose every quote at both ends, not inside
        {{{"message", "refused host \"0.0.0.0\"", false}}, "[INFO] parvello: refused host \"0.0.0.0"},
        {{{"message", "\"\"a \"b\" c\"\"", false}}, "[INFO] parvello: a \"b\" c"},
        {{{"message", "\"\"", false}}, "[INFO] parvello"},
        // text values are kept as they are
        {{{"message", "\"quoted\""}}, "[INFO] parvello: \"quoted\""},
        // a later message replaces an earlier one; other fields never show
        {{{"message", "first", false}, {"port", "1", false}, {"message", "second"}}, "[INFO] parvello: second"},
        {{{"port", "1", false}}, "[INFO] parvello"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(format_buffer_line({Level::Info, "parvello", c.fields}), c.line);
    }
    EXPECT_EQ(format_buffer_line({Level::Warn, "parvello::desktop", {}}), "[WARN] parvello::desktop");
}

}  // namespace
}  // namespace pvo_log
