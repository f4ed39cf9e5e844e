// The printer-class road: interfaces found in a sysfs tree, nodes that are pseudo-terminals
// played by the test, opened and driven through open_usb, usb_write and usb_read.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "pvo-device/usb.hpp"
#include "pvo-device/usb_devices.hpp"
#include "test_bytes.hpp"
#include "usbprint_tree.hpp"

namespace pvo_device {
namespace {

using Bytes = std::vector<std::uint8_t>;
using std::chrono::milliseconds;
using test::PtyDevice;
using test::UsbprintTree;

class PrinterClassRoad : public ::testing::Test {
protected:
    UsbOptions options() const {
        UsbOptions o;
        o.sys_root = tree_.sys_root();
        o.dev_root = tree_.dev_root();
        o.timings = {milliseconds{100}, milliseconds{100}, milliseconds{40}};
        return o;
    }

    std::expected<UsbConnection, DeviceError> open(std::uint16_t product, std::optional<std::string> serial) {
        return open_usb(UsbTarget{0x0922, product, std::move(serial), 0}, options());
    }

    UsbConnection open_ok() {
        auto c = open(0x0028, std::nullopt);
        if (!c) ADD_FAILURE() << c.error().message();
        return std::move(*c);
    }

    UsbprintTree tree_;
};

TEST_F(PrinterClassRoad, OpensTheFirstInterfaceWhoseIdsAndSerialMatch) {
    std::map<std::string, PtyDevice*> nodes = {
        {"lp0", &tree_.add("lp0", "0922", "0028", "ABC123")},
        {"lp1", &tree_.add("lp1", "0922", "0028", "XYZ")},
        {"lp10", &tree_.add("lp10", "0922", "0029")},
        {"lp2", &tree_.add("lp2", "0922", "0029")},
    };
    struct Case {
        std::uint16_t product;
        std::optional<std::string> serial;
        std::optional<std::string> opens;  // the node that gets the bytes; none: not found
    };
    const std::vector<Case> cases = {
        {0x0028, std::nullopt, "lp0"},
        {0x0028, "ABC123", "lp0"},
        {0x0028, "abc123", "lp0"},  // ASCII case does not matter here
        {0x0028, "xyz", "lp1"},
        {0x0028, "AB", std::nullopt},   // same start, other length
        {0x0029, std::nullopt, "lp2"},  // lp2 comes before lp10
        {0x0029, "lp2", std::nullopt},  // no serial on the device
        {0x0030, std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.product) + " " + c.serial.value_or("(none)"));
        auto opened = open(c.product, c.serial);
        if (!c.opens) {
            ASSERT_FALSE(opened);
            EXPECT_EQ(opened.error().kind, DeviceError::Kind::NotFound);
            continue;
        }
        ASSERT_TRUE(opened) << opened.error().message();
        EXPECT_EQ(opened->road(), UsbConnection::Road::PrinterClass);
        const Bytes mark = test::bytes_of(c.serial.value_or("-"));
        ASSERT_TRUE(usb_write(*opened, mark));
        EXPECT_EQ(nodes.at(*c.opens)->receive(mark.size(), 1000), mark);
    }
}

TEST_F(PrinterClassRoad, ListingGivesEachInterfaceInNumberOrderWithItsDevice) {
    tree_.add("lp10", "0922", "0029");
    tree_.add("lp2", "0922", "0028", "ABC123");
    tree_.add("lp3", "0922", "002a", " SN 7 ");
    const std::vector<UsbprintInterface> expected = {
        {"lp2", {0x0922, 0x0028, "ABC123"}},
        {"lp3", {0x0922, 0x002A, " SN 7 "}},  // every character the device gives, as discovery lists it
        {"lp10", {0x0922, 0x0029, std::nullopt}},
    };
    EXPECT_EQ(list_usbprint(tree_.sys_root()), expected);
}

TEST_F(PrinterClassRoad, WithoutPrinterClassInterfacesTheDeviceIsNotFound) {
    std::filesystem::remove_all(tree_.sys_root() / "class");
    auto c = open(0x0028, std::nullopt);
    ASSERT_FALSE(c);
    EXPECT_EQ(c.error().message(), "device not found: usb 0922:0028");
}

TEST_F(PrinterClassRoad, FailedOpenOfTheMatchingNodeIsFinal) {
    tree_.add("lp0", "0922", "0028", std::nullopt, /*with_node=*/false);
    tree_.add("lp1", "0922", "0028");
    auto c = open(0x0028, std::nullopt);
    ASSERT_FALSE(c);
    EXPECT_EQ(c.error().message(), "transport error: opening USBPRINT device (No such file or directory)");
}

TEST_F(PrinterClassRoad, WritesEveryByteAndNothingForNoBytes) {
    PtyDevice& printer = tree_.add("lp0", "0922", "0028");
    UsbConnection c = open_ok();
    const Bytes label = test::pattern(20'000);
    ASSERT_TRUE(usb_write(c, {}));
    // The pty holds only a few kilobytes: the write goes on as the printer takes them.
    std::vector<std::uint8_t> received;
    std::thread reader([&] { received = printer.receive(label.size(), 2000); });
    auto written = usb_write(c, label);
    reader.join();
    ASSERT_TRUE(written) << written.error().message();
    EXPECT_EQ(received, label);
}

TEST_F(PrinterClassRoad, WriteThatDoesNotFinishInTimeFails) {
    tree_.add("lp0", "0922", "0028");  // a printer that takes nothing
    UsbConnection c = open_ok();
    auto r = usb_write(c, test::pattern(1 << 20));
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().message(), "transport error: USBPRINT write timed out");
}

TEST_F(PrinterClassRoad, ReadReturnsEveryByteOfTheReply) {
    struct Case {
        const char* name;
        Bytes reply;
        std::size_t max_len;
    };
    const std::vector<Case> cases = {
        {"exactly max_len", {1, 2, 3, 4}, 4},
        {"shorter, after the pause", {0x10, 0x20}, 64},
        {"longer, kept whole", {1, 2, 3, 4, 5, 6, 7, 8}, 3},
        {"in several reads", test::pattern(5000), 5000},
    };
    PtyDevice& printer = tree_.add("lp0", "0922", "0028");
    UsbConnection c = open_ok();
    for (const Case& rc : cases) {
        SCOPED_TRACE(rc.name);
        printer.send(rc.reply);
        auto got = usb_read(c, rc.max_len);
        ASSERT_TRUE(got) << got.error().message();
        EXPECT_EQ(*got, rc.reply);
    }
    printer.send(Bytes{9});
    auto nothing = usb_read(c, 0);
    ASSERT_TRUE(nothing);
    EXPECT_TRUE(nothing->empty());
    EXPECT_EQ(*usb_read(c, 1), Bytes{9}) << "a read of 0 bytes must leave the device alone";
}

TEST_F(PrinterClassRoad, TimeOutsWithoutLimitWork) {
    PtyDevice& printer = tree_.add("lp0", "0922", "0028");
    UsbOptions o = options();
    o.timings.write_timeout = o.timings.read_timeout = milliseconds::max();
    auto c = open_usb(UsbTarget{0x0922, 0x0028, std::nullopt, 0}, o);
    ASSERT_TRUE(c) << c.error().message();
    ASSERT_TRUE(usb_write(*c, Bytes{1, 2, 3}));
    EXPECT_EQ(printer.receive(3, 1000), (Bytes{1, 2, 3}));
    printer.send(Bytes{4, 5});
    EXPECT_EQ(*usb_read(*c, 2), (Bytes{4, 5}));
}

TEST_F(PrinterClassRoad, ReadWithoutReplyFailsAtItsDeadline) {
    tree_.add("lp0", "0922", "0028");
    UsbConnection c = open_ok();
    auto got = usb_read(c, 32);
    ASSERT_FALSE(got);
    EXPECT_EQ(got.error().message(), "transport error: bulk in: printer returned no status bytes");
}

}  // namespace
}  // namespace pvo_device
