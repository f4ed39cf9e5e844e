// The frame under the routes, with routes of the tests' own: reading a body on demand,
// layers around routes and fallbacks, and handing a connection over.
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/write.hpp>
#include <gtest/gtest.h>

#include "server/connection.hpp"
#include "server/router.hpp"
#include "server_test_client.hpp"

namespace parvello {
namespace {

using test::Client;
using test::tcp;

// Serves a router of the test's own on a loopback port, on one thread.
class FrameServer {
public:
    FrameServer(std::vector<Route> routes, std::vector<Layer> layers)
        : acceptor_(io_, {asio::ip::address_v4::loopback(), 0}),
          router_(std::make_shared<const Router>(std::move(routes), std::move(layers),
                                                 HandlerContext{AppState(0, true), pool_.get_executor()})) {
        asio::co_spawn(io_, accept(), asio::detached);
        thread_ = std::thread([this] { io_.run(); });
    }
    ~FrameServer() {
        io_.stop();
        thread_.join();
        pool_.join();
    }

    std::uint16_t port() const { return acceptor_.local_endpoint().port(); }

private:
    asio::awaitable<void> accept() {
        for (;;) {
            auto socket = co_await acceptor_.async_accept(asio::use_awaitable);
            asio::co_spawn(io_, serve_connection(std::move(socket), router_), asio::detached);
        }
    }

    asio::io_context io_;
    asio::thread_pool pool_{1};
    tcp::acceptor acceptor_;
    std::shared_ptr<const Router> router_;
    std::thread thread_;
};

constexpr std::size_t kLimit = 16;

// POST /echo answers its body, or the reason it could not be read as 413 or 400.
asio::awaitable<Response> echo(Request& request, HandlerContext) {
    auto body = co_await request.read_body(kLimit);
    if (!body) {
        Response refusal = empty_response(body.error().kind == BodyError::Kind::TooLarge ? Status::PayloadTooLarge
                                                                                         : Status::BadRequest);
        refusal.body = body.error().text;
        co_return refusal;
    }
    Response answer = empty_response(Status::Ok);
    answer.body = std::move(*body);
    co_return answer;
}

struct BodyCase {
    const char* name;
    std::string request;
    const char* answer_starts;
    const char* answer_ends;
};

TEST(ServerFrame, ARouteReadsItsBodyUpToItsLimit) {
    FrameServer server({{Method::Post, "/echo", echo}}, {});
    const std::string head = "POST /echo HTTP/1.1\r\nHost: x\r\nConnection: close\r\n";
    const BodyCase cases[] = {
        {"declared length", head + "Content-Length: 5\r\n\r\nhello", "HTTP/1.1 200 OK", "\r\n\r\nhello"},
        {"exactly the limit", head + "Content-Length: 16\r\n\r\n0123456789abcdef", "HTTP/1.1 200 OK",
         "\r\n\r\n0123456789abcdef"},
        {"declared length over the limit", head + "Content-Length: 17\r\n\r\n0123456789abcdefg", "HTTP/1.1 413 ",
         "body limit exceeded"},
        {"chunks over the limit",
         head + "Transfer-Encoding: chunked\r\n\r\n10\r\n0123456789abcdef\r\n1\r\ng\r\n0\r\n\r\n", "HTTP/1.1 413 ",
         "body limit exceeded"},
        {"chunks within the limit", head + "Transfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n2\r\nde\r\n0\r\n\r\n",
         "HTTP/1.1 200 OK", "\r\n\r\nabcde"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string reply = test::exchange(server.port(), c.request);
        EXPECT_TRUE(reply.starts_with(c.answer_starts)) << reply;
        EXPECT_TRUE(reply.ends_with(c.answer_ends)) << reply;
    }
}

TEST(ServerFrame, AClientThatAwaitsContinueIsToldToSendItsBody) {
    FrameServer server({{Method::Post, "/echo", echo}}, {});
    Client client(server.port());
    client.send(
        "POST /echo HTTP/1.1\r\nHost: x\r\nConnection: close\r\nExpect: 100-continue\r\n"
        "Content-Length: 5\r\n\r\n");
    std::string interim;
    const auto size = asio::read_until(client.socket(), asio::dynamic_buffer(interim), "\r\n\r\n");
    EXPECT_EQ(interim.substr(0, size), "HTTP/1.1 100 Continue\r\n\r\n");
    client.send("hello");
    const std::string reply = interim.substr(size) + client.read_to_end();
    EXPECT_TRUE(reply.starts_with("HTTP/1.1 200 OK")) << reply;
    EXPECT_TRUE(reply.ends_with("\r\n\r\nhello")) << reply;
}

// A layer that notes its name around whatever the inner chain answered.
Layer tracing_layer(std::string name) {
    return [name](Request& request, const Next& next) -> asio::awaitable<Response> {
        Response response = co_await next(request);
        const std::string inner(response.fields.get("x-trace").value_or(""));
        response.fields.set("x-trace", name + "(" + inner + ")");
        co_return response;
    };
}

asio::awaitable<Response> traced_route(Request&, HandlerContext) {
    Response response = empty_response(Status::Ok);
    response.fields.set("x-trace", "route");
    co_return response;
}

TEST(ServerFrame, LayersWrapRoutesAndFallbacksFromTheOutsideIn) {
    FrameServer server({{Method::Get, "/route", traced_route}, {Method::Post, "/post-only", {}}},
                       {tracing_layer("outer"), tracing_layer("inner")});
    Client client(server.port());
    EXPECT_EQ(client.request(http::verb::get, "/route")["x-trace"], "outer(inner(route))");
    EXPECT_EQ(client.request(http::verb::get, "/unknown")["x-trace"], "outer(inner())");
    EXPECT_EQ(client.request(http::verb::get, "/post-only")["x-trace"], "outer(inner())");
}

constexpr std::string_view kEarly = "early bytes";

// Takes the connection over, reads the bytes sent behind the request and writes what it was
// handed.
asio::awaitable<Response> taking_route(Request&, HandlerContext) {
    Response response = empty_response(Status::SwitchingProtocols);
    response.take_over = [](std::unique_ptr<TakenConnection> taken, HeaderFields answer) {
        Connection& connection = taken->connection;
        auto& socket = connection.stream.socket();
        std::string early(static_cast<const char*>(connection.buffer.data().data()), connection.buffer.size());
        asio::read(socket, asio::dynamic_buffer(early), asio::transfer_exactly(kEarly.size() - early.size()));
        const std::string text = "taken over: " + std::string(taken->head.target()) + " " +
                                 std::string(answer.get("x-trace").value_or("")) + " " + early;
        asio::write(socket, asio::buffer(text));
    };
    co_return response;
}

TEST(ServerFrame, ARouteTakesTheConnectionOverWithTheFinalAnswer) {
    FrameServer server({{Method::Get, "/take", taking_route}}, {tracing_layer("layer")});
    // The bytes sent after the request stay with the connection for the new owner.
    const std::string reply =
        test::exchange(server.port(), "GET /take?x HTTP/1.1\r\nHost: x\r\n\r\n" + std::string(kEarly));
    EXPECT_EQ(reply, "taken over: /take?x layer() early bytes");
}

}  // namespace
}  // namespace parvello
