#include "pvo-status/brother_status.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "pvo-status/status_json.hpp"

using namespace pvo_status;

namespace {

// A 32-byte status reply with a good header and every other byte 0, plus the bytes a case
// sets by offset.
struct Reply {
    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(32, 0);

    Reply(std::initializer_list<std::pair<std::size_t, std::uint8_t>> set = {}) {
        bytes[0] = 0x80;
        bytes[1] = 0x20;
        bytes[2] = 0x42;
        for (auto [at, value] : set) bytes[at] = value;
    }
};

// A QL with continuous 62 mm tape, waiting, no errors: ready.
Reply ready_ql(std::initializer_list<std::pair<std::size_t, std::uint8_t>> set = {}) {
    Reply r({{4, '7'}, {10, 62}, {11, 0x0A}});
    for (auto [at, value] : set) r.bytes[at] = value;
    return r;
}

// A PT with 12 mm laminated tape, waiting, no errors: ready.
Reply ready_pt(std::uint8_t model, std::initializer_list<std::pair<std::size_t, std::uint8_t>> set = {}) {
    Reply r({{4, model}, {10, 12}, {11, 0x01}});
    for (auto [at, value] : set) r.bytes[at] = value;
    return r;
}

BrotherQl ql(const Reply& reply) {
    auto parsed = parse_brother_ql_status(reply.bytes);
    EXPECT_TRUE(parsed.has_value()) << parsed.error();
    return parsed.value_or(BrotherQl{});
}

BrotherPt pt(const Reply& reply) {
    auto parsed = parse_brother_pt_status(reply.bytes);
    EXPECT_TRUE(parsed.has_value()) << parsed.error();
    return parsed.value_or(BrotherPt{});
}

}  // namespace

TEST(BrotherStatus, RefusesShortRepliesAndWrongHeaders) {
    struct Case {
        std::vector<std::uint8_t> bytes;
        std::string ql_error;
        std::string pt_error;
    };
    std::vector<std::uint8_t> short_reply = Reply().bytes;
    short_reply.pop_back();
    auto header = [](std::uint8_t b0, std::uint8_t b1, std::uint8_t b2) {
        return Reply({{0, b0}, {1, b1}, {2, b2}}).bytes;
    };
    const Case cases[] = {
        {short_reply, "short Brother QL status reply (31 bytes, expected 32)",
         "short Brother PT status reply (31 bytes, expected 32)"},
        {{},
         "short Brother QL status reply (0 bytes, expected 32)",
         "short Brother PT status reply (0 bytes, expected 32)"},
        {header(0x80, 0x20, 0x43), "unexpected Brother QL status header 80:20:43",
         "unexpected Brother PT status header 80:20:43"},
        {header(0x81, 0x20, 0x42), "unexpected Brother QL status header 81:20:42",
         "unexpected Brother PT status header 81:20:42"},
        {header(0x00, 0xAB, 0x0F), "unexpected Brother QL status header 00:ab:0f",
         "unexpected Brother PT status header 00:ab:0f"},
    };
    for (const auto& c : cases) {
        auto q = parse_brother_ql_status(c.bytes);
        ASSERT_FALSE(q.has_value());
        EXPECT_EQ(q.error().message, c.ql_error);
        auto p = parse_brother_pt_status(c.bytes);
        ASSERT_FALSE(p.has_value());
        EXPECT_EQ(p.error().message, c.pt_error);
    }
}

TEST(BrotherStatus, BytesAfterTheReplyAreIgnored) {
    Reply longer = ready_ql();
    longer.bytes.resize(64, 0xFF);
    EXPECT_EQ(ql(longer), ql(ready_ql()));
}

