// POST /status/query and POST /soft-reboot over real HTTP, against printers played by
// pseudo-terminals and loopback listeners: the status objects, the error texts, and the job
// lock they queue on with print jobs.
#include <sys/socket.h>

#include <condition_variable>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <gtest/gtest.h>

#include "job_test_devices.hpp"
#include "pvo-status/parse_status.hpp"
#include "pvo-status/status_json.hpp"
#include "pvo-status/status_query.hpp"
#include "pvo-test-support/slow_intake.hpp"
#include "server_fixture.hpp"
#include "status_replies.hpp"

namespace parvello {
namespace {

using namespace test;
namespace asio = boost::asio;
using asio::ip::tcp;
using pvo_status::Protocol;

std::string serial_json(const std::string& path) {
    return R"({"type":"serial","path":")" + path + R"(","baud":115200})";
}

std::string network_json(const NetworkAddress& address) {
    return R"({"type":"network","host":")" + address.host + R"(","port":)" + std::to_string(address.port) + "}";
}

std::string device_request(std::string_view protocol, const std::string& transport) {
    return R"({"protocol":")" + std::string(protocol) + R"(","transport":)" + transport + "}";
}

// The status object that the agent must send for this reply, exactly.
std::string expected_status(Protocol protocol, const Bytes& reply) {
    const auto status = pvo_status::parse_status(protocol, reply);
    EXPECT_TRUE(status.has_value());
    return status ? pvo_status::to_json_text(*status) : std::string();
}

// Page 2 of a print at 50 %, framed as a NIIMBOT print-status packet.
const Bytes kNiimbotPrinting{0x55, 0x55, 0xB3, 0x04, 0x00, 0x02, 0x32, 0x64, 0xE3, 0xAA, 0xAA};

const Bytes kZplHostStatus = zpl_host_status_head_open();

// Records which device work reached a printer, in order, across the printers of one test.
class WorkLog {
public:
    void add(std::string entry) {
        std::lock_guard lock(mutex_);
        entries_.push_back(std::move(entry));
        changed_.notify_all();
    }
    bool wait_for(std::size_t count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return entries_.size() >= count; });
    }
    std::vector<std::string> entries() {
        std::lock_guard lock(mutex_);
        return entries_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> entries_;
};

// A network printer on a loopback port serving `connections` one after another. Each
// connection either takes a print job (read to its end, logged as "print <data>") or, when
// the request begins with ~HS, answers with the host status on the same connection (logged as
// "status"). Until `open_gate` the first connection is not read, so a job of a held-size label
// holds the job lock.
class NetworkPrinter {
public:
    explicit NetworkPrinter(WorkLog& log, std::size_t connections) : acceptor_(io_), log_(log) {
        acceptor_.open(tcp::v4());
        EXPECT_TRUE(pvo_test_support::take_data_slowly(acceptor_.native_handle()));
        acceptor_.bind({asio::ip::address_v4::loopback(), 0});
        acceptor_.listen();
        gate_open_ = gate_.get_future().share();
        first_connected_ = first_connection_.get_future();
        serving_ = std::thread([this, connections] {
            for (std::size_t i = 0; i < connections; ++i) {
                tcp::socket peer(io_);
                boost::system::error_code ec;
                acceptor_.accept(peer, ec);
                if (ec) return;
                serve(peer, i == 0);
            }
        });
    }
    ~NetworkPrinter() {
        open_gate();
        ::shutdown(acceptor_.native_handle(), SHUT_RDWR);
        serving_.join();
    }

    NetworkAddress address() const { return {"127.0.0.1", acceptor_.local_endpoint().port()}; }
    void open_gate() {
        std::call_once(opened_, [this] { gate_.set_value(); });
    }
    bool wait_first_connection() {
        return first_connected_.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    }

private:
    void serve(tcp::socket& peer, bool first) {
        if (first) {
            first_connection_.set_value();
            gate_open_.wait();
        }
        std::string data;
        char chunk[4096];
        boost::system::error_code ec;
        while (!ec) {
            data.append(chunk, peer.read_some(asio::buffer(chunk), ec));
            if (data == "~HS\r\n") {
                log_.add("status");
                asio::write(peer, asio::buffer(kZplHostStatus), ec);
                data.clear();
            }
        }
        if (!data.empty()) log_.add("print " + data);
    }

