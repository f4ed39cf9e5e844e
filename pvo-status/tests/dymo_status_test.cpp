#include "pvo-status/dymo_status.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "pvo-status/status_json.hpp"

using namespace pvo_status;

namespace {

using Bytes = std::vector<std::uint8_t>;

// A LabelWriter 550 print-engine reply laid out field by field; the defaults describe an idle
// printer with a good head, media loaded and no error.
struct EngineReply {
    std::uint8_t state = 0;
    std::uint32_t job_id = 0;
    std::uint16_t label_index = 0;
    std::uint8_t head = 0;
    std::uint8_t density = 0;
    std::uint8_t bay = 8;
    std::string sku{};  // up to 12 bytes from byte 11, zero-filled
    std::uint32_t error_id = 0;
    std::uint16_t label_count = 0;
    std::uint8_t eps = 0;
    std::uint8_t voltage = 1;

    Bytes bytes() const {
        Bytes b(32, 0);
        b[0] = state;
        put(b, 1, job_id, 4);
        put(b, 5, label_index, 2);
        b[7] = 0xEE;  // unused
        b[8] = head;
        b[9] = density;
        b[10] = bay;
        std::memcpy(b.data() + 11, sku.data(), std::min<std::size_t>(sku.size(), 12));
        put(b, 23, error_id, 4);
        put(b, 27, label_count, 2);
        b[29] = eps;
        b[30] = voltage;
        b[31] = 0xEE;  // unused
        return b;
    }

