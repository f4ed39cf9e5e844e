// The TCP transport against loopback listeners playing a network printer.
#include "pvo-device/tcp.hpp"

#include <atomic>
#include <cerrno>
#include <future>
#include <system_error>
#include <thread>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <gtest/gtest.h>

#include "pvo-test-support/free_port.hpp"
#include "tcp_connect.hpp"
#include "test_bytes.hpp"

namespace pvo_device {
namespace {

namespace asio = boost::asio;
using asio::ip::tcp;
using namespace std::chrono_literals;
using test::bytes_of;
using test::pattern;

// What one connection brought: every byte until the client closed, and how the stream ended.
struct Session {
    std::vector<std::uint8_t> bytes;
    boost::system::error_code end;  // eof for a clean close
};

class LoopbackPrinter {
public:
    LoopbackPrinter() : acceptor_(io_, tcp::endpoint(asio::ip::address_v4::loopback(), 0)) {}

    std::uint16_t port() const { return acceptor_.local_endpoint().port(); }
    TcpTarget target() const { return {"127.0.0.1", port()}; }

    // Accepts one connection in the background, sends `greeting` on it, then reads until the
    // client closes. `before_close` runs after that, before the printer closes its side.
    std::future<Session> serve_one(std::vector<std::uint8_t> greeting = {}, std::function<void()> before_close = {}) {
        return std::async(std::launch::async,
                          [this, greeting = std::move(greeting), before_close = std::move(before_close)] {
                              tcp::socket peer(io_);
                              acceptor_.accept(peer);
                              asio::write(peer, asio::buffer(greeting));
                              Session session;
                              std::uint8_t chunk[65536];
                              for (;;) {
                                  const std::size_t n = peer.read_some(asio::buffer(chunk), session.end);
                                  if (session.end) break;
                                  session.bytes.insert(session.bytes.end(), chunk, chunk + n);
                              }
                              if (before_close) before_close();
                              return session;
                          });
    }