    asio::io_context io_;
    tcp::acceptor acceptor_;
    WorkLog& log_;
    std::promise<void> gate_;
    std::shared_future<void> gate_open_;
    std::promise<void> first_connection_;
    std::future<void> first_connected_;
    std::once_flag opened_;
    std::thread serving_;
};

using DeviceRoutes = AgentServer;

TEST_F(DeviceRoutes, StatusQueryAnswersTheFamilysStatusObject) {
    struct Case {
        const char* protocol;
        Protocol parsed_as;
        std::size_t request_size;
        Bytes reply;
    };
    const Case cases[] = {
        {"brotherql", Protocol::BrotherQl, 3, brother_ql_ready()},
        {"NIIMBOT", Protocol::Niimbot, 8, kNiimbotPrinting},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.protocol);
        PtyDevice port;
        auto device = std::async(std::launch::async, [&] {
            Bytes request = port.receive(c.request_size);
            port.send(c.reply);
            return request;
        });
        const auto answer =
            post_json(this->port(), "/status/query", device_request(c.protocol, serial_json(port.path())));
        EXPECT_EQ(answer.result(), http::status::ok) << answer.body();
        EXPECT_EQ(answer[http::field::content_type], "application/json");
        EXPECT_EQ(answer.body(), expected_status(c.parsed_as, c.reply));
        EXPECT_EQ(device.get(), pvo_status::status_query_bytes(c.parsed_as).value());
    }
}

// The printer answers ~HS on the connection that asked; all three lines are read.
TEST_F(DeviceRoutes, NetworkPrinterIsReadOnTheConnectionThatAsked) {
    WorkLog log;
    NetworkPrinter printer(log, 1);
    printer.open_gate();
    const auto answer = post_json(port(), "/status/query", device_request("zpl", network_json(printer.address())));
    EXPECT_EQ(answer.result(), http::status::ok) << answer.body();
    EXPECT_EQ(answer.body(), expected_status(Protocol::Zpl, kZplHostStatus));
    EXPECT_NE(answer.body().find(R"("head_open":true)"), std::string::npos) << answer.body();
}

