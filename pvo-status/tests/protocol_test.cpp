#include "pvo-status/protocol.hpp"

#include <gtest/gtest.h>

#include <string>

using namespace pvo_status;

namespace {

const std::string all_wire_names_listed =
    "`dymo`, `dymolw`, `dymolwclassic`, `escpos`, `esclabel`, `phomemo`, `phomemom02x`, "
    "`phomemom110`, `phomemod30`, `zpl`, `tspl`, `slcs`, `ezpl`, `sbpl`, `dpl`, `tpcl`, "
    "`niimbot`, `letratag`, `brotherql`, `brotherpt`, `gpgl`, `virtual`, `console`, `html`";

}  // namespace

TEST(Protocol, IndicesAndNamesFollowTheDeclarationOrder) {
    ASSERT_EQ(all_protocols.size(), 24u);
    for (std::size_t i = 0; i < all_protocols.size(); ++i) {
        const Protocol p = all_protocols[i];
        EXPECT_EQ(static_cast<std::size_t>(p), i);
        // The wire name is the message name with its ASCII capitals made small, nothing more.
        std::string folded(message_name(p));
        for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_EQ(wire_name(p), folded);
        // Every wire name reads back as its own protocol.
        EXPECT_EQ(protocol_from_wire_name(wire_name(p)), p);
    }
    EXPECT_EQ(message_name(Protocol::PhomemoM02x), "PhomemoM02x");
    EXPECT_EQ(wire_name(Protocol::PhomemoM02x), "phomemom02x");
    EXPECT_EQ(message_name(Protocol::LetraTag), "LetraTag");
    EXPECT_EQ(message_name(Protocol::DymoLwClassic), "DymoLwClassic");
    EXPECT_EQ(wire_name(all_protocols.front()), "dymo");
    EXPECT_EQ(wire_name(all_protocols.back()), "html");
}

TEST(Protocol, WireNameLookupIsExact) {
    for (std::string_view text : {"Zpl", "ZPL", " zpl", "zpl ", "dymo-lw", "brother-ql", ""}) {
        const auto found = protocol_from_wire_name(text);
        ASSERT_FALSE(found.has_value()) << text;
        EXPECT_EQ(found.error(),
                  "unknown variant `" + std::string(text) + "`, expected one of " + all_wire_names_listed)
            << text;
    }
    EXPECT_EQ(protocol_from_wire_name("zpl"), Protocol::Zpl);
}

TEST(Protocol, RequestLookupFoldsAsciiCapitalsOnly) {
    struct Case {
        std::string_view text;
        std::optional<Protocol> expected;
    };
    const Case cases[] = {
        {"BrotherQL", Protocol::BrotherQl},
        {"DYMOLW", Protocol::DymoLw},
        {"dymolw", Protocol::DymoLw},
        {"DymoLwClassic", Protocol::DymoLwClassic},
        {"brother-ql", std::nullopt},
        {"brother_ql", std::nullopt},
        {"Dymo LW", std::nullopt},  // folding never removes the space
        {" dymolw", std::nullopt},
        {"", std::nullopt},
        {"Z\xC3\x9F"
         "l",
         std::nullopt},  // non-ASCII letters are not folded or matched
        {"\xC4\xB0"
         "tspl",
         std::nullopt},
    };
    for (const auto& c : cases) {
        const auto found = protocol_from_request_name(c.text);
        if (c.expected) {
            EXPECT_EQ(found, *c.expected) << c.text;
        } else {
            ASSERT_FALSE(found.has_value()) << c.text;
            EXPECT_EQ(found.error(), "unknown protocol: " + std::string(c.text));
        }
    }
}
