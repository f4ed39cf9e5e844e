// Opening a request's device address, and reading a reply on each kind of device.
#include <gtest/gtest.h>

#include <limits>
#include <thread>

#include "job_test_devices.hpp"
#include "parvello/job_device.hpp"

namespace parvello {
namespace {

using namespace std::chrono_literals;
using pvo_device::OpenTransport;
using pvo_device::SerialTarget;
using pvo_device::TcpTarget;
using testing::Bytes;
using testing::LoopbackPrinter;
using testing::PtyDevice;
using testing::UsbprintTree;

Bytes counting(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i);
    return bytes;
}

// Network and serial addresses are only recorded: nothing is connected or opened.
TEST(OpenTransport, NetworkAndSerialAreRecordedWithoutIo) {
    LoopbackPrinter printer;
    auto tcp = open_transport(printer.address());
    ASSERT_TRUE(tcp.has_value());
    const auto& target = std::get<TcpTarget>(*tcp);
    EXPECT_EQ(target.host, "127.0.0.1");
    EXPECT_EQ(target.port, printer.address().port);
    EXPECT_FALSE(printer.has_unaccepted_connection());

    // Neither a host that does not resolve nor a port that does not exist fails here.
    EXPECT_TRUE(open_transport(NetworkAddress{"printer.invalid", 9100}).has_value());
    auto serial = open_transport(SerialAddress{"/nonexistent/ttyS9", 19200});
    ASSERT_TRUE(serial.has_value());
    const auto& port = std::get<SerialTarget>(*serial);
    EXPECT_EQ(port.path, "/nonexistent/ttyS9");
    EXPECT_EQ(port.baud, 19200u);
    EXPECT_FALSE(port.is_open());
}

TEST(OpenTransport, RefusedAddresses) {
    struct Case {
        Transport address;
        JobError error;
    };
    const Case cases[] = {
        {BleAddress{"LetraTag"},
         JobError::transport("Bluetooth LE support not compiled in; rebuild parvello with `PVO_WITH_BLE`")},
        {BrowserAddress{"bluetooth", "webbluetooth", 1, 2, {}, {}, {}, {}, {}}, JobError::browser_unsupported()},
    };
    for (const auto& c : cases) {
        const auto result = open_transport(c.address);
        ASSERT_FALSE(result.has_value());
        EXPECT_EQ(result.error(), c.error);
    }
}

// A USB printer on the printer-class road, its node a pseudo-terminal played by the test.
class UsbPrinter : public ::testing::Test {
protected:
    UsbPrinter() : printer_(tree_.add("lp0", "0922", "0028")) {}

    OpenTransport open() {
        DeviceOptions options;
        options.usb.sys_root = tree_.sys_root();
        options.usb.dev_root = tree_.dev_root();
        options.usb.timings.read_timeout = 20ms;
        auto device = open_transport(UsbAddress{2338, 40, std::nullopt}, options);
        if (!device) throw std::runtime_error(device.error().to_string());
        return std::move(*device);
    }

    UsbprintTree tree_;
    PtyDevice& printer_;
};

TEST_F(UsbPrinter, ReadOfNoBytesLeavesTheDeviceAlone) {
    auto device = open();
    printer_.send(Bytes{9});
    const auto nothing = transport_read(device, 0, 500);
    ASSERT_TRUE(nothing.has_value());
    EXPECT_TRUE(nothing->empty());
    // The byte is still there for the next read, which keeps its own time limits.
    EXPECT_EQ(transport_read(device, 1, 0), Bytes{9});
}

TEST_F(UsbPrinter, SilentPrinterGivesAnEmptyReply) {
    auto device = open();
    const auto reply = transport_read(device, 32, 500);
    ASSERT_TRUE(reply.has_value()) << reply.error().message();
    EXPECT_TRUE(reply->empty());
}

TEST(TransportRead, TcpIsNeverRead) {
    LoopbackPrinter printer;
    OpenTransport device{std::in_place_type<TcpTarget>, "127.0.0.1", printer.address().port};
    // Whatever the length and time limit: no bytes, at once, and no connection.
    const auto reply = transport_read(device, 64, std::numeric_limits<std::uint32_t>::max());
    ASSERT_TRUE(reply.has_value());
    EXPECT_TRUE(reply->empty());
    EXPECT_FALSE(printer.has_unaccepted_connection());
}

TEST(TransportRead, SerialKeepsAllThatArrivedBeyondMaxLen) {
    PtyDevice pty;
    pty.send(counting(40));
    OpenTransport device{std::in_place_type<SerialTarget>, pty.path(), 115200u};
    const auto reply = transport_read(device, 32, 5000);
    ASSERT_TRUE(reply.has_value()) << reply.error().message();
    EXPECT_EQ(*reply, counting(40));
}

TEST(TransportRead, SerialWithNoTimeReadsNothing) {
    PtyDevice pty;
    pty.send(counting(8));
    OpenTransport device{std::in_place_type<SerialTarget>, pty.path(), 115200u};
    const auto reply = transport_read(device, 8, 0);
    ASSERT_TRUE(reply.has_value());
    EXPECT_TRUE(reply->empty());
    EXPECT_FALSE(std::get<SerialTarget>(device).is_open());  // not even opened
}

TEST(TransportRead, SerialQuietLineGivesNoBytes) {
    PtyDevice pty;
    OpenTransport device{std::in_place_type<SerialTarget>, pty.path(), 115200u};
    const auto reply = transport_read(device, 8, 20);
    ASSERT_TRUE(reply.has_value());
    EXPECT_TRUE(reply->empty());
}

// A reply that pauses longer than the read gap arrives in two reads; both parts are collected
// while the time limit lasts and fewer than `max_len` bytes have come.
TEST(TransportRead, SerialCollectsAcrossAPause) {
    PtyDevice pty;
    OpenTransport device{std::in_place_type<SerialTarget>, pty.path(), 115200u,
                         pvo_device::SerialTimings{500ms, 5ms}};
    std::thread printer([&] {
        pty.send("AB");
        std::this_thread::sleep_for(50ms);
        pty.send("CD");
    });
    const auto reply = transport_read(device, 3, 5000);
    printer.join();
    ASSERT_TRUE(reply.has_value()) << reply.error().message();
    EXPECT_EQ(*reply, testing::bytes_of("ABCD"));
}

TEST(TransportRead, SerialErrorIsPassedOnUnchanged) {
    OpenTransport device{std::in_place_type<SerialTarget>, "/nonexistent/ttyS9", 9600u};
    const auto reply = transport_read(device, 8, 100);
    ASSERT_FALSE(reply.has_value());
    EXPECT_EQ(reply.error().kind, pvo_device::DeviceError::Kind::Transport);
    EXPECT_TRUE(reply.error().text.starts_with("open serial /nonexistent/ttyS9: ")) << reply.error().text;

    // Through the io the error is its display text.
    OpenTransportIo io(device);
    const auto via_io = io.read(8, 100);
    ASSERT_FALSE(via_io.has_value());
    EXPECT_TRUE(via_io.error().starts_with("transport error: open serial /nonexistent/ttyS9: ")) << via_io.error();
}

}  // namespace
}  // namespace parvello
