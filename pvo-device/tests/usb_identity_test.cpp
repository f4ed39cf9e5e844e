// The identity read against USB printers emulated by umockdev: the real libusb lists, opens,
// claims and sends the GET_DEVICE_ID control request, which the device model answers.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "pvo-device/usb_identity.hpp"
#include "pvo-status/status_json.hpp"
#include "test_bytes.hpp"
#include "usb_emulation.hpp"

namespace pvo_device {
namespace {

using Bytes = std::vector<std::uint8_t>;
using pvo_status::Protocol;
using pvo_status::UsbPrinterId;
using test::EmulatedPrinter;
using test::PrinterSetup;

const std::vector<std::string> claimed_and_given_back{"claim, kernel driver detached", "release",
                                                      "kernel driver attached"};

// A Device ID with its two-byte length (42, counting itself: a body of 40 bytes ending in
// spaces) and filler behind it.
Bytes framed_device_id() {
    Bytes reply{0x00, 0x2A};
    const Bytes body = test::bytes_of("MFG:ACME;MDL:LP 200;CMD:TSPL;           ");
    reply.insert(reply.end(), body.begin(), body.end());
    reply.resize(reply.size() + 20, 0xEE);
    return reply;
}

class UsbIdentity : public test::EmulatedUsbTest {
protected:
    static UsbTarget target(std::optional<std::string> serial = std::nullopt) {
        return UsbTarget{0x0922, 0x0028, std::move(serial), 0};
    }

    UsbPrinterId identity(const UsbTarget& t = target()) {
        auto status = query_status_usb(Protocol::Tspl, t);
        if (!status) {
            ADD_FAILURE() << status.error().message();
            return {};
        }
        return std::get<UsbPrinterId>(*status);
    }
};

// As on the libusb road: the serial is looked up without opening any device, and only the
// device that matches is opened.
TEST_F(UsbIdentity, OnlyTheDeviceWithTheSerialIsOpened) {
    if (delegated_) return;
    PrinterSetup setup;
    setup.device_id = framed_device_id();
    const auto printers = test::add_same_id_printers(*bus_, setup);

    const auto missing = query_status_usb(Protocol::Tspl, target("MISSING"));
    ASSERT_FALSE(missing.has_value());
    EXPECT_EQ(missing.error().message(), "device not found: usb 0922:0028");
    EXPECT_EQ(printers.free.opens(), 0u);

    const auto locked = query_status_usb(Protocol::Tspl, target("LOCKED"));
    ASSERT_FALSE(locked.has_value());
    EXPECT_TRUE(locked.error().message().starts_with("transport error: opening device: ")) << locked.error();
    EXPECT_EQ(printers.free.opens(), 0u);

    EXPECT_EQ(identity(target("FREE")).serial_number, "FREE");
    EXPECT_EQ(printers.free.opens(), 1u);
    EXPECT_EQ(printers.free.device_id_requests(), std::vector<std::uint16_t>{0});
}

TEST_F(UsbIdentity, DeviceIdAndUsbStringsMakeTheReport) {
    if (delegated_) return;
    PrinterSetup setup;
    setup.manufacturer = "  Acme Labels ";
    setup.product = "LP 200";
    setup.serial = "00A0";
    setup.device_id = framed_device_id();
    EmulatedPrinter& printer = bus_->add(setup);

    UsbPrinterId expected;
    expected.manufacturer = "ACME";
    expected.model = "LP 200";
    expected.command_set = "TSPL";
    expected.product = "LP 200";
    expected.usb_manufacturer = "Acme Labels";
    expected.serial_number = "00A0";
    expected.vendor_id = 0x0922;
    expected.product_id = 0x0028;
    expected.raw_device_id = "MFG:ACME;MDL:LP 200;CMD:TSPL;";
    EXPECT_EQ(pvo_status::to_json_text(identity(target("00A0"))), pvo_status::to_json_text(expected));
    // Interface 0 is asked, claimed from the kernel's driver and handed back to it.
    EXPECT_EQ(printer.device_id_requests(), std::vector<std::uint16_t>{0});
    EXPECT_EQ(printer.events(), claimed_and_given_back);
}

TEST_F(UsbIdentity, UnreadableDeviceIdLeavesTheUsbFieldsAlone) {
    if (delegated_) return;
    PrinterSetup setup;
    setup.product = "LP 200";
    setup.manufacturer = "Printer";  // only a Device ID manufacturer of that word is dropped
    setup.serial = "0000";           // all zeros: dropped
    setup.device_id = test::bytes_of("\x00\x0BSN:1234;");
    bus_->add(setup);
    const auto status = query_status_usb(Protocol::Tspl, target());
    ASSERT_TRUE(status) << status.error().message();
    EXPECT_EQ(pvo_status::to_json_text(*status), R"({"product":"LP 200","product_id":40,"protocol":"usb-printer-id",)"
                                                 R"("usb_manufacturer":"Printer","vendor_id":2338})");
}

TEST_F(UsbIdentity, Failures) {
    if (delegated_) return;
    PrinterSetup stalls;  // answers no GET_DEVICE_ID
    stalls.serial = "ABC";
    EmulatedPrinter& printer = bus_->add(stalls);

    const auto missing = query_status_usb(Protocol::Tspl, target("abc"));
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().message(), "device not found: usb 0922:0028");

    const auto refused = query_status_usb(Protocol::Tspl, target("ABC"));
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().message(), "transport error: GET_DEVICE_ID: Pipe error");
    EXPECT_EQ(printer.events(), claimed_and_given_back);  // released after the failure too

    // Only tspl reads its identity this way; nothing is opened for another protocol.
    EXPECT_FALSE(query_status_usb(Protocol::Zpl, target("ABC")));
    EXPECT_EQ(printer.events(), claimed_and_given_back);
}

}  // namespace
}  // namespace pvo_device
