// The status query and soft reboot against real devices: pseudo-terminals as serial ports and
// printer-class USB nodes, and loopback listeners as network printers.
#include <unistd.h>

#include <filesystem>
#include <future>

#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <gtest/gtest.h>

#include "job/device_query.hpp"
#include "job_test_devices.hpp"
#include "status_replies.hpp"

namespace parvello {
namespace {

using namespace std::chrono_literals;
using pvo_status::Protocol;
using test::brother_ql_ready;
using test::Bytes;
using test::bytes_of;
using test::PtyDevice;
using test::UsbprintTree;

constexpr char kEmptyReply[] = "status query timed out (empty reply)";

// Plays the device on the other end of a pseudo-terminal: takes a request of `request_size`
// bytes, then sends `answer` (nothing: stays silent). Gives back the request it got.
std::future<Bytes> answer_once(PtyDevice& device, std::size_t request_size, Bytes answer) {
    return std::async(std::launch::async, [&device, request_size, answer = std::move(answer)] {
        Bytes request = device.receive(request_size);
        if (!answer.empty()) device.send(answer);
        return request;
    });
}

// The open file descriptors of this process that lead to `path` (the pty keeps one of its own).
int descriptors_open_on(const std::filesystem::path& path) {
    int count = 0;
    const auto target = std::filesystem::canonical(path);
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        if (std::filesystem::read_symlink(entry.path(), ec) == target) ++count;
    }
    return count;
}

// A printer-class USB tree with one LabelWriter 550 (0922:0028) whose node is a pty.
struct UsbLabelWriter {
    UsbprintTree tree;
    PtyDevice& printer = tree.add("lp0", "0922", "0028");
    DeviceQueryOptions options() const {
        DeviceQueryOptions o;
        o.device.usb.sys_root = tree.sys_root();
        o.device.usb.dev_root = tree.dev_root();
        return o;
    }
};

TEST(QueryStatus, RefusedBeforeAnyDeviceIsTouched) {
    const UsbAddress missing{0x0922, 0x0028, std::nullopt};
    DeviceQueryOptions nothing_attached;
    nothing_attached.device.usb.sys_root = "/nonexistent/sys";
    nothing_attached.device.usb.dev_root = "/nonexistent/dev";
    struct Case {
        Protocol protocol;
        Transport address;
        std::string text;
    };
    const Case cases[] = {
        {Protocol::Tspl, SerialAddress{"/nonexistent/ttyS9", 9600}, "USB Device ID identity requires a USB transport"},
        {Protocol::Tspl, NetworkAddress{"127.0.0.1", 9100}, "USB Device ID identity requires a USB transport"},
        {Protocol::EscPos, BleAddress{"x"}, "status query not supported for protocol EscPos"},
        {Protocol::EscPos, BrowserAddress{}, "status query not supported for protocol EscPos"},
        {Protocol::DymoLw, BrowserAddress{},
         "browser transport is not supported by parvello; use usb/serial/network/ble"},
        {Protocol::DymoLw, BleAddress{"x"},
         "transport: Bluetooth LE support not compiled in; rebuild parvello with `PVO_WITH_BLE`"},
        {Protocol::DymoLw, missing, "transport: device not found: usb 0922:0028"},
    };
    for (const auto& c : cases) {
        const auto status = query_status(c.protocol, c.address, nothing_attached);
        ASSERT_FALSE(status.has_value()) << c.text;
        EXPECT_EQ(status.error(), c.text);
    }
}

TEST(QueryStatus, SerialPrinterAnswersItsRequest) {
    PtyDevice port;
    auto device = answer_once(port, 3, brother_ql_ready());
    const auto status = query_status(Protocol::BrotherQl, SerialAddress{port.path(), 115200});
    ASSERT_TRUE(status.has_value()) << status.error();
    EXPECT_EQ(device.get(), (Bytes{0x1B, 0x69, 0x53}));
    ASSERT_TRUE(std::holds_alternative<pvo_status::BrotherQl>(*status));
    EXPECT_TRUE(std::get<pvo_status::BrotherQl>(*status).readiness.ready_to_print);
}

TEST(QueryStatus, ShortOrMissingRepliesAreRefused) {
    DeviceQueryOptions quick;
    quick.status_read_limit = 30ms;
    struct Case {
        const char* name;
        Protocol protocol;
        std::size_t request_size;
        Bytes answer;
        std::string text;
    };
    const Case cases[] = {
        {"silent printer", Protocol::BrotherQl, 3, {}, kEmptyReply},
        {"short LabelWriter 550 reply goes to its parser as it is", Protocol::DymoLw, 3, Bytes(10, 0),
         "short status reply (10 bytes, expected 32)"},
        {"NIIMBOT reply without a print-status packet", Protocol::Niimbot, 8, bytes_of("noise"),
         "no NIIMBOT print-status reply in buffer"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PtyDevice port;
        auto device = answer_once(port, c.request_size, c.answer);
        const auto status = query_status(c.protocol, SerialAddress{port.path(), 115200}, quick);
        ASSERT_FALSE(status.has_value());
        EXPECT_EQ(status.error(), c.text);
        EXPECT_EQ(device.get().size(), c.request_size);
    }
}

TEST(QueryStatus, UsbLabelWriterIsReadAndClosed) {
    UsbLabelWriter usb;
    const int before = descriptors_open_on(usb.tree.dev_root() / "usb/lp0");
    Bytes idle(32, 0);
    idle[10] = 8;  // media bay status: no unknown bay
    auto device = answer_once(usb.printer, 3, idle);
    const auto status = query_status(Protocol::DymoLw, UsbAddress{0x0922, 0x0028, std::nullopt}, usb.options());
    ASSERT_TRUE(status.has_value()) << status.error();
    EXPECT_EQ(device.get(), (Bytes{0x1B, 0x41, 0x00}));
    EXPECT_TRUE(std::holds_alternative<pvo_status::DymoLw>(*status));
    EXPECT_EQ(descriptors_open_on(usb.tree.dev_root() / "usb/lp0"), before);
}

// A ZPL printer on a loopback port answers ~HS on the connection that asked.
TEST(QueryStatus, NetworkPrinterAnswersOnTheSameConnection) {
    namespace asio = boost::asio;
    asio::io_context io;
    asio::ip::tcp::acceptor acceptor(io, {asio::ip::address_v4::loopback(), 0});
    const Bytes host_status = test::zpl_host_status_head_open();
    auto printer = std::async(std::launch::async, [&] {
        asio::ip::tcp::socket peer(io);
        acceptor.accept(peer);
        Bytes request(5);
        asio::read(peer, asio::buffer(request));
        asio::write(peer, asio::buffer(host_status));
        boost::system::error_code end;
        std::uint8_t rest[64];
        while (!end) peer.read_some(asio::buffer(rest), end);  // until the agent closes
        return request;
    });
    const NetworkAddress address{"127.0.0.1", acceptor.local_endpoint().port()};
    const auto status = query_status(Protocol::Zpl, address);
    ASSERT_TRUE(status.has_value()) << status.error();
    EXPECT_EQ(printer.get(), bytes_of("~HS\r\n"));
    ASSERT_TRUE(std::holds_alternative<pvo_status::Zpl>(*status));
    const auto& zpl = std::get<pvo_status::Zpl>(*status);
    EXPECT_EQ(zpl.raw_lines.size(), 3u);  // every line of the reply, the head flag's included
    EXPECT_TRUE(zpl.head_open);
}

TEST(SoftReboot, LabelWriterGetsEscAtAndIsHeldOpenThenClosed) {
    UsbLabelWriter usb;
    auto options = usb.options();
    const auto node = usb.tree.dev_root() / "usb/lp0";
    const int before = descriptors_open_on(node);
    Bytes during_hold;
    int open_during_hold = 0;
    std::chrono::milliseconds held{};
    options.hold = [&](std::chrono::milliseconds wait) {
        held = wait;
        during_hold = usb.printer.receive(2);
        open_during_hold = descriptors_open_on(node);
    };
    const auto rebooted = soft_reboot(Protocol::DymoLw, UsbAddress{0x0922, 0x0028, std::nullopt}, options);
    ASSERT_TRUE(rebooted.has_value()) << rebooted.error();
    EXPECT_EQ(during_hold, (Bytes{0x1B, 0x40}));
    EXPECT_EQ(held, 50ms);
    EXPECT_EQ(open_during_hold, before + 1);
    EXPECT_EQ(descriptors_open_on(node), before);
    EXPECT_TRUE(usb.printer.receive(1, 0).empty());  // nothing after ESC @
}

TEST(SoftReboot, Refusals) {
    struct Case {
        Protocol protocol;
        Transport address;
        std::string text;
    };
    const Case cases[] = {
        {Protocol::Zpl, UsbAddress{0x0922, 0x0028, std::nullopt}, "soft reboot not supported for protocol Zpl"},
        {Protocol::Dymo, BrowserAddress{}, "soft reboot not supported for protocol Dymo"},
        {Protocol::DymoLw, BrowserAddress{},
         "browser transport is not supported by parvello; use usb/serial/network/ble"},
    };
    for (const auto& c : cases) {
        const auto rebooted = soft_reboot(c.protocol, c.address);
        ASSERT_FALSE(rebooted.has_value());
        EXPECT_EQ(rebooted.error(), c.text);
    }
}

}  // namespace
}  // namespace parvello
