#include <optional>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "pvo-status/gpgl_status.hpp"

using namespace pvo_status;

namespace {

std::vector<std::uint8_t> line(std::string_view text) { return {text.begin(), text.end()}; }

}  // namespace

TEST(GpglStatusLine, ReadsTheFirstCharacterOfTheTrimmedLine) {
    struct Case {
        std::string_view reply;
        std::optional<GpglState> state;
    };
    const Case cases[] = {
        {"0\x03", GpglState::Ready},
        {" 0 \x03\x03", GpglState::Ready},
        {"0", GpglState::Ready},
        {"1\r\n", GpglState::Moving},
        {"\xC2\xA0"
         "2\x03",
         GpglState::Unloaded},  // no-break space is white space
        {"3", GpglState::Paused},
        {"4\x03", GpglState::Cancelled},
        {"2x", GpglState::Unloaded},
        {"12", GpglState::Moving},
        {"0\x03 ", GpglState::Ready},  // the space ends it, then the ETX is just a character
        {"\x03"
         "0",
         std::nullopt},
        {"5", std::nullopt},
        {"", std::nullopt},
        {"\x03\x03", std::nullopt},
        {" \t", std::nullopt},
        {"\xFF", std::nullopt},
        {"0\xFF", std::nullopt},  // not UTF-8 anywhere means unrecognised
        {"\xE2\x80\x8B"
         "0",
         std::nullopt},  // zero-width space is not white space
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parse_gpgl_status_line(line(c.reply)), c.state) << ::testing::PrintToString(line(c.reply));
    }
}

TEST(GpglStatusLine, ReportAndReadiness) {
    struct Case {
        GpglState state;
        Readiness readiness;
    };
    const Case cases[] = {
        {GpglState::Ready, Readiness::ready()},
        {GpglState::Moving, Readiness::ready()},
        {GpglState::Unloaded, Readiness::not_ready("unloaded")},
        {GpglState::Paused, Readiness::not_ready("paused")},
        {GpglState::Cancelled, Readiness::not_ready("cancelled")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(gpgl_readiness(c.state), c.readiness);
        EXPECT_EQ(gpgl_report(c.state), (Gpgl{c.state, c.readiness}));
    }
}
