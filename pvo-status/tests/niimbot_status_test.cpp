#include <cstdint>
#include <optional>

#include <gtest/gtest.h>

#include "pvo-status/niimbot_status.hpp"
#include "pvo-status/status_json.hpp"

using namespace pvo_status;

TEST(NiimbotStatus, ReadyOnlyWhileAPrintRuns) {
    struct Case {
        std::uint8_t progress1;
        std::optional<Readiness> readiness;
    };
    const Case cases[] = {
        {0, std::nullopt},        {1, Readiness::ready()}, {50, Readiness::ready()},
        {99, Readiness::ready()}, {100, std::nullopt},     {255, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(niimbot_readiness(3, c.progress1, 0), c.readiness) << int(c.progress1);
        EXPECT_EQ(niimbot_report(3, c.progress1, 7), (Niimbot{{3, c.progress1, 7}, c.readiness}));
    }
    EXPECT_EQ(to_json_text(niimbot_report(2, 50, 100)),
              R"({"device_info":null,"heartbeat":null,"media_barcode":null,"media_length_mm":null,)"
              R"("media_width_mm":null,"print_status":{"page":2,"progress1":50,"progress2":100},)"
              R"("protocol":"niimbot","readiness":{"ready_to_print":true},"rfid":null})");
}
