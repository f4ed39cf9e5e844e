#include "pvo-status/parse_status.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "pvo-status/gpgl_status.hpp"
#include "pvo-status/niimbot_status.hpp"

namespace pvo_status {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The position of a report type among the PrintStatus alternatives.
template <typename Report>
constexpr std::size_t variant_index() {
    return PrintStatus(std::in_place_type<Report>).index();
}

Bytes text(std::string_view s) { return {s.begin(), s.end()}; }

Bytes zpl_reply() {
    return text(
        "\x02"
        "030,1,0,1245,000,0,0,0,000,0,0,0\x03\r\n"
        "\x02"
        "000,0,0,0,0,2,4,0,00000000,1,000\x03\r\n"
        "\x02"
        "1234,0\x03\r\n");
}

// A Brother reply: header 80 20 42, the rest zero.
Bytes brother_reply() {
    Bytes b(32, 0);
    b[0] = 0x80;
    b[1] = 0x20;
    b[2] = 0x42;
    return b;
}

TEST(ParseStatus, RefusalsNameWhatWasExpected) {
    struct Case {
        Protocol protocol;
        Bytes reply;
        std::string message;
    };
    const Case cases[] = {
        {Protocol::Dymo, {}, "empty D1 status reply"},
        {Protocol::DymoLwClassic, {}, "empty classic LW status reply"},
        {Protocol::LetraTag, {0x01, 0x02}, "short LetraTag advertising status (2 bytes, expected 3)"},
        {Protocol::Niimbot, {0x55, 0x55, 0xB3, 0x04, 0x00}, "no NIIMBOT print-status reply in buffer"},
        {Protocol::Gpgl, text("?\x03"), "unrecognized GPGL status response"},
        {Protocol::DymoLw, Bytes(10, 0), "short status reply (10 bytes, expected 32)"},
        {Protocol::Tspl, text("MFG:X;"), "status parsing not supported for protocol Tspl"},
        {Protocol::EscPos, {0x00}, "status parsing not supported for protocol EscPos"},
        {Protocol::Html, {0x00}, "status parsing not supported for protocol Html"},
    };
    for (const auto& c : cases) {
        const auto parsed = parse_status(c.protocol, c.reply);
        ASSERT_FALSE(parsed.has_value()) << message_name(c.protocol);
        EXPECT_EQ(parsed.error().message, c.message);
    }
}

TEST(ParseStatus, EachProtocolReachesItsFamilyParser) {
    struct Case {
        Protocol protocol;
        Bytes reply;
        std::size_t family;  // the PrintStatus alternative expected
    };
    const Case cases[] = {
        {Protocol::DymoLw, Bytes(32, 0), variant_index<DymoLw>()},
        {Protocol::Zpl, zpl_reply(), variant_index<Zpl>()},
        {Protocol::BrotherQl, brother_reply(), variant_index<BrotherQl>()},
        {Protocol::BrotherPt, brother_reply(), variant_index<BrotherPt>()},
    };
    for (const auto& c : cases) {
        const auto parsed = parse_status(c.protocol, c.reply);
        ASSERT_TRUE(parsed.has_value()) << message_name(c.protocol) << ": " << parsed.error();
        EXPECT_EQ(parsed->index(), c.family) << message_name(c.protocol);
    }
}

TEST(ParseStatus, ReadsOnlyWhatTheParserNeeds) {
    // The D1 and classic replies are read by their first byte; LetraTag by its first three.
    EXPECT_EQ(parse_status(Protocol::Dymo, Bytes{0x40, 0xFF}), PrintStatus(Dymo{0x40, true, false, false}));
    EXPECT_EQ(parse_status(Protocol::DymoLwClassic, Bytes{0x01, 0xFF}),
              PrintStatus(DymoLwClassic{0x01, true, false, false, false, false}));
    const auto letratag = parse_status(Protocol::LetraTag, Bytes{0x20, 0x05, 0x00, 0xFF});
    ASSERT_TRUE(letratag.has_value());
    EXPECT_EQ(std::get<LetraTag>(*letratag).revision, 0x02);
    EXPECT_EQ(std::get<LetraTag>(*letratag).cassette_id, 0x05);

    // NIIMBOT: the print-status packet is searched for behind other bytes.
    const Bytes niimbot{0x00, 0x13, 0x55, 0x55, 0xB3, 0x04, 0x00, 0x02, 0x32, 0x64, 0x00, 0xAA, 0xAA};
    EXPECT_EQ(parse_status(Protocol::Niimbot, niimbot), PrintStatus(niimbot_report(2, 50, 100)));
    EXPECT_EQ(parse_status(Protocol::Gpgl, text("3\x03")), PrintStatus(gpgl_report(GpglState::Paused)));
}

}  // namespace
}  // namespace pvo_status
