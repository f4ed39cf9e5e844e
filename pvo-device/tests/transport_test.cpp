// The device surface: how a reply is read on each kind of device.
#include "pvo-device/transport.hpp"

#include <future>
#include <string>
#include <thread>

#include <boost/asio/ip/tcp.hpp>
#include <gtest/gtest.h>

#include "pty_device.hpp"
#include "test_bytes.hpp"
#include "usbprint_tree.hpp"

namespace pvo_device {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using test::bytes_of;
using test::pattern;
using test::PtyDevice;
using test::UsbprintTree;

// A USB printer on the printer-class road, its node a pseudo-terminal played by the test.
class UsbPrinter : public ::testing::Test {
protected:
    UsbPrinter() : printer_(tree_.add("lp0", "0922", "0028")) {}

    OpenTransport open() {
        UsbOptions options;
        options.sys_root = tree_.sys_root();
        options.dev_root = tree_.dev_root();
        options.timings.read_timeout = 20ms;
        auto connection = open_usb(UsbTarget{0x0922, 0x0028, std::nullopt, 0}, options);
        if (!connection) throw std::runtime_error(connection.error().message());
        return OpenTransport(std::move(*connection));
    }

    UsbprintTree tree_;
    PtyDevice& printer_;
};

TEST_F(UsbPrinter, ReadOfNoBytesLeavesTheDeviceAlone) {
    auto device = open();
    printer_.send(Bytes{9});
    const auto nothing = device.read(0, 500ms);
    ASSERT_TRUE(nothing.has_value());
    EXPECT_TRUE(nothing->empty());
    // The byte is still there for the next read, which keeps its own time limits.
    EXPECT_EQ(device.read(1, 0ms), Bytes{9});
}

TEST_F(UsbPrinter, SilentPrinterGivesAnEmptyReply) {
    auto device = open();
    const auto reply = device.read(32, 500ms);
    ASSERT_TRUE(reply.has_value()) << reply.error().message();
    EXPECT_TRUE(reply->empty());
}

TEST(TransportRead, TcpIsNeverRead) {
    namespace asio = boost::asio;
    asio::io_context io;
    asio::ip::tcp::acceptor printer(io, {asio::ip::address_v4::loopback(), 0});
    OpenTransport device{std::in_place_type<TcpTarget>, "127.0.0.1", printer.local_endpoint().port()};
    // Whatever the length and time limit: no bytes, at once, and no connection.
    const auto reply = device.read(64, std::chrono::milliseconds::max());
    ASSERT_TRUE(reply.has_value());
    EXPECT_TRUE(reply->empty());
    printer.non_blocking(true);
    asio::ip::tcp::socket peer(io);
    boost::system::error_code ec;
    printer.accept(peer, ec);
    EXPECT_EQ(ec, asio::error::would_block);
}

// Once bytes have come, a pause ends the reply, and so does reaching `max_len`: a short reply
// does not wait out the limit, and what lies beyond the 256-byte chunk that reached `max_len`
// stays on the line for the next read. The limit here is far longer than the test's own
// time-out, so a read that waited for the missing bytes would fail the test.
TEST(TransportRead, SerialReplyEndsAtAPauseOrOnceMaxLenIsIn) {
    struct Case {
        std::size_t answered;
        std::size_t max_len;
        std::size_t taken;
    };
    for (const Case c : {Case{2, 64, 2}, Case{4, 4, 4}, Case{11, 8, 11}, Case{300, 32, 256}, Case{600, 300, 512}}) {
        SCOPED_TRACE(std::to_string(c.answered) + " bytes for " + std::to_string(c.max_len));
        PtyDevice pty;
        const auto answer = pattern(c.answered);
        pty.send(answer);
        OpenTransport device{std::in_place_type<SerialTarget>, pty.path(), 115200u};
        const auto reply = device.read(c.max_len, std::chrono::hours(1));
        ASSERT_TRUE(reply.has_value()) << reply.error().message();
        EXPECT_EQ(*reply, Bytes(answer.begin(), answer.begin() + static_cast<std::ptrdiff_t>(c.taken)));
        if (c.taken == c.answered) continue;
        const auto rest = device.read(c.answered - c.taken, 5s);  // the bytes are there already
        ASSERT_TRUE(rest.has_value()) << rest.error().message();
        EXPECT_EQ(*rest, Bytes(answer.begin() + static_cast<std::ptrdiff_t>(c.taken), answer.end()));
    }
}

TEST(TransportRead, SerialWithNoTimeReadsNothing) {
    PtyDevice pty;
    pty.send(pattern(8));
    OpenTransport device{std::in_place_type<SerialTarget>, pty.path(), 115200u};
    const auto reply = device.read(8, 0ms);
    ASSERT_TRUE(reply.has_value());
    EXPECT_TRUE(reply->empty());
    EXPECT_FALSE(std::get<SerialTarget>(device).is_open());  // not even opened
}

TEST(TransportRead, SerialQuietLineGivesNoBytes) {
    PtyDevice pty;
    OpenTransport device{std::in_place_type<SerialTarget>, pty.path(), 115200u};
    const auto reply = device.read(8, 20ms);
    ASSERT_TRUE(reply.has_value());
    EXPECT_TRUE(reply->empty());
}

// The first bytes may take the whole limit; only after them does a pause end the reply, so
// what follows the pause is left for the next read.
TEST(TransportRead, SerialWaitsForTheFirstBytesThenStopsAtAPause) {
    PtyDevice pty;
    OpenTransport device{std::in_place_type<SerialTarget>, pty.path(), 115200u, SerialTimings{500ms, 5ms}};
    ASSERT_TRUE(device.write(bytes_of("?")).has_value());  // opens the port
    std::promise<void> first_reply_read;
    std::thread printer([&, done = first_reply_read.get_future()] {
        std::this_thread::sleep_for(50ms);  // ten read gaps before the first byte
        pty.send("AB");
        done.wait_for(5s);
        pty.send("CD");
    });
    const auto first = device.read(64, 5000ms);
    first_reply_read.set_value();
    const auto second = device.read(64, 5000ms);
    printer.join();
    ASSERT_TRUE(first.has_value()) << first.error().message();
    EXPECT_EQ(*first, bytes_of("AB"));
    ASSERT_TRUE(second.has_value()) << second.error().message();
    EXPECT_EQ(*second, bytes_of("CD"));
}

TEST(TransportRead, SerialErrorIsPassedOnUnchanged) {
    OpenTransport device{std::in_place_type<SerialTarget>, "/nonexistent/ttyS9", 9600u};
    const auto reply = device.read(8, 100ms);
    ASSERT_FALSE(reply.has_value());
    EXPECT_EQ(reply.error().kind, DeviceError::Kind::Transport);
    EXPECT_TRUE(reply.error().text.starts_with("open serial /nonexistent/ttyS9: ")) << reply.error().text;
}

}  // namespace
}  // namespace pvo_device