TEST_F(DeviceRoutes, FailuresAreAnsweredWith400AndTheirText) {
    // A network printer that closes without a word.
    asio::io_context io;
    tcp::acceptor closing(io, tcp::endpoint(asio::ip::address_v4::loopback(), 0));
    const NetworkAddress mute{"127.0.0.1", closing.local_endpoint().port()};
    auto hang_up = std::async(std::launch::async, [&] {
        tcp::socket peer(io);
        closing.accept(peer);
        Bytes request(5);
        asio::read(peer, asio::buffer(request));
    });
    struct Case {
        const char* route;
        std::string body;
        std::string text;
    };
    const Case cases[] = {
        {"/status/query", device_request("zpl", network_json(mute)), "status query timed out (empty reply)"},
        {"/status/query", device_request("tspl", serial_json("/nonexistent/ttyS9")),
         "USB Device ID identity requires a USB transport"},
        {"/status/query", device_request("escpos", R"({"type":"ble","name":"x"})"),
         "status query not supported for protocol EscPos"},
        {"/status/query", device_request(" dymolw", serial_json("/nonexistent/ttyS9")), "unknown protocol:  dymolw"},
        {"/status/query", device_request("dymolw\xC3\x89", serial_json("/nonexistent/ttyS9")),
         "unknown protocol: dymolw\xC3\x89"},
        {"/soft-reboot", device_request("zpl", serial_json("/nonexistent/ttyS9")),
         "soft reboot not supported for protocol Zpl"},
        {"/soft-reboot", device_request("DymoLW", R"({"type":"browser","connection":"usb","api":"webusb"})"),
         "browser transport is not supported by parvello; use usb/serial/network/ble"},
        {"/soft-reboot", device_request("dymo_lw", serial_json("/nonexistent/ttyS9")), "unknown protocol: dymo_lw"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto answer = post_json(port(), c.route, c.body);
        EXPECT_EQ(answer.result(), http::status::bad_request);
        EXPECT_EQ(answer[http::field::content_type], "text/plain; charset=utf-8");
        EXPECT_EQ(answer.body(), c.text);
    }
    hang_up.get();
}

// A serial device that never stops talking (a streaming adapter picked by mistake) must not
// hold the job lock: the status query reads the 32 bytes it asks for (in one chunk of the
// stream), answers with what the parser makes of them, and the print job queued behind it runs.
// The device gives up after a few seconds, so a query that reads on while bytes keep coming
// fails the test instead of hanging it.
TEST_F(DeviceRoutes, SerialDeviceThatNeverPausesDoesNotHoldTheJobLock) {
    WorkLog log;
    NetworkPrinter printer(log, 1);
    printer.open_gate();
    PtyDevice port;
    pvo_device::test::StreamingDevice stream(port);

    Client query(this->port());
    send_request(query, http::verb::post, "/status/query", kJsonHeaders,
                 device_request("dymolw", serial_json(port.path())));
    Client print(this->port());
    send_request(print, http::verb::post, "/print", kJsonHeaders, print_job(printer.address(), {"Qw=="}));

    const auto status = query.read_response();
    EXPECT_EQ(print.read_response().result(), http::status::ok);
    stream.stop();
    EXPECT_FALSE(stream.gave_up()) << "the status query read on while the device kept talking";
    EXPECT_NE(status.body(), "status query timed out (empty reply)");
    EXPECT_TRUE(eventually([&] { return log.entries() == std::vector<std::string>{"print C"}; }));
}

TEST_F(DeviceRoutes, SoftRebootOfALabelWriterAnswersOk) {
    PtyDevice port;
    const auto answer = post_json(this->port(), "/soft-reboot", device_request("DymoLw", serial_json(port.path())));
    EXPECT_EQ(answer.result(), http::status::ok) << answer.body();
    EXPECT_EQ(answer[http::field::content_type], "application/json");
    EXPECT_EQ(answer.body(), R"({"ok":true})");
    EXPECT_EQ(port.receive(2), (Bytes{0x1B, 0x40}));
}

// A status query sent while a print job runs waits for it, and runs before a print job that
// arrived after it. A protocol name that is no protocol is answered at once meanwhile.
TEST_F(DeviceRoutes, QueueOnTheJobLockInArrivalOrder) {
    WorkLog log;
    NetworkPrinter printer(log, 3);
    const std::string print_a = print_job(printer.address(), {pvo_test_support::held_label_base64()});
    const std::string print_c = print_job(printer.address(), {"Qw=="});  // "C"

    Client first(port());
    send_request(first, http::verb::post, "/print", kJsonHeaders, print_a);
    ASSERT_TRUE(printer.wait_first_connection());  // the job holds the lock until the gate opens

    Client query(port());
    send_request(query, http::verb::post, "/status/query", kJsonHeaders,
                 device_request("zpl", network_json(printer.address())));
    ASSERT_TRUE(eventually([&] { return state_.job_lock->waiting() == 1; }));
    Client last(port());
    send_request(last, http::verb::post, "/print", kJsonHeaders, print_c);
    ASSERT_TRUE(eventually([&] { return state_.job_lock->waiting() == 2; }));

    const auto unknown = post_json(port(), "/status/query", device_request("laser", network_json(printer.address())));
    EXPECT_EQ(unknown.result(), http::status::bad_request);
    EXPECT_EQ(unknown.body(), "unknown protocol: laser");
    EXPECT_TRUE(log.entries().empty());

    printer.open_gate();
    EXPECT_EQ(first.read_response().result(), http::status::ok);
    const auto status = query.read_response();
    EXPECT_EQ(status.result(), http::status::ok) << status.body();
    EXPECT_EQ(last.read_response().result(), http::status::ok);
    const std::string print_held = "print " + std::string(pvo_test_support::kHeldLabelSize, '\0');
    EXPECT_TRUE(log.entries() == (std::vector<std::string>{print_held, "status", "print C"}));
}

}  // namespace
}  // namespace parvello
