// The agent's route table over real HTTP: GET /status, the fallback answers, HEAD, OPTIONS,
// and how the connection is kept or closed.
#include <future>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "parvello/product.hpp"
#include "server_fixture.hpp"

namespace parvello {
namespace {

using test::Client;
using test::exchange;
namespace http = test::http;

using ServerRoutes = test::AgentServer;

std::string status_json(std::uint16_t port) {
    return R"({"ok":true,"version":")" + std::string(kVersion) + R"(","api_version":1,"port":)" + std::to_string(port) +
           "}";
}

TEST_F(ServerRoutes, StatusAnswersTheVersionAndThePortInEffect) {
    Client client(port());
    for (const char* target : {"/status", "/status?probe=1"}) {
        SCOPED_TRACE(target);
        const auto answer = client.request(http::verb::get, target);
        EXPECT_EQ(answer.result(), http::status::ok);
        EXPECT_EQ(answer.body(), status_json(port()));
        EXPECT_EQ(answer[http::field::content_type], "application/json");
        EXPECT_EQ(answer["x-parvello-version"], kVersion);
        EXPECT_TRUE(answer.keep_alive());
    }
}

TEST_F(ServerRoutes, StatusWaitsOutASaveAndAnswersThePortItLeaves) {
    const std::uint16_t saved = port() == 65535 ? 65534 : port() + 1;
    // Two connections, one on each connection thread, before and after the save.
    const auto status_on_fresh_connections = [this] {
        std::vector<std::string> bodies;
        for (int i = 0; i < 2; ++i) bodies.push_back(Client(port()).request(http::verb::get, "/status").body());
        return bodies;
    };
    EXPECT_EQ(status_on_fresh_connections(), std::vector<std::string>(2, status_json(port())));
    std::future<test::HttpResponse> during_save;
    {
        auto config = state_.config->lock();
        during_save =
            std::async(std::launch::async, [this] { return Client(port()).request(http::verb::get, "/status"); });
        while (state_.config->waiting() == 0) std::this_thread::yield();
        config->port = saved;
    }
    EXPECT_EQ(during_save.get().body(), status_json(saved));
    EXPECT_EQ(status_on_fresh_connections(), std::vector<std::string>(2, status_json(saved)));
}

struct Fallback {
    http::verb method;
    const char* target;
    http::status status;
    const char* allow;  // empty: no Allow header
};

TEST_F(ServerRoutes, UnservedRequestsGetEmptyFallbackAnswers) {
    const Fallback cases[] = {
        {http::verb::get, "/status/", http::status::not_found, ""},
        {http::verb::get, "/STATUS", http::status::not_found, ""},
        {http::verb::get, "/nope", http::status::not_found, ""},
        {http::verb::post, "/status", http::status::method_not_allowed, "GET,HEAD"},
        {http::verb::get, "/print", http::status::method_not_allowed, "POST"},
        {http::verb::put, "/soft-reboot", http::status::method_not_allowed, "POST"},
        {http::verb::post, "/devices", http::status::method_not_allowed, "GET,HEAD"},
        {http::verb::delete_, "/ws", http::status::method_not_allowed, "GET,HEAD"},
        // OPTIONS never reaches a route or a fallback.
        {http::verb::options, "/print", http::status::no_content, ""},
        {http::verb::options, "/no-such-path", http::status::no_content, ""},
    };
    Client client(port());
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(http::to_string(c.method)) + " " + c.target);
        const auto answer = client.request(c.method, c.target);
        EXPECT_EQ(answer.result(), c.status);
        EXPECT_EQ(answer.body(), "");
        EXPECT_EQ(answer[http::field::allow], c.allow);
        EXPECT_EQ(answer["x-parvello-version"], kVersion);
    }
}

