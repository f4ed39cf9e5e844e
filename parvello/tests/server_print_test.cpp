// POST /print over real HTTP to loopback printers: the counts, the error answers, and the one
// device slot that every job waits for in arrival order.
#include <sys/socket.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <boost/asio/ip/tcp.hpp>
#include <gtest/gtest.h>

#include "parvello/product.hpp"
#include "pvo-test-support/slow_intake.hpp"
#include "base64_encoder.hpp"
#include "job_test_devices.hpp"
#include "server/routes.hpp"
#include "server_fixture.hpp"

namespace parvello {
namespace {

using namespace test;

std::string base64_of(std::string_view text) { return encode_base64(bytes_of(text)); }

// The label that a held printer keeps waiting, as the printer receives it.
const std::string kHeldLabel(pvo_test_support::kHeldLabelSize, '\0');

// A network printer that takes `connections` jobs, each on its own thread so that two jobs
// at once would both be seen, and counts the jobs it holds at a time. While it is held, it
// reads nothing: a job of a held-size label then waits for it until `release`.
class SharedPrinter {
public:
    explicit SharedPrinter(std::size_t connections) : acceptor_(io_) {
        acceptor_.open(boost::asio::ip::tcp::v4());
        EXPECT_TRUE(pvo_test_support::take_data_slowly(acceptor_.native_handle()));
        acceptor_.bind({boost::asio::ip::address_v4::loopback(), 0});
        acceptor_.listen();
        accepting_ = std::thread([this, connections] {
            for (std::size_t i = 0; i < connections; ++i) {
                auto peer = std::make_shared<boost::asio::ip::tcp::socket>(io_);
                boost::system::error_code ec;
                acceptor_.accept(*peer, ec);
                if (ec) return;
                serving_.emplace_back([this, peer] { serve(*peer); });
            }
        });
    }

    // A test that failed early leaves the accepting thread waiting: shutting the listener
    // down wakes it.
    ~SharedPrinter() {
        release();
        ::shutdown(acceptor_.native_handle(), SHUT_RDWR);
        join();
    }

    NetworkAddress address() const { return {"127.0.0.1", acceptor_.local_endpoint().port()}; }

    void hold() {
        std::lock_guard lock(mutex_);
        held_ = true;
    }

    void release() {
        std::lock_guard lock(mutex_);
        held_ = false;
        changed_.notify_all();
    }

    bool wait_in_use(int count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return in_use_ == count; });
    }

    int in_use() {
        std::lock_guard lock(mutex_);
        return in_use_;
    }

    // The most jobs held at once, and every job's data in the order the jobs ended; waits for
    // every connection to end.
    std::pair<int, std::vector<std::string>> finish() {
        join();
        std::lock_guard lock(mutex_);
        return {max_in_use_, jobs_};
    }

private:
    void join() {
        if (accepting_.joinable()) accepting_.join();
        for (auto& thread : serving_) thread.join();
        serving_.clear();
    }

    void serve(boost::asio::ip::tcp::socket& peer) {
        {
            std::unique_lock lock(mutex_);
            max_in_use_ = std::max(max_in_use_, ++in_use_);
            changed_.notify_all();
            changed_.wait(lock, [&] { return !held_; });
        }
        std::string data;
        char chunk[65536];
        boost::system::error_code ec;
        while (!ec) data.append(chunk, peer.read_some(boost::asio::buffer(chunk), ec));
        std::lock_guard lock(mutex_);
        --in_use_;
        jobs_.push_back(std::move(data));
        changed_.notify_all();
    }

    boost::asio::io_context io_;
    boost::asio::ip::tcp::acceptor acceptor_;
    std::thread accepting_;
    std::vector<std::thread> serving_;

    std::mutex mutex_;
    std::condition_variable changed_;
    bool held_ = false;
    int in_use_ = 0;
    int max_in_use_ = 0;
    std::vector<std::string> jobs_;
};

using PostPrint = AgentServer;

TEST_F(PostPrint, DeliversEveryLabelAndAnswersTheCounts) {
    LoopbackPrinter printer;
    auto received = printer.serve(3);
    const auto answer =
        post_json(port(), "/print", print_job(printer.address(), {base64_of("ONE"), base64_of("TWO"), " VEhSRUU=\\n"}));
    EXPECT_EQ(answer.result(), http::status::ok);
    EXPECT_EQ(answer[http::field::content_type], "application/json");
    EXPECT_EQ(answer.body(), R"({"completed":3,"total":3})");
    EXPECT_EQ(answer["x-parvello-version"], kVersion);
    EXPECT_EQ(received.get(), (std::vector<Bytes>{bytes_of("ONE"), bytes_of("TWO"), bytes_of("THREE")}));
}

