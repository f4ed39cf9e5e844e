#include "pvo-status/device_id.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pvo_status {
namespace {

std::vector<std::uint8_t> bytes(std::string_view text) { return {text.begin(), text.end()}; }

std::vector<std::uint8_t> with_length(std::string_view body, std::size_t filler = 0) {
    const std::size_t length = body.size() + 2;
    std::vector<std::uint8_t> out{static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length & 0xFF)};
    out.insert(out.end(), body.begin(), body.end());
    out.insert(out.end(), filler, 0xEE);
    return out;
}

TEST(DeviceId, TrustedLengthEndsTheBodyBeforeFiller) {
    const auto id = parse_device_id(with_length("MFG:ACME;MDL:LP 200;CMD:TSPL;", 12));
    ASSERT_TRUE(id);
    EXPECT_EQ(id->manufacturer, "ACME");
    EXPECT_EQ(id->model, "LP 200");
    EXPECT_EQ(id->command_set, "TSPL");
    EXPECT_EQ(id->description, std::nullopt);
    EXPECT_EQ(id->raw, "MFG:ACME;MDL:LP 200;CMD:TSPL;");
}

TEST(DeviceId, UntrustedLengthSkipsTheTwoLengthBytesWhenAColonFollows) {
    // "MF" read as a length is far beyond the reply: the pairs start at byte 2, so the first
    // key is "G" and is ignored.
    const auto id = parse_device_id(bytes("MFG:X;MDL:Y"));
    ASSERT_TRUE(id);
    EXPECT_EQ(id->manufacturer, std::nullopt);
    EXPECT_EQ(id->model, "Y");
    EXPECT_EQ(id->raw, "G:X;MDL:Y");
}

TEST(DeviceId, KeysFoldToUpperCaseAndTheLaterPairWins) {
    struct Case {
        std::string body;
        std::optional<std::string> manufacturer, model, description, command_set;
    };
    const std::vector<Case> cases = {
        {"mfg:Acme;Mfg:Other", "Other", {}, {}, {}},
        {"MANUFACTURER: Printer ;MODEL:Z", {}, "Z", {}, {}},
        {"DES:;MDL:Z", {}, "Z", {}, {}},
        {"COMMAND SET:ZPL;commandset:EPL;DESCRIPTION: Label  ", {}, {}, "Label", "EPL"},
        {"  ;noColon; :v;k: ;MDL:Q", {}, "Q", {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        const auto id = parse_device_id(with_length(c.body));
        ASSERT_TRUE(id);
        EXPECT_EQ(id->manufacturer, c.manufacturer);
        EXPECT_EQ(id->model, c.model);
        EXPECT_EQ(id->description, c.description);
        EXPECT_EQ(id->command_set, c.command_set);
    }
}

TEST(DeviceId, Refusals) {
    const std::vector<std::vector<std::uint8_t>> refused = {
        {},           {0x00}, with_length("SN:1234;"), with_length("   "), bytes("no pairs here"),
        bytes("M:Z"),  // the colon sits in the length bytes: the only key is "M"
    };
    for (const auto& reply : refused) EXPECT_FALSE(parse_device_id(reply));
}

TEST(DeviceId, InvalidUtf8BecomesReplacementCharacters) {
    const auto id = parse_device_id(with_length("MDL:A\xFF"));
    ASSERT_TRUE(id);
    EXPECT_EQ(id->model, "A\xEF\xBF\xBD");
}

TEST(UsbPrinterIdCleaning, TrimsDropsEmptyPrinterAndZeroSerials) {
    UsbPrinterId report;
    report.manufacturer = " PRINTER ";
    report.model = "  ";
    report.product = " LP 200 ";
    report.usb_manufacturer = "Acme";
    report.serial_number = "0000";
    clean_usb_printer_id(report);
    EXPECT_EQ(report.manufacturer, std::nullopt);
    EXPECT_EQ(report.model, std::nullopt);
    EXPECT_EQ(report.product, "LP 200");
    EXPECT_EQ(report.usb_manufacturer, "Acme");
    EXPECT_EQ(report.serial_number, std::nullopt);

    UsbPrinterId kept;
    kept.serial_number = "00A0";
    clean_usb_printer_id(kept);
    EXPECT_EQ(kept.serial_number, "00A0");
}

}  // namespace
}  // namespace pvo_status