TEST_F(ServerRoutes, HeadOnStatusSendsTheHeadersWithoutTheBody) {
    const std::string reply = exchange(port(), "HEAD /status HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    ASSERT_TRUE(reply.starts_with("HTTP/1.1 200 OK\r\n")) << reply;
    EXPECT_NE(reply.find("Content-Type: application/json\r\n"), std::string::npos) << reply;
    EXPECT_NE(reply.find("Content-Length: " + std::to_string(status_json(port()).size()) + "\r\n"), std::string::npos)
        << reply;
    EXPECT_TRUE(reply.ends_with("\r\n\r\n")) << reply;
}

TEST_F(ServerRoutes, StatusAnswersWhileAJobHoldsTheJobLock) {
    const auto job = state_.job_lock->lock();
    Client client(port());
    const auto answer = client.request(http::verb::get, "/status");
    EXPECT_EQ(answer.body(), status_json(port()));
}

TEST_F(ServerRoutes, StatusWaitsForTheSettingsAndReadsThemUnderTheLock) {
    auto settings = state_.config->lock();
    auto answer =
        std::async(std::launch::async, [port = port()] { return Client(port).request(http::verb::get, "/status"); });
    while (state_.config->waiting() == 0) std::this_thread::yield();
    settings->port = 1234;  // what a save under the lock would leave behind
    { [[maybe_unused]] auto released = std::move(settings); }
    EXPECT_EQ(answer.get().body(), status_json(1234));
}

TEST_F(ServerRoutes, AnUnreadBodyClosesTheConnectionSoItIsNeverReadAsARequest) {
    const std::string smuggled = "GET /status HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    const std::string reply = exchange(port(), "POST /status HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " +
                                                   std::to_string(smuggled.size()) + "\r\n\r\n" + smuggled);
    EXPECT_TRUE(reply.starts_with("HTTP/1.1 405 Method Not Allowed\r\n")) << reply;
    EXPECT_NE(reply.find("Connection: close\r\n"), std::string::npos) << reply;
    EXPECT_EQ(reply.find("HTTP/1.1", 1), std::string::npos) << "answered twice: " << reply;
}

TEST_F(ServerRoutes, AnHttp2PrefaceIsRefusedInHttp1AndTheConnectionCloses) {
    const std::string reply = exchange(port(), "PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n");
    EXPECT_TRUE(reply.starts_with("HTTP/1.1 400 Bad Request\r\n")) << reply;
    EXPECT_TRUE(reply.ends_with("\r\n\r\nmalformed request head: bad version")) << reply;
    // The server is still there for the next client.
    EXPECT_EQ(Client(port()).request(http::verb::get, "/status").result(), http::status::ok);
}

// A client may name the whole URL as the target, as it would to a proxy; it is routed on the
// URL's path.
TEST_F(ServerRoutes, AnAbsoluteFormTargetIsRoutedOnItsPath) {
    const std::string authority = "127.0.0.1:" + std::to_string(port());
    const std::pair<std::string, http::status> cases[] = {
        {"http://" + authority + "/status", http::status::ok},
        {"http://" + authority + "/status?probe=1", http::status::ok},
        {"HTTP://localhost/status", http::status::ok},
        {"https://" + authority + "/status", http::status::ok},
        {"http://" + authority + "/print", http::status::method_not_allowed},
        {"http://" + authority + "/STATUS", http::status::not_found},
        {"http://" + authority, http::status::not_found},
        {"http://" + authority + "?x=/status", http::status::not_found},
    };
    Client client(port());
    for (const auto& [target, status] : cases) {
        SCOPED_TRACE(target);
        const auto answer = client.request(http::verb::get, target);
        EXPECT_EQ(answer.result(), status);
        if (status == http::status::ok) {
            EXPECT_EQ(answer.body(), status_json(port()));
        }
    }
}

TEST_F(ServerRoutes, Http10RequestsAreAnsweredAndClosed) {
    const std::string reply = exchange(port(), "GET /status HTTP/1.0\r\n\r\n");
    EXPECT_TRUE(reply.starts_with("HTTP/1.0 200 OK\r\n")) << reply;
    EXPECT_TRUE(reply.ends_with(status_json(port()))) << reply;
}

}  // namespace
}  // namespace parvello
