// The server against clients that hold it up, over real loopback sockets with short limits
// passed in: each limit closes the connection that overstays it, while a page on another
// connection is still served.
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <boost/beast/websocket/stream.hpp>
#include <gtest/gtest.h>

#include "job_test_devices.hpp"
#include "server_fixture.hpp"
#include "server_log_capture.hpp"
#include "ws_test_client.hpp"

namespace parvello {
namespace {

using namespace test;
using namespace std::chrono_literals;
namespace websocket = boost::beast::websocket;

// Far below the production limits, yet long enough that a client of the test that sends at
// once is not cut, even on a loaded machine.
constexpr ConnectionLimits kShort{.idle = 1s, .head = 1s, .stall = 1s, .send = 1s};

class LimitedServer {
public:
    explicit LimitedServer(ConnectionLimits limits) {
        auto started = RunningServer::start(state_, {.io_threads = 2, .blocking_threads = 2, .limits = limits});
        if (!started) throw std::runtime_error(started.error().message);
        server_.emplace(std::move(*started));
    }

    std::uint16_t port() const { return server_->port(); }
    AppState& state() { return state_; }

private:
    AppState state_{free_port(), false};
    std::optional<RunningServer> server_;
};

int fd_of(Client& client) { return client.socket().native_handle(); }
int fd_of(WsClient& client) { return client.stream().next_layer().native_handle(); }

TEST(ServerLimits, ConnectionsThatKeepTheServerWaitingAreClosedWhileAPageIsServed) {
    struct Case {
        const char* name;
        std::string sent;
    };
    const std::string post_head = "POST /print HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n";
    const Case cases[] = {
        {"silent from the start", ""},
        {"kept alive after its answer", "GET /status HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"},
        {"head that stops half-way", "GET /status HTTP/1.1\r\nHost: 127.0.0.1\r\n"},
        {"body that stops", post_head + "Content-Length: 1000\r\n\r\n{\"handshake\":"},
        {"chunked body that stops", post_head + "Transfer-Encoding: chunked\r\n\r\n40\r\n{\"handshake\":"},
    };
    LimitedServer server(kShort);
    // A page's job channel that waits for its next job all the while.
    WsClient channel(server.port());
    std::vector<std::unique_ptr<Client>> clients;
    for (const auto& c : cases) {
        clients.push_back(std::make_unique<Client>(server.port()));
        if (!c.sent.empty()) clients.back()->send(c.sent);
    }
    WsClient stalled(server.port());
    stalled.stream().text(true);
    stalled.stream().write_some(false, asio::buffer(std::string_view(R"({"handshake":)")));

    EXPECT_EQ(Client(server.port()).request(http::verb::get, "/status").result(), http::status::ok);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_TRUE(read_until_closed(fd_of(*clients[i])).closed) << cases[i].name;
    }
    EXPECT_TRUE(read_until_closed(fd_of(stalled)).closed) << "WebSocket message that stops half-way";

