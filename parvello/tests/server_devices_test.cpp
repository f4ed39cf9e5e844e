// GET /devices over real HTTP: the device list of this machine, also while a job holds the
// job lock, and listings that never keep a job from its thread. (The exact lists against
// emulated hardware are tested through the built agent.)
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include <gtest/gtest.h>

#include "job_test_devices.hpp"
#include "pvo-device/discovery.hpp"
#include "server_fixture.hpp"

namespace parvello {
namespace {

using namespace test;

using GetDevices = test::AgentServer;

TEST_F(GetDevices, AnswersTheListWithoutWaitingForTheJobLock) {
    const auto job = state_.job_lock->lock();
    Client client(port());
    const auto answer = client.request(http::verb::get, "/devices");
    EXPECT_EQ(answer.result(), http::status::ok);
    EXPECT_EQ(answer[http::field::content_type], "application/json");
    EXPECT_EQ(answer["x-parvello-version"], PVO_VERSION);
    EXPECT_EQ(answer.body(), pvo_device::write_device_list(pvo_device::discover_devices()));
}

// Listings that stop until the test lets them go on.
class ListingGate {
public:
    std::string list() {
        std::unique_lock lock(mutex_);
        ++entered_;
        changed_.notify_all();
        changed_.wait(lock, [this] { return open_; });
        return "[]";
    }

    bool wait_entered(unsigned count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return entered_ == count; });
    }

    void open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    unsigned entered_ = 0;
    bool open_ = false;
};

// Listings run beside jobs on threads of their own: with every listing thread held in a
// listing and more listings queued behind them, a print job still starts and ends at once.
TEST(DeviceListings, AJobStartsWhileListingsHoldEveryListingThread) {
    constexpr unsigned kListingThreads = 2;
    static ListingGate gate;
    AppState state{free_port(), false};
    auto server = RunningServer::start(
        state, {.io_threads = 2, .blocking_threads = kListingThreads, .device_listing = [] { return gate.list(); }});
    ASSERT_TRUE(server) << server.error().message;
    // Lets the listings go on before the server waits for its threads, also when a check fails.
    const std::unique_ptr<ListingGate, void (*)(ListingGate*)> opener(&gate, [](ListingGate* g) { g->open(); });

    std::vector<std::unique_ptr<Client>> listings;
    for (unsigned i = 0; i < kListingThreads + 2; ++i) {
        listings.push_back(std::make_unique<Client>(server->port()));
        send_request(*listings.back(), http::verb::get, "/devices", {{"Host", "127.0.0.1"}});
    }
    ASSERT_TRUE(gate.wait_entered(kListingThreads));

    LoopbackPrinter printer;
    auto received = printer.serve(1);
    Client page(server->port());
    send_request(page, http::verb::post, "/print",
                 {{"Host", "127.0.0.1"}, {"Content-Type", "application/json"}, {"Connection", "close"}},
                 print_job(printer.address(), {"QUJD"}));
    const UntilClosed answer = read_until_closed(page.socket().native_handle(), std::chrono::seconds(10));
    EXPECT_TRUE(answer.received.ends_with(R"({"completed":1,"total":1})")) << answer.received;
    EXPECT_EQ(received.get(), std::vector<Bytes>{bytes_of("ABC")});
    EXPECT_TRUE(gate.wait_entered(kListingThreads)) << "a queued listing ran beside the held ones";

    gate.open();
    for (auto& listing : listings) EXPECT_EQ(listing->read_response().body(), "[]");
}

}  // namespace
}  // namespace parvello
