#pragma once
// The wire side of a connection, in the HTTP library's types: the stream and its buffer, the
// parsers of the request being served, and what a route that takes the connection over gets.
// Only the files that read or write the wire include this (connection.cpp, request.cpp, the
// WebSocket files); routes and layers see `Request` and `Response`.
#include <optional>

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>

#include "parvello/server.hpp"
#include "server/connection_registry.hpp"
#include "server/request.hpp"

namespace parvello {

namespace beast = boost::beast;
namespace http = boost::beast::http;

// The connection a request came in on: the stream and the bytes already read from it, the
// limits its client is held to and its place among the server's open connections.
struct Connection {
    beast::tcp_stream stream;
    beast::flat_buffer buffer;
    ConnectionLimits limits{};
    ConnectionSlot slot{};  // last, so it is given up before the stream closes its socket
};

// Ends a connection that the server closes to make room: a read pending on it ends at once and
// the client sees the end. A stream whose own time limit has closed it already is left alone.
inline void shut_down_stream(beast::tcp_stream& stream) {
    beast::error_code ignored;
    if (stream.socket().is_open()) stream.socket().shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
}

using HeaderParser = http::request_parser<http::empty_body>;

// One request being served: its connection, the parser that read its head, and once the
// route reads the body, the parser that reads it.
struct IncomingRequest {
    IncomingRequest(Connection& connection, HeaderParser& parser) noexcept
        : connection(connection), header_parser(parser) {}

    const http::request_header<>& header() const noexcept {
        if (body_parser) return body_parser->get();
        return header_parser.get();
    }

    Connection& connection;
    HeaderParser& header_parser;
    std::optional<http::request_parser<http::string_body>> body_parser;
    bool body_read = false;  // read past the parser (see Request::read_body)
};

struct TakenConnection {
    Connection connection;
    http::request<http::empty_body> head;
};

// An HTTP answer in the library's type, for the WebSocket handshake's own answer.
using HttpResponse = http::response<http::string_body>;

}  // namespace parvello
