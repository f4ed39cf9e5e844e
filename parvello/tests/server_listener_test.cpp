// Binding the loopback port: a taken port, a restart over TIME_WAIT, loopback only, and
// which accept errors the accept loop shrugs off.
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cerrno>
#include <optional>
#include <string>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <gtest/gtest.h>

#include "parvello/product.hpp"
#include "parvello/server.hpp"
#include "server/listener.hpp"
#include "server_log_capture.hpp"
#include "server_test_client.hpp"

namespace parvello {
namespace {

using test::Client;
using test::free_port;
namespace http = test::http;

constexpr ServerOptions kSmall{.io_threads = 2, .blocking_threads = 1};

TEST(ServerListener, ASecondServerOnTheSamePortEndsWithTheBindError) {
    auto* const log = test::LogCapture::get();
    const std::size_t mark = log ? log->mark() : 0;
    const AppState state(free_port(), true);
    auto first = RunningServer::start(state, kSmall);
    ASSERT_TRUE(first) << first.error().message;

    auto second = RunningServer::start(AppState(first->port(), true), kSmall);
    ASSERT_FALSE(second);
    EXPECT_EQ(second.error().code, std::error_code(EADDRINUSE, std::system_category()));
    EXPECT_EQ(second.error().message, std::system_category().message(EADDRINUSE));

    // The blocking entry point reports the same error instead of running.
    const auto blocking = run_server_blocking(AppState(first->port(), true), kSmall);
    ASSERT_FALSE(blocking);
    EXPECT_EQ(blocking.error().code, std::error_code(EADDRINUSE, std::system_category()));

    // Each of the three announced itself before it tried to bind.
    if (log) {
        const std::string announcement = "INFO parvello::server: parvello v" + std::string(kVersion) +
                                         " listening on http://127.0.0.1:" + std::to_string(first->port());
        EXPECT_EQ(log->lines_with(announcement, mark).size(), 3u);
    }

    // The first one is unharmed.
    EXPECT_EQ(Client(first->port()).request(http::verb::get, "/status").result(), http::status::ok);
}

TEST(ServerListener, ARestartedServerBindsOverItsPredecessorsClosedConnections) {
    const AppState state(free_port(), true);
    {
        auto server = RunningServer::start(state, kSmall);
        ASSERT_TRUE(server) << server.error().message;
        // The server closes first, so its side of the connection lingers in TIME_WAIT.
        const std::string reply =
            test::exchange(server->port(), "GET /status HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
        ASSERT_TRUE(reply.starts_with("HTTP/1.1 200 OK")) << reply;
    }
    auto restarted = RunningServer::start(state, kSmall);
    ASSERT_TRUE(restarted) << restarted.error().message;
}

TEST(ServerListener, ListensOnTheLoopbackAddressOnly) {
    auto server = RunningServer::start(AppState(free_port(), true), kSmall);
    ASSERT_TRUE(server) << server.error().message;
    test::asio::io_context io;
    test::tcp::socket socket(io);
    boost::system::error_code error;
    socket.connect({test::asio::ip::make_address_v4("127.0.0.2"), server->port()}, error);
    EXPECT_EQ(error, test::asio::error::connection_refused);
}

// Without no-delay, the second small frame of a job's events would wait for the client's
// delayed ACK.
TEST(ServerListener, AcceptedConnectionsSendWithoutDelay) {
    auto server = RunningServer::start(AppState(free_port(), true), kSmall);
    ASSERT_TRUE(server) << server.error().message;
    test::asio::io_context io;
    test::tcp::socket socket(io);
    socket.connect({test::asio::ip::address_v4::loopback(), server->port()});
    test::asio::write(socket, test::asio::buffer(std::string_view("GET /status HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")));
    char first;
    test::asio::read(socket, test::asio::buffer(&first, 1));  // served, so accepted

    const int fd = test::server_end(server->port(), socket.local_endpoint().port());
    ASSERT_GE(fd, 0);
    int no_delay = 0;
    socklen_t size = sizeof no_delay;
    ASSERT_EQ(::getsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &no_delay, &size), 0);
    EXPECT_NE(no_delay, 0);
}

TEST(ServerListener, OnlyPerConnectionAcceptErrorsAreIgnored) {
    namespace error = test::asio::error;
    EXPECT_TRUE(is_connection_error(error::connection_reset));
    EXPECT_TRUE(is_connection_error(error::connection_aborted));
    EXPECT_TRUE(is_connection_error(error::connection_refused));
    EXPECT_FALSE(is_connection_error(error::no_descriptors));
    EXPECT_FALSE(is_connection_error(error::no_memory));
    EXPECT_FALSE(is_connection_error(error::bad_descriptor));
}

// Running out of descriptors is logged at WARN and makes the accept loop close an idle
// connection; every other accept error is not that.
TEST(ServerListener, DescriptorExhaustionIsToldFromOtherAcceptErrors) {
    namespace error = test::asio::error;
    const auto& system = error::get_system_category();
    EXPECT_TRUE(is_descriptor_exhaustion(error::no_descriptors));
    EXPECT_TRUE(is_descriptor_exhaustion({ENFILE, system}));
    EXPECT_FALSE(is_descriptor_exhaustion(error::no_memory));
    EXPECT_FALSE(is_descriptor_exhaustion(error::connection_aborted));
}

}  // namespace
}  // namespace parvello