TEST(BrotherStatus, StatusAndPhaseTypes) {
    const std::pair<std::uint8_t, BrotherStatusType> statuses[] = {
        {0x00, BrotherStatusType::Reply},       {0x01, BrotherStatusType::PrintComplete},
        {0x02, BrotherStatusType::Error},       {0x03, BrotherStatusType::Unknown},
        {0x04, BrotherStatusType::TurnedOff},   {0x05, BrotherStatusType::Notification},
        {0x06, BrotherStatusType::PhaseChange}, {0x07, BrotherStatusType::Unknown},
        {0xFF, BrotherStatusType::Unknown},
    };
    for (auto [code, type] : statuses) {
        EXPECT_EQ(ql(ready_ql({{18, code}})).status_type, type) << int(code);
        EXPECT_EQ(pt(ready_pt('g', {{18, code}})).status_type, type) << int(code);
    }
    const std::pair<std::uint8_t, BrotherPhaseType> phases[] = {
        {0, BrotherPhaseType::Waiting},
        {1, BrotherPhaseType::Printing},
        {2, BrotherPhaseType::Unknown},
        {0xFF, BrotherPhaseType::Unknown},
    };
    for (auto [code, type] : phases) {
        EXPECT_EQ(ql(ready_ql({{19, code}})).phase_type, type) << int(code);
        EXPECT_EQ(pt(ready_pt('g', {{19, code}})).phase_type, type) << int(code);
    }
}

TEST(BrotherStatus, ModelCodeTexts) {
    struct Case {
        std::uint8_t code;
        std::string ql_text;
        std::string pt_text;
    };
    const Case cases[] = {
        {'1', "QL-500", "1"},     {'9', "QL-810W", "9"},    {'A', "QL-820NWB", "A"}, {'C', "QL-1100", "C"},
        {'D', "QL-1110NWB", "D"}, {'G', "QL-1115NWB", "G"}, {'B', "B", "B"},  // between two listed QL codes
        {'d', "d", "PT-H500"},    {'h', "h", "PT-P750W"},   {'o', "o", "PT-P900W"},  {'p', "p", "PT-P950NW"},
        {'q', "q", "PT-P900"},    {'x', "x", "PT-P910BT"},  {'Z', "Z", "Z"},         {'!', "!", "!"},
        {'~', "~", "~"},          {0x05, "0x05", "0x05"},   {0x20, "0x20", "0x20"},  // space is not printable here
        {0x7F, "0x7F", "0x7F"},   {0xFE, "0xFE", "0xFE"},   {0x00, "0x00", "0x00"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ql(Reply({{4, c.code}})).model_code, c.ql_text) << int(c.code);
        EXPECT_EQ(pt(Reply({{4, c.code}})).model_code, c.pt_text) << int(c.code);
    }
}

TEST(BrotherStatus, MediaTypes) {
    const std::pair<std::uint8_t, QlMediaType> ql_media[] = {
        {0x00, QlMediaType::NoMedia}, {0x0A, QlMediaType::Continuous}, {0x4A, QlMediaType::Continuous},
        {0x0B, QlMediaType::DieCut},  {0x4B, QlMediaType::DieCut},     {0x01, QlMediaType::Unknown},
        {0xFF, QlMediaType::Unknown},
    };
    for (auto [code, type] : ql_media) EXPECT_EQ(ql(Reply({{11, code}})).media_type, type) << int(code);

    const std::pair<std::uint8_t, PtMediaType> pt_media[] = {
        {0x00, PtMediaType::NoMedia},          {0x01, PtMediaType::LaminatedTape},
        {0x02, PtMediaType::Unknown},          {0x03, PtMediaType::NonLaminatedTape},
        {0x04, PtMediaType::FabricTape},       {0x11, PtMediaType::HeatShrinkTube2To1},
        {0x13, PtMediaType::FleTape},          {0x14, PtMediaType::FlexibleIdTape},
        {0x15, PtMediaType::SatinTape},        {0x17, PtMediaType::HeatShrinkTube3To1},
        {0xFF, PtMediaType::IncompatibleTape}, {0x0A, PtMediaType::Unknown},
    };
    for (auto [code, type] : pt_media) EXPECT_EQ(pt(Reply({{11, code}})).media_type, type) << int(code);
}

