#include "pvo-status/status_json.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>

using namespace pvo_status;

namespace {

// The keys of an object in the order the writer emits them.
std::vector<std::string> keys_of(const nlohmann::json& object) {
    std::vector<std::string> keys;
    for (const auto& item : object.items()) keys.push_back(item.key());
    return keys;
}

}  // namespace

// One report of every variant with its exact compact text: tags, key order, words, integers,
// null versus absent.
TEST(StatusJson, EveryVariantWritesItsExactText) {
    struct Case {
        PrintStatus status;
        std::string_view text;
    };
    DymoLw lw;
    lw.print_status = LwPrintState::NoLock;
    lw.print_job_id = 4000000000u;
    lw.label_index = 65535;
    lw.print_head_status = PrintHeadStatus::StatusUnknown;
    lw.print_density = 100;
    lw.main_bay_status = MediaBayStatus::MediaNotInsertedProperly;
    lw.error_id = 7;
    lw.label_count = 12;
    lw.eps_present = true;
    lw.print_head_voltage = PrintHeadVoltage::TooLowForPrinting;
    lw.readiness = Readiness::not_ready("print_head_voltage");

    BrotherQl ql{BrotherStatusType::PhaseChange,
                 BrotherPhaseType::Printing,
                 QlMediaType::DieCut,
                 62,
                 29,
                 "4F",
                 true,
                 {QlError::CoverOpen, QlError::NoMedia},
                 {"Cover open", Severity::Error},
                 Readiness::not_ready("cover_open")};

    BrotherPt pt{BrotherStatusType::Reply,
                 BrotherPhaseType::Waiting,
                 PtMediaType::HeatShrinkTube2To1,
                 12,
                 0,
                 "pt",
                 3,
                 0,
                 1,
                 258,
                 1,
                 8,
                 {},
                 {"Ready", Severity::Success},
                 Readiness::ready()};

    UsbPrinterId model_only;
    model_only.model = "LP-1";
    model_only.vendor_id = 0x0922;

    const Case cases[] = {
        {lw, R"({"eps_present":true,"error_id":7,"label_count":12,"label_index":65535,)"
             R"("main_bay_status":"media_not_inserted_properly","print_density":100,)"
             R"("print_head_status":"status_unknown","print_head_voltage":"too_low_for_printing",)"
             R"("print_job_id":4000000000,"print_status":"no_lock","protocol":"dymo-lw",)"
             R"("readiness":{"ready_to_print":false,"reason":"print_head_voltage"},"sku":null})"},
        {Dymo{0x48, true, false, true}, R"({"cassette_inserted":true,"cutter_jammed":false,"general_error":true,)"
                                        R"("protocol":"dymo","raw":72})"},
        {DymoLwClassic{255, true, false, true, false, true},
         R"({"no_paper":true,"paper_jam":false,"printer_error":true,)"
         R"("protocol":"dymolwclassic","raw":255,"ready":true,"top_of_form":false})"},
        {ql, R"({"errors":["cover_open","no_media"],"media_length_mm":29,"media_type":"die_cut",)"
             R"("media_width_mm":62,"model_code":"4F","phase_type":"printing",)"
             R"("protocol":"brother-ql","readiness":{"ready_to_print":false,"reason":"cover_open"},)"
             R"("status_type":"phase_change","summary":{"severity":"error","state":"Cover open"},)"
             R"("two_color_roll":true})"},
        {pt, R"({"battery_level":3,"errors":[],"extended_error":0,"media_length_mm":0,)"
             R"("media_type":"heat_shrink_tube2_to1","media_width_mm":12,"model_code":"pt",)"
             R"("notification_number":1,"phase_number":258,"phase_type":"waiting",)"
             R"("protocol":"brother-pt","readiness":{"ready_to_print":true},)"
             R"("status_type":"reply","summary":{"severity":"success","state":"Ready"},)"
             R"("tape_color_id":1,"text_color_id":8})"},
        {Zpl{false, false, false, false, {"first", "second"}, Readiness::ready()},
         R"({"corrupt_ram":false,"head_open":false,"paper_out":false,"pause":false,)"
         R"("protocol":"zpl","raw_lines":["first","second"],"readiness":{"ready_to_print":true}})"},
        {model_only, R"({"model":"LP-1","protocol":"usb-printer-id","vendor_id":2338})"},
        {UsbPrinterId{"ACME", "LP-1", "Label printer", "TSPL", "LP-1 USB", "Acme Inc", "S/N 1", 0xFFFF, 0,
                      "MFG:ACME;MDL:LP-1;"},
         R"({"command_set":"TSPL","description":"Label printer","manufacturer":"ACME",)"
         R"("model":"LP-1","product":"LP-1 USB","product_id":0,"protocol":"usb-printer-id",)"
         R"("raw_device_id":"MFG:ACME;MDL:LP-1;","serial_number":"S/N 1",)"
         R"("usb_manufacturer":"Acme Inc","vendor_id":65535})"},
        {Niimbot{{2, 50, 100}, std::nullopt},
         R"({"device_info":null,"heartbeat":null,"media_barcode":null,"media_length_mm":null,)"
         R"("media_width_mm":null,"print_status":{"page":2,"progress1":50,"progress2":100},)"
         R"("protocol":"niimbot","rfid":null})"},
        {Niimbot{{1, 0, 0}, Readiness::ready()},
         R"({"device_info":null,"heartbeat":null,"media_barcode":null,"media_length_mm":null,)"
         R"("media_width_mm":null,"print_status":{"page":1,"progress1":0,"progress2":0},)"
         R"("protocol":"niimbot","readiness":{"ready_to_print":true},"rfid":null})"},
        {Gpgl{GpglState::Cancelled, Readiness::not_ready("cancelled")},
         R"({"protocol":"gpgl","readiness":{"ready_to_print":false,"reason":"cancelled"},)"
         R"("state":"cancelled"})"},
        {LetraTag{1, 4, true, false, true, false, true, false, 0, true},
         R"({"battery_level":0,"battery_low":false,"battery_too_low":true,"busy_locked":false,)"
         R"("carbon_type":true,"cassette_id":4,"charging":true,"cutter_jam":false,)"
         R"("protocol":"letratag","revision":1,"tape_jam":true})"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(to_json_text(c.status), c.text);
        EXPECT_EQ(to_json(c.status).dump(), c.text);
    }
}

TEST(StatusJson, SkuIsNullWhenAbsentAndTextWhenPresent) {
    DymoLw lw;
    EXPECT_TRUE(to_json(lw).at("sku").is_null());
    lw.sku = "30252";
    EXPECT_EQ(to_json(lw).at("sku"), "30252");
}

TEST(StatusJson, KeysSortByteWiseWithPrefixesFirst) {
    // "media_length_mm" < "media_type" < "media_width_mm"; "battery_low" < "battery_too_low";
    // "raw" sorts before "ready" and "ready_to_print" before "reason".
    const auto j = to_json(DymoLwClassic{});
    EXPECT_EQ(keys_of(j), (std::vector<std::string>{"no_paper", "paper_jam", "printer_error", "protocol", "raw",
                                                    "ready", "top_of_form"}));
    const auto nested = to_json(Gpgl{GpglState::Paused, Readiness::not_ready("paused")});
    EXPECT_EQ(keys_of(nested.at("readiness")), (std::vector<std::string>{"ready_to_print", "reason"}));
}

TEST(StatusJson, TextIsEscapedAndNonAsciiKeptAsUtf8) {
    Zpl zpl;
    zpl.raw_lines = {
        "\x02"
        "030,0,0\x03",  // STX/ETX control bytes become \u escapes
        "quote \" back \\ tab\t",
        "\xC3\xA9tiquette \xE2\x98\x83",  // non-ASCII stays as UTF-8
        "bad \xFF\xC3 end",               // invalid bytes become U+FFFD, never an exception
    };
    const std::string text = to_json_text(zpl);
    EXPECT_NE(text.find(R"(["\u0002030,0,0\u0003","quote \" back \\ tab\t",)"
                        "\"\xC3\xA9tiquette \xE2\x98\x83\","
                        "\"bad \xEF\xBF\xBD\xEF\xBF\xBD end\"]"),
              std::string::npos)
        << text;
    // The value itself holds only valid UTF-8, so a strict dump does not throw either.
    EXPECT_NO_THROW((void)to_json(zpl).dump());
}

TEST(StatusJson, InvalidUtf8InEveryTextFieldIsReplaced) {
    const std::string bad = "x\x80y";
    const std::string replaced = "x\xEF\xBF\xBDy";
    UsbPrinterId id{bad, bad, bad, bad, bad, bad, bad, std::nullopt, std::nullopt, bad};
    const auto j = to_json(id);
    for (const auto& item : j.items()) {
        if (item.key() != "protocol") {
            EXPECT_EQ(item.value(), replaced) << item.key();
        }
    }
    BrotherQl ql;
    ql.model_code = bad;
    ql.summary.state = bad;
    ql.readiness = Readiness::not_ready(bad);
    const auto q = to_json(ql);
    EXPECT_EQ(q.at("model_code"), replaced);
    EXPECT_EQ(q.at("summary").at("state"), replaced);
    EXPECT_EQ(q.at("readiness").at("reason"), replaced);
    DymoLw lw;
    lw.sku = bad;
    EXPECT_EQ(to_json(lw).at("sku"), replaced);
}