    static void put(Bytes& b, std::size_t at, std::uint32_t value, std::size_t width) {
        for (std::size_t i = 0; i < width; ++i) b[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
};

EngineStatus parsed(const Bytes& reply) {
    auto status = parse_print_engine_status(reply);
    if (!status) throw std::runtime_error("refused: " + status.error().message);
    return *status;
}

}  // namespace

TEST(DymoStatusBytes, D1AndClassicDecodeTheirBits) {
    EXPECT_EQ(decode_d1_status(0x54), (Dymo{84, true, true, true}));
    EXPECT_EQ(decode_d1_status(0x40), (Dymo{0x40, true, false, false}));
    // Bits 7, 5, 3, 1 and 0 mean nothing on a D1.
    EXPECT_EQ(decode_d1_status(0xAB), (Dymo{0xAB, false, false, false}));

    EXPECT_EQ(decode_classic_lw_status(0x21), (DymoLwClassic{33, true, false, true, false, false}));
    EXPECT_EQ(decode_classic_lw_status(0xC2), (DymoLwClassic{0xC2, false, true, false, true, true}));
    // Bits 2, 3 and 4 mean nothing on a classic LabelWriter.
    EXPECT_EQ(decode_classic_lw_status(0x1C), (DymoLwClassic{0x1C, false, false, false, false, false}));
}

TEST(PrintEngineStatus, RefusalsInTheirOrder) {
    struct Case {
        const char* name;
        Bytes reply;
        std::string message;
    };
    Bytes nfc(32, 0);
    nfc[0] = 0xB6;
    nfc[1] = 0xCA;
    Bytes nfc_long = nfc;
    nfc_long.resize(40, 0);
    Bytes swapped(32, 0);
    swapped[0] = 0xCA;
    swapped[1] = 0xB6;
    const std::string desync = "status reply looks like an ESC U NFC dump (USB read desync); retry the status query";
    const Case cases[] = {
        {"empty", {}, "short status reply (0 bytes, expected 32)"},
        {"31 bytes", Bytes(31, 0), "short status reply (31 bytes, expected 32)"},
        {"short beats desync", {0xB6, 0xCA}, "short status reply (2 bytes, expected 32)"},
        {"NFC record", nfc, desync},
        {"NFC record in a longer reply", nfc_long, desync},
        {"CA B6 is judged by its first byte", swapped, "invalid print-engine status byte 202 (expected 0\u20135)"},
        {"state 6", EngineReply{.state = 6}.bytes(),
         "invalid print-engine status byte 6 (expected 0\xE2\x80\x93"
         "5)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto status = parse_print_engine_status(c.reply);
        ASSERT_FALSE(status.has_value());
        EXPECT_EQ(status.error().message, c.message);
    }
}

// Every field from its own bytes, little-endian, with bytes past the 32nd ignored.
TEST(PrintEngineStatus, ReadsEveryFieldFromTheFirst32Bytes) {
    Bytes reply = EngineReply{.state = 1,
                              .job_id = 0x04030201,
                              .label_index = 0x0605,
                              .head = 2,
                              .density = 99,
                              .bay = 7,
                              .sku = "S0722550",
                              .error_id = 0xA1B2C3D4,
                              .label_count = 0x0102,
                              .eps = 0xF1,
                              .voltage = 0xF3}
                      .bytes();
    reply.insert(reply.end(), {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});

    EngineStatus expected;
    expected.print_state = LwPrintState::Printing;
    expected.print_job_id = 0x04030201;
    expected.label_index = 0x0605;
    expected.head_status = PrintHeadStatus::StatusUnknown;
    expected.print_density = 99;
    expected.bay_status = MediaBayStatus::MediaLow;
    expected.sku = "S0722550";
    expected.error_id = 0xA1B2C3D4;
    expected.label_count = 0x0102;
    expected.eps_present = true;  // only the low four bits count
    expected.head_voltage = PrintHeadVoltage::CriticallyLow;
    EXPECT_EQ(parsed(reply), expected);
}

TEST(PrintEngineStatus, OutOfRangeCodesFallBack) {
    struct Case {
        EngineReply reply;
        PrintHeadStatus head;
        MediaBayStatus bay;
        PrintHeadVoltage voltage;
        bool eps;
    };
    const Case cases[] = {
        {{.head = 3, .bay = 10, .eps = 0x11, .voltage = 4},
         PrintHeadStatus::Unknown,
         MediaBayStatus::MediaCounterfeit,
         PrintHeadVoltage::TooLowForPrinting,
         true},
        {{.head = 9, .bay = 11, .eps = 0x02, .voltage = 0x37},
         PrintHeadStatus::Unknown,
         MediaBayStatus::Unknown,
         PrintHeadVoltage::Unknown,
         false},
        {{.head = 0xFF, .bay = 200, .eps = 0x10, .voltage = 0x05},
         PrintHeadStatus::Unknown,
         MediaBayStatus::Unknown,
         PrintHeadVoltage::Unknown,
         false},
    };
    for (const auto& c : cases) {
        const EngineStatus s = parsed(c.reply.bytes());
        EXPECT_EQ(s.head_status, c.head);
        EXPECT_EQ(s.bay_status, c.bay);
        EXPECT_EQ(s.head_voltage, c.voltage);
        EXPECT_EQ(s.eps_present, c.eps);
    }
}

TEST(PrintEngineStatus, SkuRule) {
    struct Case {
        const char* name;
        std::uint8_t bay;
        std::string sku_bytes;
        std::optional<std::string> sku;
    };
    const Case cases[] = {
        {"trimmed at both ends, ends at a zero", 8, std::string("  ABC123\0XY", 11), "ABC123"},
        {"twelve bytes without a zero stop at byte 22", 8, "ABCDEFGHIJKL", "ABCDEFGHIJKL"},
        {"zero at byte 11", 8, "", std::nullopt},
        {"only spaces", 8, std::string(12, ' '), std::nullopt},
        {"not UTF-8", 8, std::string("\xFF\0", 2), std::nullopt},
        {"UTF-8 text is kept", 8, "S\xC3\xA9rie 1", "S\xC3\xA9rie 1"},
        {"no media: never read", 2, "ABC123", std::nullopt},
        {"unknown bay: still read", 200, "ABC123", "ABC123"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // A nonzero error id right behind the SKU bytes must not leak into it.
        const EngineStatus s = parsed(EngineReply{.bay = c.bay, .sku = c.sku_bytes, .error_id = 0x41414141}.bytes());
        EXPECT_EQ(s.sku, c.sku);
    }
}

// The readiness rule, first match wins; each case differs from an idle, ready printer.
TEST(Lw550Report, ReadinessRuleInItsOrder) {
    struct Case {
        const char* name;
        EngineReply reply;
        std::optional<std::string> reason;  // none: ready
    };
    const Case cases[] = {
        {"idle, head ok, media ok, voltage ok", {}, std::nullopt},
        {"printing with the bay open", {.state = 1, .bay = 1}, std::nullopt},
        {"busy with an overheated head and an error id", {.state = 4, .head = 1, .error_id = 3}, std::nullopt},
        {"error", {.state = 2}, "error"},
        {"cancel before the bay", {.state = 3, .bay = 1}, "cancel"},
        {"head overheated before the bay", {.head = 1, .bay = 1}, "overheated"},
        {"head status unknown", {.head = 2}, "status_unknown"},
        {"head byte out of range", {.head = 9}, "unknown"},
        {"bay open", {.bay = 1}, "bay_open"},
        {"no media", {.bay = 2}, "no_media"},
        {"media not inserted properly", {.bay = 3}, "media_not_inserted_properly"},
        {"media empty", {.bay = 5}, "media_empty"},
        {"media jammed", {.bay = 9}, "media_jammed"},
        {"counterfeit media", {.bay = 10}, "media_counterfeit"},
        {"bay unknown passes", {.bay = 0}, std::nullopt},
        {"media present, state unknown passes", {.bay = 4}, std::nullopt},
        {"media critically low passes", {.bay = 6}, std::nullopt},
        {"media low passes", {.bay = 7}, std::nullopt},
        {"bay byte out of range passes", {.bay = 200}, std::nullopt},
        {"bay before voltage", {.bay = 5, .voltage = 4}, "media_empty"},
        {"voltage critically low", {.voltage = 3}, "critically_low"},
        {"voltage too low for printing, before an error id", {.error_id = 1, .voltage = 4}, "too_low_for_printing"},
        {"voltage low passes", {.voltage = 2}, std::nullopt},
        {"voltage unknown passes", {.voltage = 0x37}, std::nullopt},
        {"idle with error id 17", {.error_id = 17}, "error"},
        {"error id before the print lock", {.state = 5, .error_id = 17}, "error"},
        {"no print lock", {.state = 5}, "no_lock"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const DymoLw report = build_lw550_report(parsed(c.reply.bytes()));
        EXPECT_EQ(report.readiness, c.reason ? Readiness::not_ready(*c.reason) : Readiness::ready());
    }
}

// The JSON web pages read, field names, nulls and key order included.
TEST(DymoStatusJson, EachReportWritesItsExactText) {
    const DymoLw with_sku = build_lw550_report(parsed(EngineReply{.state = 0,
                                                                  .job_id = 77,
                                                                  .label_index = 2,
                                                                  .density = 50,
                                                                  .bay = 7,
                                                                  .sku = "30252",
                                                                  .label_count = 120,
                                                                  .eps = 1,
                                                                  .voltage = 2}
                                                          .bytes()));
    EXPECT_EQ(to_json_text(with_sku), R"({"eps_present":true,"error_id":0,"label_count":120,"label_index":2,)"
                                      R"("main_bay_status":"media_low","print_density":50,"print_head_status":"ok",)"
                                      R"("print_head_voltage":"low","print_job_id":77,"print_status":"idle",)"
                                      R"("protocol":"dymo-lw","readiness":{"ready_to_print":true},"sku":"30252"})");

    const DymoLw no_lock = build_lw550_report(parsed(EngineReply{.state = 5, .bay = 2}.bytes()));
    EXPECT_EQ(to_json_text(no_lock), R"({"eps_present":false,"error_id":0,"label_count":0,"label_index":0,)"
                                     R"("main_bay_status":"no_media","print_density":0,"print_head_status":"ok",)"
                                     R"("print_head_voltage":"ok","print_job_id":0,"print_status":"no_lock",)"
                                     R"("protocol":"dymo-lw","readiness":{"ready_to_print":false,"reason":"no_media"},)"
                                     R"("sku":null})");

    EXPECT_EQ(to_json_text(decode_d1_status(0x54)),
              R"({"cassette_inserted":true,"cutter_jammed":true,"general_error":true,)"
              R"("protocol":"dymo","raw":84})");
    EXPECT_EQ(to_json_text(decode_classic_lw_status(0x21)),
              R"({"no_paper":true,"paper_jam":false,"printer_error":false,)"
              R"("protocol":"dymolwclassic","raw":33,"ready":true,"top_of_form":false})");
}
