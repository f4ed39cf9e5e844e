#include "pvo-status/letratag_status.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "pvo-status/status_json.hpp"

using namespace pvo_status;

TEST(LetraTagStatus, DecodesEachField) {
    struct Case {
        std::array<std::uint8_t, 3> bytes;
        LetraTag report;
    };
    const Case cases[] = {
        {{0x30, 0x13, 0x52}, {3, 3, true, false, false, true, false, false, 1, true}},
        {{0x00, 0x00, 0x00}, {0, 0, false, false, false, false, false, false, 0, false}},
        // Bits outside the fields (b0 low nibble, b1 bits 6-7, b2 bit 7) are ignored.
        {{0x0F, 0xC0, 0x80}, {0, 0, false, false, false, false, false, false, 0, false}},
        {{0xF0, 0x2F, 0x3D}, {15, 15, false, true, true, false, true, true, 3, false}},
        {{0x10, 0x10, 0x21}, {1, 0, true, false, true, false, false, false, 2, false}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(decode_letratag_status(c.bytes), c.report)
            << int(c.bytes[0]) << " " << int(c.bytes[1]) << " " << int(c.bytes[2]);
    }
}

TEST(LetraTagStatus, JsonIsPinned) {
    const std::array<std::uint8_t, 3> status{0x30, 0x13, 0x52};
    EXPECT_EQ(to_json_text(decode_letratag_status(status)),
              R"({"battery_level":1,"battery_low":false,"battery_too_low":false,)"
              R"("busy_locked":false,"carbon_type":true,"cassette_id":3,"charging":true,)"
              R"("cutter_jam":true,"protocol":"letratag","revision":3,"tape_jam":false})");
}
