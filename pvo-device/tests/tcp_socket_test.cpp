// The TCP socket seam's acknowledgement notices on a real loopback connection.
#include "tcp_socket.hpp"

#include <poll.h>

#include <cerrno>
#include <chrono>
#include <vector>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <gtest/gtest.h>

#include "fd_wait.hpp"

namespace pvo_device {
namespace {

namespace asio = boost::asio;
using asio::ip::tcp;
using namespace std::chrono_literals;

// A connected pair on loopback: ours (the agent's end) and the printer's.
struct Connection {
    asio::io_context io;
    tcp::acceptor acceptor{io, tcp::endpoint(asio::ip::address_v4::loopback(), 0)};
    tcp::socket ours{io};
    tcp::socket printer{io};

    Connection() {
        ours.connect(acceptor.local_endpoint());
        acceptor.accept(printer);
    }
};

// A notice ends a wait once the printer has taken what was sent; a wait for one is bounded by a
// safety net far beyond loopback's acknowledgement, never slept through. Dropping the notices
// leaves nothing to report, and neither the notices nor dropping them touch the send state.
TEST(TcpSocket, AcknowledgementNoticeEndsTheWaitAndClears) {
    Connection c;
    const int fd = c.ours.native_handle();
    ASSERT_TRUE(tcp_socket::request_acknowledgement_notices(fd));
    const auto before = tcp_socket::send_state(fd);
    ASSERT_TRUE(before.has_value());

    const std::vector<std::uint8_t> label(100'000, 0x5a);
    asio::write(c.ours, asio::buffer(label));
    std::vector<std::uint8_t> taken(label.size());
    asio::read(c.printer, asio::buffer(taken));

    const auto woken = wait_fd(fd, POLLIN, Deadline::after(10s));
    ASSERT_TRUE(woken.has_value());
    EXPECT_TRUE(*woken & POLLERR) << "no notice came";
    tcp_socket::clear_acknowledgement_notices(fd);
    EXPECT_EQ(wait_fd(fd, POLLIN, Deadline::after(0ms)), 0) << "a notice was left";

    const auto after = tcp_socket::send_state(fd);
    ASSERT_TRUE(after.has_value());
    EXPECT_EQ(after->error, 0);
    EXPECT_EQ(after->acknowledged, before->acknowledged + label.size());
    EXPECT_EQ(after->unacknowledged, 0u);
}

// A reset that comes while notices wait is still the socket's error after they are dropped.
TEST(TcpSocket, DroppingNoticesKeepsAReset) {
    Connection c;
    const int fd = c.ours.native_handle();
    ASSERT_TRUE(tcp_socket::request_acknowledgement_notices(fd));
    const std::vector<std::uint8_t> label(10'000, 0x5a);
    asio::write(c.ours, asio::buffer(label));
    c.printer.set_option(asio::socket_base::linger(true, 0));
    c.printer.close();  // unread bytes and a zero linger: a reset

    for (;;) {  // the notice may wake the wait before the reset does
        const auto woken = wait_fd(fd, POLLIN, Deadline::after(10s));
        ASSERT_TRUE(woken.has_value());
        ASSERT_NE(*woken, 0) << "neither a notice nor the reset came";
        if (*woken & (POLLHUP | POLLIN)) break;
        tcp_socket::clear_acknowledgement_notices(fd);
    }
    tcp_socket::clear_acknowledgement_notices(fd);
    const auto state = tcp_socket::send_state(fd);
    ASSERT_TRUE(state.has_value());
    EXPECT_EQ(state->error, ECONNRESET);
}

}  // namespace
}  // namespace pvo_device
