// The libusb road against USB printers emulated by umockdev: the real libusb enumerates the
// emulated sysfs, opens the device node and drives usbdevfs, whose ioctls the device model in
// usb_emulation.cpp answers.
#include <gtest/gtest.h>
#include <libusb.h>

#include <optional>
#include <string>
#include <vector>

#include "pvo-device/usb.hpp"
#include "test_bytes.hpp"
#include "usb_emulation.hpp"

namespace pvo_device {
namespace {

using Bytes = std::vector<std::uint8_t>;
using std::chrono::milliseconds;
using test::EmulatedPrinter;
using test::PrinterSetup;

class LibusbRoad : public test::EmulatedUsbTest {
protected:
    static UsbTarget target(std::optional<std::string> serial = std::nullopt, std::uint8_t interface = 0) {
        return UsbTarget{0x0922, 0x0028, std::move(serial), interface};
    }

    UsbConnection open_ok(const UsbTarget& t = target()) {
        auto c = open_usb(t, short_times());
        if (!c) ADD_FAILURE() << c.error().message();
        return std::move(*c);
    }
};

TEST_F(LibusbRoad, AbsentDeviceIsNotFoundWithItsIds) {
    if (delegated_) return;
    PrinterSetup other;
    other.product_id = 0x0029;
    bus_->add(other);
    auto c = open_usb(target(), short_times());
    ASSERT_FALSE(c);
    EXPECT_EQ(c.error().message(), "device not found: usb 0922:0028");
}

TEST_F(LibusbRoad, SerialMustMatchExactly) {
    if (delegated_) return;
    for (const char* serial : {"ABC123", "Ünï-42✓"}) {
        PrinterSetup setup;
        setup.serial = serial;
        bus_->add(setup);
    }
    struct Case {
        std::optional<std::string> asked;
        bool opens;
    };
    for (const Case& c : std::vector<Case>{{std::nullopt, true},
                                           {"ABC123", true},
                                           {"abc123", false},
                                           {"ABC12", false},
                                           {"Ünï-42✓", true},
                                           {"Uni-42", false}}) {
        SCOPED_TRACE(c.asked.value_or("(none)"));
        auto opened = open_usb(target(c.asked), short_times());
        EXPECT_EQ(opened.has_value(), c.opens);
        if (opened) {
            EXPECT_EQ(opened->road(), UsbConnection::Road::Libusb);
        } else {
            EXPECT_EQ(opened.error().message(), "device not found: usb 0922:0028");
        }
    }
}

// A serial is looked up without opening any device: only the device that matches is opened.
// So a printer with the same ids that cannot be opened neither turns "not found" into an
// opening error nor is touched for another's serial; when it is the one asked for, its opening
// error is the answer.
TEST_F(LibusbRoad, OnlyTheDeviceWithTheSerialIsOpened) {
    if (delegated_) return;
    const auto printers = test::add_same_id_printers(*bus_);
    struct Case {
        const char* asked;
        std::optional<std::string> error;  // none: it opens
        std::size_t free_opens;            // times the "FREE" printer was opened
    };
    const Case cases[] = {
        {"MISSING", "device not found: usb 0922:0028", 0},
        {"FREE", std::nullopt, 1},
        {"LOCKED", "transport error: opening device: " + std::string(libusb_strerror(LIBUSB_ERROR_NO_DEVICE)), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.asked);
        const std::size_t opens_before = printers.free.opens();
        auto opened = open_usb(target(c.asked), short_times());
        if (c.error) {
            ASSERT_FALSE(opened.has_value());
            EXPECT_EQ(opened.error().message(), *c.error);
        } else {
            EXPECT_TRUE(opened.has_value()) << opened.error().message();
        }
        EXPECT_EQ(printers.free.opens() - opens_before, c.free_opens);
    }
}

TEST_F(LibusbRoad, ClaimDetachesTheKernelDriverAndReleaseGivesItBack) {
    if (delegated_) return;
    EmulatedPrinter& printer = bus_->add({});
    {
        UsbConnection c = open_ok();
        EXPECT_EQ(printer.events(), std::vector<std::string>{"claim, kernel driver detached"});
    }
    EXPECT_EQ(printer.events(),
              (std::vector<std::string>{"claim, kernel driver detached", "release", "kernel driver attached"}));
}

TEST_F(LibusbRoad, MissingEndpointOrInterfaceIsNamed) {
    if (delegated_) return;
    PrinterSetup out_only;
    out_only.bulk_in = false;
    bus_->add(out_only);
    auto no_in = open_usb(target(), short_times());
    ASSERT_FALSE(no_in);
    EXPECT_EQ(no_in.error().message(), "transport error: no bulk IN endpoint on usb interface 0");

    auto no_interface = open_usb(target(std::nullopt, 1), short_times());
    ASSERT_FALSE(no_interface);
    EXPECT_EQ(no_interface.error().message(), "transport error: usb interface 1 not in configuration");
}

TEST_F(LibusbRoad, UnconfiguredDeviceIsRefused) {
    if (delegated_) return;
    PrinterSetup unconfigured;
    unconfigured.configured = false;
    bus_->add(unconfigured);
    auto c = open_usb(target(), short_times());
    ASSERT_FALSE(c);
    EXPECT_EQ(c.error().message(), "transport error: reading active usb configuration: device is not configured");
}

TEST_F(LibusbRoad, WritesAllBytesInOneTransferAndNoBytesAsAZeroLengthOne) {
    if (delegated_) return;
    EmulatedPrinter& printer = bus_->add({});
    UsbConnection c = open_ok();
    const Bytes label = test::pattern(1000);
    ASSERT_TRUE(usb_write(c, label));
    ASSERT_TRUE(usb_write(c, {}));
    EXPECT_EQ(printer.writes(), (std::vector<Bytes>{label, Bytes{}}));
}

TEST_F(LibusbRoad, WriteThatDoesNotFinishInTimeIsCancelled) {
    if (delegated_) return;
    EmulatedPrinter& printer = bus_->add({});
    printer.stall_writes();
    UsbConnection c = open_ok();
    auto r = usb_write(c, Bytes{1, 2, 3});
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().message(), "transport error: bulk out: transfer was cancelled");
}

struct ReadCase {
    const char* name;
    std::uint16_t packet;
    std::vector<Bytes> replies;
    std::size_t max_len;
    Bytes expected;
};

TEST_F(LibusbRoad, ReadReturnsEveryByteOfTheReply) {
    if (delegated_) return;
    const Bytes long_reply = test::pattern(300);
    const std::vector<ReadCase> cases = {
        {"exactly max_len", 64, {{1, 2, 3, 4}}, 4, {1, 2, 3, 4}},
        {"max_len in two transfers", 64, {{1, 2, 3}, {4, 5, 6}, {7}}, 6, {1, 2, 3, 4, 5, 6}},
        {"shorter, after the pause", 64, {{0x10, 0x20}}, 64, {0x10, 0x20}},
        {"longer, kept whole", 64, {{1, 2, 3, 4, 5, 6, 7, 8}}, 3, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"longer than a small ask, whole packets", 512, {long_reply}, 3, long_reply},
        {"nothing asked", 64, {{9}}, 0, {}},
    };
    // One emulated printer per case, told apart by product id, all plugged in before the first
    // is opened.
    std::vector<UsbTarget> targets;
    for (const ReadCase& rc : cases) {
        PrinterSetup setup;
        setup.product_id = static_cast<std::uint16_t>(0x0100 + targets.size());
        setup.packet = rc.packet;
        EmulatedPrinter& printer = bus_->add(setup);
        for (const auto& r : rc.replies) printer.queue_reply(r);
        targets.push_back(UsbTarget{setup.vendor_id, setup.product_id, std::nullopt, 0});
    }
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const ReadCase& rc = cases[i];
        SCOPED_TRACE(rc.name);
        UsbConnection c = open_ok(targets[i]);
        auto got = usb_read(c, rc.max_len);
        ASSERT_TRUE(got) << got.error().message();
        EXPECT_EQ(*got, rc.expected);
    }
}

TEST_F(LibusbRoad, ReadWithoutReplyFailsAtItsDeadline) {
    if (delegated_) return;
    bus_->add({});
    UsbConnection c = open_ok();
    auto got = usb_read(c, 32);
    ASSERT_FALSE(got);
    EXPECT_EQ(got.error().message(), "transport error: bulk in: transfer was cancelled");
}

}  // namespace
}  // namespace pvo_device