// Errors come in table order (byte 8, then byte 9), whatever the bit positions.
TEST(BrotherStatus, QlErrorListOrder) {
    struct Case {
        std::uint8_t byte8, byte9;
        std::vector<QlError> errors;
    };
    const Case cases[] = {
        {0x00, 0x00, {}},
        {0x23, 0x00, {QlError::NoMedia, QlError::EndOfMedia, QlError::PrinterTurnedOff}},
        {0xFF,
         0x00,
         {QlError::NoMedia, QlError::EndOfMedia, QlError::CutterJam, QlError::PrinterInUse, QlError::PrinterTurnedOff}},
        {0x00,
         0xFF,
         {QlError::ReplaceMedia, QlError::ExpansionBufferFull, QlError::CommunicationError, QlError::CoverOpen,
          QlError::MediaCannotBeFed, QlError::SystemError}},
        {0xC8, 0x28, {}},  // bits without an entry add nothing
        {0x04, 0x10, {QlError::CutterJam, QlError::CoverOpen}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ql(ready_ql({{8, c.byte8}, {9, c.byte9}})).errors, c.errors) << int(c.byte8) << "/" << int(c.byte9);
    }
}

// The long table belongs to models o, p, q and x; every other model code has the short one.
TEST(BrotherStatus, PtErrorTableFollowsModelCode) {
    struct Case {
        std::uint8_t model, byte8, byte9;
        std::vector<PtError> errors;
    };
    const Case cases[] = {
        {'g', 0x00, 0x02, {}},
        {'p', 0x00, 0x02, {PtError::ExpansionBufferFull}},
        {'g',
         0xFF,
         0xFF,
         {PtError::NoMedia, PtError::CutterJam, PtError::WeakBatteries, PtError::HighVoltageAdapter,
          PtError::ReplaceMedia, PtError::CoverOpen, PtError::Overheating}},
        {'o',
         0xFF,
         0xFF,
         {PtError::NoMedia, PtError::EndOfMedia, PtError::CutterJam, PtError::WeakBatteries,
          PtError::HighVoltageAdapter, PtError::ReplaceMedia, PtError::ExpansionBufferFull, PtError::CommunicationError,
          PtError::CommunicationBufferFull, PtError::CoverOpen, PtError::Overheating, PtError::BlackMarkingNotDetected,
          PtError::SystemError}},
        {'q', 0x02, 0x80, {PtError::EndOfMedia, PtError::SystemError}},
        {'x', 0x02, 0x80, {PtError::EndOfMedia, PtError::SystemError}},
        {'Z', 0x02, 0x80, {}},
        {0x05, 0x01, 0x00, {PtError::NoMedia}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(pt(ready_pt(c.model, {{8, c.byte8}, {9, c.byte9}})).errors, c.errors)
            << c.model << " " << int(c.byte8) << "/" << int(c.byte9);
    }
}

// After the table bits: the extended error, the notification and phase that mean an open
// cover, incompatible tape; each word at most once.
TEST(BrotherStatus, PtExtraErrorsInOrderWithoutRepeats) {
    struct Case {
        const char* name;
        Reply reply;
        std::vector<PtError> errors;
    };
    const Case cases[] = {
        {"extended 10", ready_pt('g', {{7, 0x10}}), {PtError::FleTapeEnd}},
        {"extended 1D", ready_pt('g', {{7, 0x1D}}), {PtError::HighResDraftError}},
        {"extended 1E", ready_pt('g', {{7, 0x1E}}), {PtError::AdapterInsertError}},
        {"extended unlisted", ready_pt('g', {{7, 0x11}}), {}},
        {"extended after bits", ready_pt('g', {{7, 0x10}, {8, 0x01}}), {PtError::NoMedia, PtError::FleTapeEnd}},
        {"notification and phase 20 both mean cover open",
         ready_pt('g', {{20, 0x00}, {21, 0x14}, {22, 1}}),
         {PtError::CoverOpen}},
        {"cover bit already listed", ready_pt('g', {{9, 0x10}, {22, 1}}), {PtError::CoverOpen}},
        {"phase 20 alone", ready_pt('g', {{20, 0x00}, {21, 0x14}}), {PtError::CoverOpen}},
        {"phase number is big-endian", ready_pt('g', {{20, 0x14}, {21, 0x00}}), {}},
        {"notification 2", ready_pt('g', {{22, 2}}), {}},
        {"incompatible tape without error bits", ready_pt('g', {{11, 0xFF}}), {PtError::IncompatibleMedia}},
        {"incompatible tape and extended 21", ready_pt('g', {{7, 0x21}, {11, 0xFF}}), {PtError::IncompatibleMedia}},
        {"extended then cover then incompatible",
         ready_pt('p', {{7, 0x1E}, {11, 0xFF}, {22, 1}, {8, 0x08}}),
         {PtError::WeakBatteries, PtError::AdapterInsertError, PtError::CoverOpen, PtError::IncompatibleMedia}},
    };
    for (const auto& c : cases) EXPECT_EQ(pt(c.reply).errors, c.errors) << c.name;
}

// An error status with an empty list names missing tape only when the tape reads missing.
TEST(BrotherStatus, PtErrorStatusWithoutErrorBits) {
    struct Case {
        std::uint8_t width, media;
        std::vector<PtError> errors;
        std::string state;
    };
    const Case cases[] = {
        {12, 0x01, {}, "error"},
        {0, 0x01, {PtError::NoMedia}, "no_media"},
        {12, 0x00, {PtError::NoMedia}, "no_media"},
    };
    for (const auto& c : cases) {
        const auto report = pt(ready_pt('g', {{10, c.width}, {11, c.media}, {18, 0x02}}));
        EXPECT_EQ(report.errors, c.errors) << int(c.width) << "/" << int(c.media);
        EXPECT_EQ(report.summary.state, c.state);
        EXPECT_EQ(report.summary.severity, Severity::Error);
        EXPECT_EQ(report.readiness, Readiness::not_ready(c.state));
    }
    // Outside an error status, missing tape is not an error but a summary.
    const auto idle = pt(ready_pt('g', {{10, 0}}));
    EXPECT_TRUE(idle.errors.empty());
    EXPECT_EQ(idle.summary, (StatusSummary{"no_media", Severity::Warning}));
}

// Each summary rule, first match wins, and the readiness that follows from it.
TEST(BrotherStatus, SummaryAndReadiness) {
    struct Case {
        const char* name;
        Reply reply;
        StatusSummary summary;
        Readiness readiness;
    };
    const auto ready = Readiness::ready();
    const Case cases[] = {
        {"cover open in an error status",
         ready_ql({{9, 0x10}, {18, 0x02}}),
         {"cover_open", Severity::Error},
         Readiness::not_ready("cover_open")},
        {"first error names the state",
         ready_ql({{8, 0x23}}),
         {"no_media", Severity::Error},
         Readiness::not_ready("no_media")},
        {"error beats print complete",
         ready_ql({{8, 0x04}, {18, 0x01}}),
         {"cutter_jam", Severity::Error},
         Readiness::not_ready("cutter_jam")},
        {"print complete", ready_ql({{18, 0x01}}), {"print_complete", Severity::Primary}, ready},
        {"print complete beats printing",
         ready_ql({{18, 0x01}, {19, 1}}),
         {"print_complete", Severity::Primary},
         ready},
        {"error status", ready_ql({{18, 0x02}}), {"error", Severity::Error}, Readiness::not_ready("error")},
        {"turned off", ready_ql({{18, 0x04}}), {"turned_off", Severity::Neutral}, Readiness::not_ready("turned_off")},
        {"printing", ready_ql({{19, 1}}), {"printing", Severity::Primary}, ready},
        {"printing without media", ready_ql({{10, 0}, {19, 1}}), {"printing", Severity::Primary}, ready},
        {"ready", ready_ql(), {"ready", Severity::Success}, ready},
        {"ready with unknown media type", ready_ql({{11, 0x33}}), {"ready", Severity::Success}, ready},
        {"notification status is judged by media", ready_ql({{18, 0x05}}), {"ready", Severity::Success}, ready},
        {"width 0", ready_ql({{10, 0}}), {"no_media", Severity::Warning}, Readiness::not_ready("no_media")},
        {"media type 0", ready_ql({{11, 0}}), {"no_media", Severity::Warning}, Readiness::not_ready("no_media")},
    };
    for (const auto& c : cases) {
        const auto report = ql(c.reply);
        EXPECT_EQ(report.summary, c.summary) << c.name;
        EXPECT_EQ(report.readiness, c.readiness) << c.name;
    }

    // PT media: incompatible tape is not media that can print.
    const auto pt_cases = {
        std::pair{ready_pt('g'), StatusSummary{"ready", Severity::Success}},
        std::pair{ready_pt('g', {{10, 0}}), StatusSummary{"no_media", Severity::Warning}},
        std::pair{ready_pt('g', {{11, 0x00}}), StatusSummary{"no_media", Severity::Warning}},
        std::pair{ready_pt('g', {{11, 0x02}}), StatusSummary{"ready", Severity::Success}},
        std::pair{ready_pt('g', {{11, 0xFF}}), StatusSummary{"incompatible_media", Severity::Error}},
        std::pair{ready_pt('g', {{18, 0x04}}), StatusSummary{"turned_off", Severity::Neutral}},
    };
    for (const auto& [reply, summary] : pt_cases) EXPECT_EQ(pt(reply).summary, summary) << summary.state;
}

TEST(BrotherStatus, PlainFieldsComeFromTheirBytes) {
    const auto q = ql(ready_ql({{17, 100}, {25, 0x80}}));
    EXPECT_EQ(q.media_width_mm, 62);
    EXPECT_EQ(q.media_length_mm, 100);
    EXPECT_TRUE(q.two_color_roll);
    EXPECT_FALSE(ql(ready_ql({{25, 0x7F}})).two_color_roll);
}

TEST(BrotherStatus, QlJsonIsPinned) {
    const auto report = ql(ready_ql({{4, 'A'}, {9, 0x10}, {17, 29}, {18, 0x02}, {25, 0x81}}));
    EXPECT_EQ(to_json_text(report),
              R"({"errors":["cover_open"],"media_length_mm":29,"media_type":"continuous",)"
              R"("media_width_mm":62,"model_code":"QL-820NWB","phase_type":"waiting",)"
              R"("protocol":"brother-ql","readiness":{"ready_to_print":false,"reason":"cover_open"},)"
              R"("status_type":"error","summary":{"severity":"error","state":"cover_open"},)"
              R"("two_color_roll":true})");
}

TEST(BrotherStatus, PtJsonIsPinned) {
    const auto report =
        pt(ready_pt(0x05, {{6, 3}, {17, 0}, {19, 1}, {20, 0x01}, {21, 0x02}, {22, 4}, {24, 0x01}, {25, 0x08}}));
    EXPECT_EQ(to_json_text(report), R"({"battery_level":3,"errors":[],"extended_error":0,"media_length_mm":0,)"
                                    R"("media_type":"laminated_tape","media_width_mm":12,"model_code":"0x05",)"
                                    R"("notification_number":4,"phase_number":258,"phase_type":"printing",)"
                                    R"("protocol":"brother-pt","readiness":{"ready_to_print":true},)"
                                    R"("status_type":"reply","summary":{"severity":"primary","state":"printing"},)"
                                    R"("tape_color_id":1,"text_color_id":8})");
}