TEST_F(PostPrint, JobErrorsAreAnsweredAsPlainTextWithTheirStatus) {
    LoopbackPrinter printer;
    const RefusingPort refusing;
    const NetworkAddress target = printer.address();
    struct Case {
        std::string body;
        http::status status;
        std::string text;  // a prefix where the rest is the system's wording
    };
    const Case cases[] = {
        {print_job(target, {}), http::status::bad_request, "job has no labels"},
        {print_job(target, {"QUJD"}, "laser"), http::status::bad_request, "unknown handshake id: laser"},
        {print_job(target, {"QUJD", "QUI"}), http::status::bad_request, "label 1: invalid base64: Invalid padding"},
        {R"({"protocol":"p","handshake":"dymo_lw","transport":{"type":"browser","connection":"usb","api":"webusb"},)"
         R"("labels":[{"data_base64":"QUJD"}]})",
         http::status::bad_request, "browser transport is not supported by parvello; use usb/serial/network/ble"},
        {print_job(target, {" "}), http::status::bad_gateway, "delivery: empty label payload"},
        {print_job(refusing.address(), {"QUJD"}), http::status::bad_gateway,
         "transport: transport error: connect 127.0.0.1:" + std::to_string(refusing.address().port) + ": "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto answer = post_json(port(), "/print", c.body);
        EXPECT_EQ(answer.result(), c.status);
        EXPECT_EQ(answer[http::field::content_type], "text/plain; charset=utf-8");
        EXPECT_TRUE(answer.body().starts_with(c.text)) << answer.body();
        EXPECT_EQ(answer["x-parvello-version"], kVersion);
    }
    // None of these jobs got as far as the printer.
    EXPECT_FALSE(printer.has_unaccepted_connection());
}

TEST(PrintResponse, AFailedWorkerIsAnsweredWith500) {
    const auto answer = print_response(std::unexpected(WorkerFailure{"blocking worker failed: out of memory"}));
    EXPECT_EQ(answer.status, Status::InternalServerError);
    EXPECT_EQ(answer.fields.get("Content-Type"), "text/plain; charset=utf-8");
    EXPECT_EQ(answer.body, "blocking worker failed: out of memory");
}

// Jobs sent while one is running wait for it and then run one at a time, in the order they
// arrived; the printer never holds two at once.
TEST_F(PostPrint, JobsRunOneAtATimeInArrivalOrder) {
    constexpr int kJobs = 4;
    SharedPrinter printer(kJobs);
    printer.hold();
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < kJobs; ++i) {
        clients.push_back(std::make_unique<Client>(port()));
        const std::string label =
            i == 0 ? pvo_test_support::held_label_base64() : base64_of("job " + std::to_string(i));
        send_request(*clients.back(), http::verb::post, "/print", kJsonHeaders, print_job(printer.address(), {label}));
        if (i == 0) {
            ASSERT_TRUE(printer.wait_in_use(1));
        } else {
            ASSERT_TRUE(eventually([&] { return state_.job_lock->waiting() == static_cast<std::size_t>(i); }))
                << "job " << i << " did not queue behind the running job";
        }
    }
    EXPECT_EQ(printer.in_use(), 1);
    printer.release();

    for (auto& client : clients) {
        const auto answer = client->read_response();
        EXPECT_EQ(answer.result(), http::status::ok);
        EXPECT_EQ(answer.body(), R"({"completed":1,"total":1})");
    }
    const auto [max_in_use, jobs] = printer.finish();
    EXPECT_EQ(max_in_use, 1);
    EXPECT_TRUE(jobs == (std::vector<std::string>{kHeldLabel, "job 1", "job 2", "job 3"}));
}

// A client that goes away does not end its job's hold on the device: the next job still
// waits for the running one to end.
TEST_F(PostPrint, AJobWhoseClientLeftKeepsTheDeviceUntilItEnds) {
    SharedPrinter printer(2);
    printer.hold();
    {
        Client leaving(port());
        send_request(leaving, http::verb::post, "/print", kJsonHeaders,
                     print_job(printer.address(), {pvo_test_support::held_label_base64()}));
        ASSERT_TRUE(printer.wait_in_use(1));
    }
    Client next(port());
    send_request(next, http::verb::post, "/print", kJsonHeaders, print_job(printer.address(), {"REVG"}));
    ASSERT_TRUE(eventually([&] { return state_.job_lock->waiting() == 1; }));
    EXPECT_EQ(printer.in_use(), 1);
    printer.release();

    EXPECT_EQ(next.read_response().result(), http::status::ok);
    const auto [max_in_use, jobs] = printer.finish();
    EXPECT_EQ(max_in_use, 1);
    EXPECT_TRUE(jobs == (std::vector<std::string>{kHeldLabel, "DEF"}));
}

TEST_F(PostPrint, StatusAnswersWhileAJobRuns) {
    SharedPrinter printer(1);
    printer.hold();
    Client printing(port());
    send_request(printing, http::verb::post, "/print", kJsonHeaders,
                 print_job(printer.address(), {pvo_test_support::held_label_base64()}));
    ASSERT_TRUE(printer.wait_in_use(1));

    Client asking(port());
    EXPECT_EQ(asking.request(http::verb::get, "/status").result(), http::status::ok);
    EXPECT_EQ(printer.in_use(), 1);

    printer.release();
    EXPECT_EQ(printing.read_response().body(), R"({"completed":1,"total":1})");
}

}  // namespace
}  // namespace parvello
