// GET /devices over real HTTP: the device list of this machine, also while a job holds the
// job lock. (The exact lists against emulated hardware are tested through the built agent.)
#include <gtest/gtest.h>

#include "pvo-device/discovery.hpp"
#include "server_fixture.hpp"

namespace parvello {
namespace {

using testing::Client;
namespace http = testing::http;

using GetDevices = testing::AgentServer;

TEST_F(GetDevices, AnswersTheListWithoutWaitingForTheJobLock) {
    const auto job = state_.job_lock->lock();
    Client client(port());
    const auto answer = client.request(http::verb::get, "/devices");
    EXPECT_EQ(answer.result(), http::status::ok);
    EXPECT_EQ(answer[http::field::content_type], "application/json");
    EXPECT_EQ(answer["x-parvello-version"], PVO_VERSION);
    EXPECT_EQ(answer.body(), pvo_device::write_device_list(pvo_device::discover_devices()));
}

}  // namespace
}  // namespace parvello
