// The built agent against clients that could hold it up: heads too large to take, and idle
// connections until the process runs low on descriptors. A page must still get its answers.
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "agent_process.hpp"

namespace e2e {
namespace {

const std::string kPageOrigin = "http://localhost:5173";

class RunningAgent {
public:
    RunningAgent()
        : port_(free_port()), agent_({"--no-tray", "--port", std::to_string(port_)}, sandbox_.environment()) {
        ready_ = wait_for_listener(port_, agent_);
    }
    bool ready() const { return ready_; }
    unsigned short port() const { return port_; }
    AgentProcess& process() { return agent_; }

private:
    Sandbox sandbox_;
    unsigned short port_;
    AgentProcess agent_;
    bool ready_ = false;
};

// A head too large to take is answered, not dropped: 431 with a plain-text reason and the
// headers of every answer. A head with localhost cookies well beyond 8 KiB is served.
TEST(AgentConnections, AnOversizedHeadIsAnswered431AndLargeCookiesAreServed) {
    RunningAgent agent;
    ASSERT_TRUE(agent.ready()) << agent.process().stderr_so_far();

    const auto cookies = http_request(agent.port(), "GET", "/status",
                                      {"Origin: " + kPageOrigin, "Cookie: session=" + std::string(9 * 1024, 'c')});
    ASSERT_TRUE(cookies.has_value()) << "the connection was dropped without an answer";
    EXPECT_EQ(cookies->status, 200);

    const auto oversized = http_request(agent.port(), "GET", "/status",
                                        {"Origin: " + kPageOrigin, "Cookie: session=" + std::string(100 * 1024, 'c')});
    ASSERT_TRUE(oversized.has_value()) << "the connection was dropped without an answer";
    EXPECT_EQ(oversized->status, 431);
    EXPECT_EQ(oversized->header("content-type"), "text/plain; charset=utf-8");
    EXPECT_EQ(oversized->body, "request head larger than 65536 bytes");
    EXPECT_EQ(oversized->header("access-control-allow-origin"), kPageOrigin);
    EXPECT_EQ(oversized->header("x-parvello-version"), PARVELLO_VERSION);
    EXPECT_EQ(oversized->header("connection"), "close");

    // The agent serves on.
    const auto after = http_request(agent.port(), "GET", "/status");
    ASSERT_TRUE(after.has_value());
    EXPECT_EQ(after->status, 200);
}

std::size_t open_descriptors(pid_t pid) {
    const auto folder = std::filesystem::path("/proc") / std::to_string(pid) / "fd";
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

// Started with a low soft limit on descriptors, the agent raises it to the hard limit. When
// even that runs low, the connections that have waited longest on their clients make room, so
// idle connections from another local process cannot lock a page out.
TEST(AgentConnections, RunningLowOnDescriptorsLocksNoPageOut) {
    rlimit own{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &own), 0);
    constexpr rlim_t kLowSoftLimit = 64;
    ASSERT_GT(own.rlim_max, kLowSoftLimit);
    // The agent inherits the low soft limit; the test's own is restored at once.
    rlimit low = own;
    low.rlim_cur = kLowSoftLimit;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    RunningAgent agent;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &own), 0);
    ASSERT_TRUE(agent.ready()) << agent.process().stderr_so_far();
    const pid_t pid = agent.process().pid();

    rlimit agent_limit{};
    ASSERT_EQ(::prlimit(pid, RLIMIT_NOFILE, nullptr, &agent_limit), 0);
    EXPECT_EQ(agent_limit.rlim_cur, own.rlim_max);

    // Room for a few connections beyond the descriptors the agent keeps free for its own
    // work, then idle connections enough to take that room many times over.
    constexpr std::size_t kReserve = 32, kRoom = 8;
    const rlim_t tight = open_descriptors(pid) + kReserve + kRoom;
    const rlimit tight_limit{tight, tight};
    ASSERT_EQ(::prlimit(pid, RLIMIT_NOFILE, &tight_limit, nullptr), 0);
    std::vector<int> idle;
    for (std::size_t i = 0; i < 6 * kRoom; ++i) {
        const int fd = connect_loopback(agent.port());
        ASSERT_GE(fd, 0) << std::strerror(errno);
        idle.push_back(fd);
    }

    const auto status = http_request(agent.port(), "GET", "/status", {"Origin: " + kPageOrigin});
    for (const int fd : idle) ::close(fd);
    ASSERT_TRUE(status.has_value()) << "the page got no answer";
    EXPECT_EQ(status->status, 200);
}

}  // namespace
}  // namespace e2e
