#include "pvo-client-delivery/handshake_id.hpp"

#include <gtest/gtest.h>

using namespace pvo_client_delivery;

TEST(ParseHandshakeId, TrimsUnicodeSpaceAndFoldsAsciiCase) {
    struct Case {
        std::string_view name;
        std::optional<HandshakeId> id;
    };
    const Case cases[] = {
        {"FIRE_AND_FORGET", HandshakeId::FireAndForget},
        {"\tgpgl\n", HandshakeId::Gpgl},
        {"letratag_notify", HandshakeId::LetratagNotify},
        {" Dymo_LW ", HandshakeId::DymoLw},
        {"dymo_d1", HandshakeId::DymoD1},
        {"Niimbot_Poll", HandshakeId::NiimbotPoll},
        {"\xC2\xA0"
         "dymo_lw"
         "\xC2\xA0",
         HandshakeId::DymoLw},  // no-break space
        {"\xE3\x80\x80"
         "gpgl"
         "\xE3\x80\x80",
         HandshakeId::Gpgl},  // ideographic space
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"dymo_d2", std::nullopt},
        {"fire and forget", std::nullopt},
        {"niimbot", std::nullopt},
        {"dymo-lw", std::nullopt},
        {"dymolw", std::nullopt},
        {"dymo_\xE2\x80\x8Blw", std::nullopt},  // zero-width space is not white space
        {"\xE2\x80\x8B"
         "gpgl",
         std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(parse_handshake_id(c.name), c.id) << c.name;
}

TEST(ParseHandshakeId, EveryNameReadsBackAsItsId) {
    for (std::uint8_t i = 0; i < 6; ++i) {
        const auto id = static_cast<HandshakeId>(i);
        EXPECT_EQ(parse_handshake_id(handshake_name(id)), id);
    }
    EXPECT_EQ(handshake_name(HandshakeId::LetratagNotify), "letratag_notify");
}