    // The channel has waited longer than every limit by now; it is left open all the same.
    channel.send_text("{}");
    EXPECT_TRUE(channel.read().starts_with(R"({"type":"error","message":"invalid job JSON: )"));
}

TEST(ServerLimits, AtTheConnectionCapTheConnectionWaitingLongestMakesRoom) {
    LimitedServer server({.max_connections = 3});
    std::vector<std::unique_ptr<Client>> idle;
    for (int i = 0; i < 3; ++i) idle.push_back(std::make_unique<Client>(server.port()));

    Client page(server.port());
    EXPECT_EQ(page.request(http::verb::get, "/status").result(), http::status::ok);
    EXPECT_TRUE(read_until_closed(fd_of(*idle[0])).closed);
    EXPECT_EQ(idle[2]->request(http::verb::get, "/status").result(), http::status::ok);
}

// What a client sends on after a refusal is read and dropped only up to a bound: a client that
// would send forever is cut off once that much has come, long before the time limit.
TEST(ServerLimits, InputDroppedAfterARefusalIsBounded) {
    LimitedServer server({.idle = 60s, .head = 60s, .stall = 60s, .send = 60s, .max_discard_bytes = 64 * 1024});
    Client client(server.port());
    client.send(
        "POST /print HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: text/plain\r\n"
        "Content-Length: 100000000\r\n\r\n");
    // Far more than the bound and every buffer between the two ends can hold.
    const std::string chunk(1024 * 1024, ' ');
    beast::error_code error;
    for (int i = 0; i < 100 && !error; ++i) asio::write(client.socket(), asio::buffer(chunk), error);
    EXPECT_TRUE(error);
}

// A page's job channel, opened first and idle between jobs, is not what local programs holding
// plain connections open take from it: those make room among themselves, and a channel is
// closed only when no plain connection waits.
TEST(ServerLimits, AtTheConnectionCapIdlePlainConnectionsGoBeforeAJobChannel) {
    LimitedServer server({.max_connections = 3});
    WsClient channel(server.port());
    std::vector<std::unique_ptr<Client>> idle;
    for (int i = 0; i < 2; ++i) idle.push_back(std::make_unique<Client>(server.port()));

    Client page(server.port());
    EXPECT_TRUE(read_until_closed(fd_of(*idle[0])).closed);
    EXPECT_EQ(page.request(http::verb::get, "/status").result(), http::status::ok);
    Client second_page(server.port());
    EXPECT_TRUE(read_until_closed(fd_of(*idle[1])).closed);
    EXPECT_EQ(second_page.request(http::verb::get, "/status").result(), http::status::ok);
    channel.send_text("{}");
    EXPECT_TRUE(channel.read().starts_with(R"({"type":"error","message":"invalid job JSON: )"));

    // Only channels wait now: the one that has waited longest makes room.
    LimitedServer channels({.max_connections = 2});
    WsClient older(channels.port()), newer(channels.port());
    newer.send_text("{}");
    EXPECT_TRUE(newer.read().starts_with(R"({"type":"error")"));
    Client newcomer(channels.port());
    EXPECT_TRUE(read_until_closed(fd_of(older)).closed);
    EXPECT_EQ(newcomer.request(http::verb::get, "/status").result(), http::status::ok);
}

// Connections the agent works for are never cut to make room: a newcomer is refused instead.
TEST(ServerLimits, AtTheConnectionCapANewcomerIsRefusedWhileEveryConnectionIsBusy) {
    LimitedServer server({.max_connections = 2});
    std::optional<FairMutex::Guard> held{server.state().job_lock->lock()};
    // Jobs that fail at their handshake name once they have the lock; they never reach a device.
    const RefusingPort nowhere;
    const std::string job = print_job(nowhere.address(), {"QUJD"}, "no_such_handshake");
    Client first(server.port()), second(server.port());
    send_request(first, http::verb::post, "/print", kJsonHeaders, job);
    send_request(second, http::verb::post, "/print", kJsonHeaders, job);
    ASSERT_TRUE(eventually([&] { return server.state().job_lock->waiting() == 2; }));

    Client newcomer(server.port());
    const UntilClosed refused = read_until_closed(fd_of(newcomer));
    EXPECT_TRUE(refused.closed);
    EXPECT_EQ(refused.received, "");

    held.reset();
    EXPECT_EQ(first.read_response().result(), http::status::bad_request);
    EXPECT_EQ(second.read_response().result(), http::status::bad_request);
}

// A page whose job channel stops reading during a long job (its events pile up in the
// buffers), and a second page whose POST /print queues behind that job.
class SilentChannelAndPage {
public:
    // Some 270 KB of events: far more than the buffers below hold, even when the kernel lets
    // small buffers grow.
    static constexpr std::size_t kLabels = 1000;

    SilentChannelAndPage(LimitedServer& server, const LoopbackPrinter& printer) : silent_(io_), page_(server.port()) {
        silent_.next_layer().open(tcp::v4());
        silent_.next_layer().set_option(asio::socket_base::receive_buffer_size(4096));
        silent_.next_layer().connect({asio::ip::address_v4::loopback(), server.port()});
        silent_.handshake("127.0.0.1", "/ws");
        // Loopback send buffers grow to megabytes and would take a whole job's events without a
        // wait; a small one, as on a congested link, makes the server's sends wait.
        const int server_side = server_end(server.port(), silent_.next_layer().local_endpoint().port());
        EXPECT_GE(server_side, 0);
        const int small = 4096;
        EXPECT_EQ(::setsockopt(server_side, SOL_SOCKET, SO_SNDBUF, &small, sizeof small), 0);

        // The test holds the job lock until both jobs wait for it, so they run in this order.
        std::optional<FairMutex::Guard> held{server.state().job_lock->lock()};
        silent_.text(true);
        silent_.write(asio::buffer(print_job(printer.address(), std::vector<std::string>(kLabels, "QUJD"))));
        EXPECT_TRUE(eventually([&] { return server.state().job_lock->waiting() == 1; }));
        const std::string job = print_job(printer.address(), {"REVG"});
        page_.send(
            "POST /print HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\nConnection: close\r\n"
            "Content-Length: " +
            std::to_string(job.size()) + "\r\n\r\n" + job);
        EXPECT_TRUE(eventually([&] { return server.state().job_lock->waiting() == 2; }));
    }

    int silent_fd() { return silent_.next_layer().native_handle(); }
    Client& page() { return page_; }

private:
    asio::io_context io_;
    websocket::stream<tcp::socket> silent_;
    Client page_;
};

void expect_one_label_answer(const UntilClosed& answer) {
    EXPECT_TRUE(answer.received.starts_with("HTTP/1.1 200 OK\r\n")) << answer.received;
    EXPECT_TRUE(answer.received.ends_with(R"({"completed":1,"total":1})")) << answer.received;
}

// A page that stops reading during a job loses its connection once a send to it has waited
// out the limit; its job runs to its end, and another page's job, queued behind it, runs then.
TEST(ServerLimits, AWebSocketClientThatStopsReadingLosesItsConnectionAndTheNextPrintRuns) {
    LimitedServer server({.send = 100ms});
    LoopbackPrinter printer;
    constexpr std::size_t kLabels = SilentChannelAndPage::kLabels;
    auto received = printer.serve(kLabels + 1);
    std::optional<SilentChannelAndPage> clients;
    clients.emplace(server, printer);

    // The silent client reads nothing until the page has its answer.
    expect_one_label_answer(read_until_closed(fd_of(clients->page()), 60s));
    const auto connections = received.get();
    ASSERT_EQ(connections.size(), kLabels + 1);
    // Every label of the silent client's job, then the page's.
    for (std::size_t i = 0; i < connections.size(); ++i) {
        if (connections[i] != bytes_of(i + 1 == connections.size() ? "DEF" : "ABC")) {
            ADD_FAILURE() << "connection " << i << ": " << std::string(connections[i].begin(), connections[i].end());
        }
    }
    EXPECT_TRUE(read_until_closed(clients->silent_fd()).closed);
}

// The job lock is held no longer than the job itself: when the silent page's job ends, the
// page queued behind it is served at once, while the events still owed to the silent page
// wait for it (here far longer than the test) outside the lock.
TEST(ServerLimits, AWebSocketClientThatStopsReadingHoldsTheLockNoLongerThanItsJob) {
    LimitedServer server({.send = 20s});
    LoopbackPrinter printer;
    auto silent_job = printer.serve(SilentChannelAndPage::kLabels);
    SilentChannelAndPage clients(server, printer);

    EXPECT_EQ(silent_job.get().size(), SilentChannelAndPage::kLabels);
    const auto job_end = std::chrono::steady_clock::now();
    auto page_job = printer.serve(1);
    expect_one_label_answer(read_until_closed(fd_of(clients.page()), 60s));
    EXPECT_LT(std::chrono::steady_clock::now() - job_end, 1s);
    EXPECT_EQ(page_job.get(), std::vector<Bytes>{bytes_of("DEF")});
    // The silent page is still connected, its events waiting for it.
    EXPECT_FALSE(read_until_closed(clients.silent_fd(), 10ms).closed);
}

// The lowest descriptor number free in this process: every one below it is in use.
int lowest_free_descriptor() {
    const int probe = ::dup(STDERR_FILENO);
    ::close(probe);
    return probe;
}

// When accepting fails for want of a descriptor, the accept loop says so at WARN and closes
// the connection that has waited longest on its client, so the next client is served.
TEST(ServerLimits, OutOfDescriptorsTheLongestWaitingConnectionMakesRoom) {
#if defined(__SANITIZE_ADDRESS__)
    // UBSan's type checks, built in with AddressSanitizer here, probe memory through a pipe
    // and report false faults when no descriptor is left.
    GTEST_SKIP() << "runs in builds whose sanitizers need no descriptors of their own";
#endif
    auto* const log = LogCapture::get();
    const std::size_t mark = log ? log->mark() : 0;
    LimitedServer server({.descriptor_reserve = 0});
    std::vector<std::unique_ptr<Client>> idle;
    for (int i = 0; i < 4; ++i) idle.push_back(std::make_unique<Client>(server.port()));
    // Connections are accepted in the order they came: once a later one is served, every idle
    // one has been accepted, the first of them waiting longest.
    ASSERT_EQ(Client(server.port()).request(http::verb::get, "/status").result(), http::status::ok);
    asio::io_context io;
    tcp::socket page(io);
    page.open(tcp::v4());

    rlimit own{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &own), 0);
    rlimit exhausted = own;
    exhausted.rlim_cur = static_cast<rlim_t>(lowest_free_descriptor());
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &exhausted), 0);
    beast::error_code connected;
    page.connect({asio::ip::address_v4::loopback(), server.port()}, connected);
    const UntilClosed first = read_until_closed(fd_of(*idle[0]));
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &own), 0);

    ASSERT_FALSE(connected) << connected.message();
    EXPECT_TRUE(first.closed);
    asio::write(page,
                asio::buffer(std::string_view("GET /status HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n")));
    EXPECT_TRUE(read_until_closed(page.native_handle()).received.starts_with("HTTP/1.1 200 OK\r\n"));
    if (log) {
        const std::string warning = "WARN parvello::server: accept error: " + std::string(std::strerror(EMFILE));
        EXPECT_FALSE(log->lines_with(warning, mark).empty());
    }
}

}  // namespace
}  // namespace parvello
