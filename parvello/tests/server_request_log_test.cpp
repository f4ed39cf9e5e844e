// The request-logging layer: DEBUG events around every request, ERROR for a 5xx answer.
#include <string>
#include <thread>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <gtest/gtest.h>

#include "server/connection.hpp"
#include "server/routes.hpp"
#include "server/router.hpp"
#include "server_log_capture.hpp"
#include "server_test_client.hpp"

namespace parvello {
namespace {

using test::Client;
using test::LogCapture;
using test::tcp;

asio::awaitable<Response> failing_route(Request&, HandlerContext) { co_return empty_response(Status::BadGateway); }

// One connection served by a router with the logging layer alone.
std::vector<std::string> log_of(http::verb method, std::string_view target) {
    asio::io_context io;
    asio::thread_pool pool(1);
    tcp::acceptor acceptor(io, {asio::ip::address_v4::loopback(), 0});
    auto router = std::make_shared<const Router>(std::vector<Route>{{Method::Get, "/fail", failing_route}},
                                                 std::vector<Layer>{request_logging_layer},
                                                 HandlerContext{AppState(0, true), pool.get_executor()});
    const std::size_t mark = LogCapture::get()->mark();
    std::thread server([&] {
        auto socket = acceptor.accept();
        asio::co_spawn(io, serve_connection(std::move(socket), router), asio::detached);
        io.run();
    });
    Client(acceptor.local_endpoint().port()).request(method, target);
    server.join();
    pool.join();
    return LogCapture::get()->lines_with(std::string(" uri=") + std::string(target) + " ", mark);
}

class RequestLog : public ::testing::Test {
protected:
    void SetUp() override {
        if (!LogCapture::get()) GTEST_SKIP() << "another logging stack is installed in this process";
    }
};

TEST_F(RequestLog, EveryRequestIsLoggedAtDebugUnderTheLayersOwnTarget) {
    const auto lines = log_of(http::verb::get, "/nothing-here?q=1");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0],
              "DEBUG request{method=GET uri=/nothing-here?q=1 version=HTTP/1.1}: http::trace: "
              "started processing request");
    EXPECT_TRUE(
        lines[1].starts_with("DEBUG request{method=GET uri=/nothing-here?q=1 version=HTTP/1.1}: "
                             "http::trace: finished processing request latency="))
        << lines[1];
    EXPECT_TRUE(lines[1].ends_with(" ms status=404")) << lines[1];
}

TEST_F(RequestLog, AServerErrorAnswerIsAlsoLoggedAtError) {
    const auto lines = log_of(http::verb::get, "/fail?server-error");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(lines[1].ends_with(" ms status=502")) << lines[1];
    EXPECT_TRUE(
        lines[2].starts_with("ERROR request{method=GET uri=/fail?server-error version=HTTP/1.1}: "
                             "http::trace: response failed classification=Status code: 502 latency="))
        << lines[2];
}

// The request's span belongs to the server's target, so a directive naming it selects requests
// by their method or path, whatever the target of the events themselves.
TEST_F(RequestLog, SpanDirectivesSelectRequestsByTheirFields) {
    {
        const pvo_test_support::LogCapture::Narrowed narrowed(*LogCapture::get(),
                                                              "parvello::server[request{method=POST}]=debug");
        EXPECT_EQ(log_of(http::verb::get, "/by-method").size(), 0u);
        const auto lines = log_of(http::verb::post, "/by-method");
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0],
                  "DEBUG request{method=POST uri=/by-method version=HTTP/1.1}: http::trace: "
                  "started processing request");
    }
    {
        // Everything at DEBUG but the polling of one path; its server errors still show.
        const pvo_test_support::LogCapture::Narrowed narrowed(
            *LogCapture::get(), "http=debug,parvello::server[request{uri=/fail?polled}]=error");
        EXPECT_EQ(log_of(http::verb::get, "/fail?other").size(), 3u);
        const auto lines = log_of(http::verb::get, "/fail?polled");
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_TRUE(lines[0].starts_with("ERROR request{")) << lines[0];
    }
}

}  // namespace
}  // namespace parvello
