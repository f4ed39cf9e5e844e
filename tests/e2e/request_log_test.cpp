// The request log of the real binary: filter directives from PARVELLO_LOG that name the
// request's span, and the span shown before the target on standard error.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "agent_process.hpp"

namespace e2e {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

TEST(RequestLog, ADirectiveOnTheRequestSpanLogsOnlyTheRequestsItNames) {
    Sandbox sandbox;
    const unsigned short port = free_port();
    AgentProcess agent({"--no-tray", "--port", std::to_string(port)},
                       sandbox.environment({{"PARVELLO_LOG", "parvello::server[request{method=POST}]=debug"}}));
    ASSERT_TRUE(wait_for_listener(port, agent)) << agent.stderr_so_far();

    ASSERT_TRUE(http_request(port, "GET", "/status").has_value());
    auto refused = http_request(port, "POST", "/print", {"Content-Type: text/plain"}, "{}");
    ASSERT_TRUE(refused.has_value());
    EXPECT_EQ(refused->status, 415);

    const std::string span = " DEBUG request{method=POST uri=/print version=HTTP/1.1}: http::trace: ";
    ASSERT_TRUE(agent.wait_for_stderr(span + "finished processing request")) << agent.stderr_so_far();
    const std::string err = agent.stderr_so_far();
    EXPECT_THAT(err, HasSubstr(span + "started processing request\n"));
    EXPECT_THAT(err, Not(HasSubstr("method=GET")));
    EXPECT_THAT(err, Not(HasSubstr("ignoring")));
}

}  // namespace
}  // namespace e2e
