// Requests whose framing the server cannot take: a head the parser refuses, and a transfer
// coding without a final "chunked". Each is answered 400 with its reason and the connection
// closed, so no byte behind the head is ever taken for a request of its own.
#include <string>

#include <gtest/gtest.h>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/read.hpp>

#include "parvello/product.hpp"
#include "server_fixture.hpp"

namespace parvello {
namespace {

using namespace test;

using MalformedRequests = AgentServer;

// What a client would smuggle behind a request whose end the server misread.
const std::string kSmuggled = "GET /status HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";

TEST_F(MalformedRequests, AreAnswered400WithTheReasonAndClosed) {
    struct Case {
        const char* name;
        std::string head;  // the request's head, without its blank line
        std::string reason;
        bool origin_read = true;  // the Origin came before the fault, so the page may read the answer
    };
    const std::string post =
        "POST /print HTTP/1.1\r\nHost: 127.0.0.1\r\nOrigin: http://localhost:5173\r\n"
        "Content-Type: application/json\r\n";
    const Case cases[] = {
        {"a request line without a version", "GET /status\r\nOrigin: http://localhost:5173",
         "malformed request head: bad target", false},
        {"a method of bad characters", "G(T /status HTTP/1.1\r\nOrigin: http://localhost:5173",
         "malformed request head: bad method", false},
        {"a field without a colon", "GET /status HTTP/1.1\r\nOrigin: http://localhost:5173\r\nHost 127.0.0.1",
         "malformed request head: bad field"},
        {"two different lengths", post + "Content-Length: 3\r\nContent-Length: 4",
         "malformed request head: multiple Content-Length"},
        {"a length and chunks", post + "Content-Length: 3\r\nTransfer-Encoding: chunked",
         "malformed request head: bad Transfer-Encoding"},
        {"a length that is no number", post + "Content-Length: 3x", "malformed request head: bad Content-Length"},
        {"identity coding", post + "Transfer-Encoding: identity",
         "Transfer-Encoding other than chunked is not supported"},
        {"chunked not last", post + "Transfer-Encoding: chunked, gzip",
         "Transfer-Encoding other than chunked is not supported"},
        {"identity with a length", post + "Transfer-Encoding: identity\r\nContent-Length: 3",
         "Transfer-Encoding other than chunked is not supported"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Client client(port());
        client.send(c.head + "\r\n\r\n" + kSmuggled);
        beast::error_code error;
        http::response_parser<http::string_body> parser;
        beast::flat_buffer buffer;
        http::read(client.socket(), buffer, parser, error);
        ASSERT_FALSE(error) << error.message();
        const auto& answer = parser.get();
        EXPECT_EQ(answer.result(), http::status::bad_request);
        EXPECT_EQ(answer.body(), c.reason);
        EXPECT_EQ(answer[http::field::content_type], "text/plain; charset=utf-8");
        EXPECT_EQ(answer[http::field::connection], "close");
        EXPECT_EQ(answer["x-parvello-version"], kVersion);
        EXPECT_EQ(answer["access-control-allow-origin"], c.origin_read ? "http://localhost:5173" : "");
        // The bytes behind the head were never served as a request.
        EXPECT_EQ(client.read_to_end(), "");
    }
}

}  // namespace
}  // namespace parvello
