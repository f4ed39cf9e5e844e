#include "pvo-status/zpl_status.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pvo-status/status_json.hpp"

using namespace pvo_status;

namespace {

std::vector<std::uint8_t> bytes(std::string_view text) { return {text.begin(), text.end()}; }

// Each text framed as one STX...ETX line, with CR LF between lines as a printer sends them.
std::vector<std::uint8_t> framed(std::initializer_list<std::string_view> lines) {
    std::string reply;
    for (auto line : lines) reply.append("\x02").append(line).append("\x03\r\n");
    return bytes(reply);
}

Zpl parsed(const std::vector<std::uint8_t>& reply) {
    auto report = parse_zpl_host_status(reply);
    EXPECT_TRUE(report.has_value()) << report.error();
    return report.value_or(Zpl{});
}

// A first line of twelve fields, all 0 but field 0.
constexpr std::string_view idle_line1 = "030,0,0,1245,000,0,0,0,000,0,0,0";
constexpr std::string_view idle_line2 = "000,0,0,0,0,2,4,0,00000000,1,000";
constexpr std::string_view idle_line3 = "1234,0";

}  // namespace

TEST(ZplStatus, RefusesRepliesWithoutAFramedLine) {
    const std::vector<std::uint8_t> refused[] = {
        {},
        bytes("030,0,0\r\n"),
        bytes("\x03"
              "030,0,0\x02"),  // ETX before STX is no pair
        bytes("\x02"
              "030,1,0,no end"),  // STX whose ETX never comes
    };
    for (const auto& reply : refused) {
        auto report = parse_zpl_host_status(reply);
        ASSERT_FALSE(report.has_value());
        EXPECT_EQ(report.error().message, "no STX/ETX-framed lines in ~HS response");
    }
}

TEST(ZplStatus, CollectsFramedLines) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> reply;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"three lines",
         framed({idle_line1, idle_line2, idle_line3}),
         {std::string(idle_line1), std::string(idle_line2), std::string(idle_line3)}},
        {"empty pair", bytes("\x02\x03"), {""}},
        {"bytes outside pairs skipped",
         bytes("junk\x02"
               "a\x03mid\x02"
               "b\x03tail"),
         {"a", "b"}},
        {"second STX inside a line is content",
         bytes("\x02"
               "a\x02"
               "b\x03"),
         {"a\x02"
          "b"}},
        {"unclosed STX after a line ends the scan",
         bytes("\x02"
               "a\x03\x02"
               "b"),
         {"a"}},
        {"invalid byte becomes U+FFFD",
         bytes("\x02"
               "0\xFF"
               "1,\xC3\xA9\x03"),
         {"0\xEF\xBF\xBD"
          "1,\xC3\xA9"}},
    };
    for (const auto& c : cases) EXPECT_EQ(parsed(c.reply).raw_lines, c.lines) << c.name;
}

TEST(ZplStatus, FlagFieldValues) {
    struct Case {
        std::string_view field;
        bool flag;
    };
    const Case cases[] = {
        {"1", true},    {" 1 ", true}, {"01", true},   {"+1", true},    {"255", true}, {"\t2\r", true},
        {"0001", true}, {"0", false},  {"000", false}, {"", false},     {"  ", false}, {"-1", false},
        {"-0", false},  {"x", false},  {"999", false}, {"256", false},  {"+", false},  {"++1", false},
        {"1 1", false}, {"1x", false}, {"0x1", false}, {"\xFF", false},
    };
    for (const auto& c : cases) {
        const std::string line = "030," + std::string(c.field) + ",0";
        EXPECT_EQ(parsed(framed({line})).paper_out, c.flag) << '"' << c.field << '"';
    }
}

TEST(ZplStatus, FlagsComeFromTheirFields) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> reply;
        bool paper_out, pause, head_open, corrupt_ram;
    };
    const Case cases[] = {
        {"idle", framed({idle_line1, idle_line2, idle_line3}), false, false, false, false},
        {"paper out", framed({"030,1,0,1245,000,0,0,0,000,0,0,0"}), true, false, false, false},
        {"pause", framed({"030,0,1,1245,000,0,0,0,000,0,0,0"}), false, true, false, false},
        {"corrupt ram", framed({"030,0,0,1245,000,0,0,0,000,1,0,0"}), false, false, false, true},
        {"head up on the second line", framed({idle_line1, "000,0,1,0,0,2,4,0,00000000,1,000"}), false, false, true,
         false},
        {"three fields", framed({"030,0,1"}), false, true, false, false},
        {"trailing comma is an empty last field", framed({"030,0,0,0,0,0,0,0,0,"}), false, false, false, false},
        {"short second line", framed({idle_line1, "000,0"}), false, false, false, false},
        {"empty pair", bytes("\x02\x03"), false, false, false, false},
        {"empty first line", framed({"", "000,0,1"}), false, false, true, false},
    };
    for (const auto& c : cases) {
        const auto report = parsed(c.reply);
        EXPECT_EQ(report.paper_out, c.paper_out) << c.name;
        EXPECT_EQ(report.pause, c.pause) << c.name;
        EXPECT_EQ(report.head_open, c.head_open) << c.name;
        EXPECT_EQ(report.corrupt_ram, c.corrupt_ram) << c.name;
    }
}

// paper_out, then head_open, then corrupt_ram, then pause.
TEST(ZplStatus, ReadinessFollowsFlagOrder) {
    struct Case {
        std::string_view line1, line2;
        Readiness readiness;
    };
    const Case cases[] = {
        {idle_line1, idle_line2, Readiness::ready()},
        {"0,1,1,0,0,0,0,0,0,1", "0,0,1", Readiness::not_ready("paper_out")},
        {"0,0,1,0,0,0,0,0,0,1", "0,0,1", Readiness::not_ready("head_open")},
        {"0,0,1,0,0,0,0,0,0,1", idle_line2, Readiness::not_ready("corrupt_ram")},
        {"0,0,1", idle_line2, Readiness::not_ready("pause")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parsed(framed({c.line1, c.line2})).readiness, c.readiness) << c.line1;
    }
}

TEST(ZplStatus, JsonIsPinned) {
    const auto report = parsed(framed({"030,1,1,1245", "000,0,1,0", "1234,\xFF"}));
    EXPECT_EQ(to_json_text(report), R"({"corrupt_ram":false,"head_open":true,"paper_out":true,"pause":true,)"
                                    R"("protocol":"zpl","raw_lines":["030,1,1,1245","000,0,1,0","1234,)"
                                    "\xEF\xBF\xBD"
                                    R"("],"readiness":{"ready_to_print":false,"reason":"paper_out"}})");
}