    tcp::acceptor& acceptor() { return acceptor_; }

private:
    asio::io_context io_;
    tcp::acceptor acceptor_;
};

TEST(TcpWrite, BytesArriveWholeOnOneConnectionPerWrite) {
    LoopbackPrinter printer;
    const auto first = pattern(1'000'000);
    const auto second = bytes_of("second label");
    for (const auto& payload : {first, second}) {
        auto session = printer.serve_one();
        const auto written = tcp_write({"localhost", printer.port()}, payload);
        ASSERT_TRUE(written.has_value()) << written.error().message();
        const auto got = session.get();
        EXPECT_EQ(got.end, asio::error::eof);
        EXPECT_EQ(got.bytes, payload);
    }
}

TEST(TcpWrite, EmptyWriteConnectsAndClosesWithoutSending) {
    LoopbackPrinter printer;
    auto session = printer.serve_one();
    ASSERT_TRUE(tcp_write(printer.target(), {}).has_value());
    const auto got = session.get();
    EXPECT_EQ(got.end, asio::error::eof);
    EXPECT_TRUE(got.bytes.empty());
}

// A printer that talks first leaves unread bytes on our side; closing over them would reset
// the connection and throw away the tail of the label still in flight.
TEST(TcpWrite, PrinterThatSendsBytesStillReceivesEverything) {
    LoopbackPrinter printer;
    const auto payload = pattern(4'000'000);
    auto session = printer.serve_one(pattern(10'000));
    const auto written = tcp_write(printer.target(), payload, {.close_drain = 30s});
    ASSERT_TRUE(written.has_value()) << written.error().message();
    const auto got = session.get();
    EXPECT_EQ(got.end, asio::error::eof) << got.end.message();
    EXPECT_EQ(got.bytes, payload);
}

// A printer that keeps its side open after the label: the write ends once every byte is
// acknowledged, not when the drain limit (here far beyond the test's own time limit) passes.
TEST(TcpWrite, PrinterThatKeepsItsSideOpenIsNotWaitedFor) {
    LoopbackPrinter printer;
    std::promise<void> returned;
    std::atomic<bool> gave_up{false};
    auto session = printer.serve_one({}, [&, done = returned.get_future().share()] {
        // A safety net so a write that waits for the printer cannot hang the test.
        if (done.wait_for(30s) == std::future_status::timeout) gave_up = true;
    });
    const auto written = tcp_write(printer.target(), pattern(300'000), {.close_drain = 1h});
    returned.set_value();
    ASSERT_TRUE(written.has_value()) << written.error().message();
    EXPECT_EQ(session.get().bytes, pattern(300'000));
    EXPECT_FALSE(gave_up) << "the write waited for the printer to close its side";
}

// Bytes the kernel accepted are not delivered until the printer acknowledges them: a printer
// that resets the connection, at once or part-way into the label, fails the write. Its small
// receive buffer keeps it from acknowledging the whole label before its reset, which would
// otherwise depend on how fast the printer's thread runs.
TEST(TcpWrite, PrinterThatResetsFailsTheWrite) {
    struct Case {
        const char* name;
        std::size_t label_size;
        std::size_t read_before_reset;
    };
    const Case cases[] = {
        {"reset at accept", 200'000, 0},
        {"reset after 128 KiB of 1.1 MB", 1'100'000, 128 * 1024},
        {"reset at accept, label larger than every buffer", 64'000'000, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackPrinter printer;
        printer.acceptor().set_option(asio::socket_base::receive_buffer_size(4096));
        auto reset = std::async(std::launch::async, [&] {
            tcp::socket peer(printer.acceptor().get_executor());
            printer.acceptor().accept(peer);
            std::vector<std::uint8_t> taken(c.read_before_reset);
            asio::read(peer, asio::buffer(taken));
            peer.set_option(asio::socket_base::linger(true, 0));
            peer.close();
        });
        const auto written = tcp_write(printer.target(), pattern(c.label_size));
        reset.get();
        ASSERT_FALSE(written.has_value());
        EXPECT_EQ(written.error().kind, DeviceError::Kind::Transport);
        EXPECT_TRUE(written.error().text.starts_with("write: ")) << written.error().text;
    }
}

// Makes the socket's stack acknowledge received data at once (and now, what it still owes).
void acknowledge_at_once(tcp::socket& peer) {
    const int on = 1;
    ASSERT_EQ(::setsockopt(peer.native_handle(), IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on), 0);
}

// A printer that reads the whole label and then resets the connection (closing with a zero
// linger), at once or a little later, has the label: the write succeeds. The printer's stack
// acknowledges at once what it has read (TCP_QUICKACK), so every byte is acknowledged before
// its reset whatever the timing; without that its acknowledgement could be delayed past the
// reset, and the label would rightly count as not delivered. Each case runs a few times: a
// write that waited for more than the data's acknowledgement failed nearly every time.
TEST(TcpWrite, PrinterThatResetsAfterTakingTheWholeLabelHasIt) {
    for (const std::size_t label_size : {std::size_t{300}, std::size_t{200'000}, std::size_t{2'000'000}}) {
        for (const auto reset_after : {0ms, 50ms}) {
            for (int round = 0; round < 3; ++round) {
                SCOPED_TRACE(std::to_string(label_size) + " bytes, reset after " + std::to_string(reset_after.count()) +
                             " ms, round " + std::to_string(round));
                LoopbackPrinter printer;
                auto session = std::async(std::launch::async, [&] {
                    tcp::socket peer(printer.acceptor().get_executor());
                    printer.acceptor().accept(peer);
                    Session got;
                    std::uint8_t chunk[65536];
                    for (;;) {
                        acknowledge_at_once(peer);
                        const std::size_t n = peer.read_some(asio::buffer(chunk), got.end);
                        if (got.end) break;
                        got.bytes.insert(got.bytes.end(), chunk, chunk + n);
                    }
                    acknowledge_at_once(peer);
                    std::this_thread::sleep_for(reset_after);
                    peer.set_option(asio::socket_base::linger(true, 0));
                    peer.close();
                    return got;
                });
                const auto written = tcp_write(printer.target(), pattern(label_size));
                const auto got = session.get();
                EXPECT_TRUE(written.has_value()) << written.error().message();
                EXPECT_EQ(got.end, asio::error::eof) << got.end.message();
                EXPECT_EQ(got.bytes, pattern(label_size));
            }
        }
    }
}

// A printer that takes no data fails the write once the stall limit passes, whether the label
// is still being sent (larger than every buffer) or already handed to the kernel and waiting
// to be acknowledged (larger than the printer's small receive buffer only). The printer holds
// its side open until the write returns, so a reset cannot end the write instead.
TEST(TcpWrite, PrinterThatStopsReadingFailsAfterTheStallLimit) {
    for (const std::size_t label_size : {std::size_t{200'000}, std::size_t{64'000'000}}) {
        SCOPED_TRACE(label_size);
        LoopbackPrinter printer;
        printer.acceptor().set_option(asio::socket_base::receive_buffer_size(4096));
        std::promise<void> returned;
        auto holder = std::async(std::launch::async, [&, done = returned.get_future()] {
            tcp::socket peer(printer.acceptor().get_executor());
            printer.acceptor().accept(peer);
            done.wait_for(30s);  // a safety net, as above
            peer.close();
        });
        const auto written = tcp_write(printer.target(), pattern(label_size), {.write_stall = 200ms});
        returned.set_value();
        holder.get();
        ASSERT_FALSE(written.has_value());
        EXPECT_EQ(written.error(), DeviceError::transport("write: " + std::system_category().message(ETIMEDOUT)));
    }
}

TEST(TcpWrite, RefusedPortGivesTheConnectText) {
    const std::uint16_t port = pvo_test_support::free_port();
    const auto written = tcp_write({"127.0.0.1", port}, bytes_of("label"));
    ASSERT_FALSE(written.has_value());
    EXPECT_EQ(written.error(), DeviceError::transport("connect 127.0.0.1:" + std::to_string(port) + ": " +
                                                      std::system_category().message(ECONNREFUSED)));
}

// A connection to a port of this machine where nothing listens can land on itself when our
// end gets that same port. Binding our end to the target's port makes it land there every time;
// such a connection reached no printer and is refused.
TEST(TcpConnect, ConnectionThatLandsOnItselfIsRefused) {
    const std::uint16_t port = pvo_test_support::free_port();
    asio::io_context io;
    tcp::socket socket(io);
    const tcp::endpoint self(asio::ip::address_v4::loopback(), port);
    const auto connected = connect_to(io, socket, {"127.0.0.1", port}, self);
    ASSERT_FALSE(connected.has_value()) << "the connection landed on itself and was used";
    EXPECT_EQ(connected.error(), DeviceError::transport("connect 127.0.0.1:" + std::to_string(port) + ": " +
                                                        std::system_category().message(ECONNREFUSED)));
    EXPECT_FALSE(socket.is_open());
}

TEST(TcpWrite, StallLimitIsFiveMinutes) { EXPECT_EQ(TcpTimings{}.write_stall, std::chrono::minutes(5)); }

TEST(TcpWrite, UnresolvableNameGivesTheConnectText) {
    const auto written = tcp_write({"printer.invalid", 9100}, bytes_of("label"));
    ASSERT_FALSE(written.has_value());
    EXPECT_EQ(written.error().kind, DeviceError::Kind::Transport);
    const std::string prefix = "connect printer.invalid:9100: ";
    EXPECT_TRUE(written.error().text.starts_with(prefix)) << written.error().text;
    EXPECT_GT(written.error().text.size(), prefix.size());
}

// A printer that reads a request of `request_size` bytes, answers with `answer` (nothing: stays
// silent) and then reads until the client closes; with `close_after_request` it closes at once
// instead of answering.
struct QueryPrinter {
    std::vector<std::uint8_t> answer;
    bool close_after_request = false;
};

std::future<Session> serve_query(LoopbackPrinter& printer, std::size_t request_size, QueryPrinter script) {
    return std::async(std::launch::async, [&printer, request_size, script = std::move(script)] {
        tcp::socket peer(printer.acceptor().get_executor());
        printer.acceptor().accept(peer);
        Session session;
        session.bytes.resize(request_size);
        asio::read(peer, asio::buffer(session.bytes), session.end);
        if (session.end || script.close_after_request) return session;
        asio::write(peer, asio::buffer(script.answer), session.end);
        std::uint8_t chunk[256];
        while (!session.end) {
            const std::size_t n = peer.read_some(asio::buffer(chunk), session.end);
            session.bytes.insert(session.bytes.end(), chunk, chunk + n);
        }
        return session;
    });
}

TEST(TcpQuery, AnswerIsReadOnTheConnectionThatAsked) {
    const auto request = bytes_of("~HS\r\n");
    struct Case {
        const char* name;
        QueryPrinter script;
        std::size_t max_len;
        std::vector<std::uint8_t> expected;
    };
    const auto long_answer = pattern(300);
    const Case cases[] = {
        {"answer shorter than asked, ends at the pause",
         {bytes_of("\x02"
                   "030,0\x03\r\n")},
         256,
         bytes_of("\x02"
                  "030,0\x03\r\n")},
        {"answer longer than asked, kept whole", {long_answer}, 64, long_answer},
        {"silent printer: no bytes", {}, 256, {}},
        {"printer closes without answering: no bytes", {{}, true}, 256, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackPrinter printer;
        auto session = serve_query(printer, request.size(), c.script);
        const auto answer = tcp_query(printer.target(), request, c.max_len, 50ms, {.close_drain = 2s});
        ASSERT_TRUE(answer.has_value()) << answer.error().message();
        EXPECT_EQ(*answer, c.expected);
        // The printer got the request and then a clean end of the stream, nothing more.
        const auto got = session.get();
        EXPECT_EQ(got.bytes, request);
        if (!c.script.close_after_request) {
            EXPECT_EQ(got.end, asio::error::eof) << got.end.message();
        }
    }
}

TEST(TcpQuery, RefusedPortGivesTheConnectText) {
    const std::uint16_t port = pvo_test_support::free_port();
    const auto answer = tcp_query({"127.0.0.1", port}, bytes_of("~HS\r\n"), 256, 50ms);
    ASSERT_FALSE(answer.has_value());
    EXPECT_TRUE(answer.error().message().starts_with("transport error: connect 127.0.0.1:")) << answer.error();
}

}  // namespace
}  // namespace pvo_device
