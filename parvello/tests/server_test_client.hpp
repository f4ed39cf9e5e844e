#pragma once
// A small blocking HTTP client for the server tests, over real loopback sockets.
#include <cstdint>
#include <string>
#include <string_view>

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>

#include "server/http.hpp"

namespace parvello::testing {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = boost::beast::http;
using asio::ip::tcp;

// A loopback port that nothing listens on right now.
inline std::uint16_t free_port() {
    asio::io_context io;
    tcp::acceptor probe(io, tcp::endpoint(asio::ip::address_v4::loopback(), 0));
    return probe.local_endpoint().port();
}

// A blocking client connection to 127.0.0.1:port.
class Client {
public:
    explicit Client(std::uint16_t port) : socket_(io_) {
        socket_.connect(tcp::endpoint(asio::ip::address_v4::loopback(), port));
    }

    void send(std::string_view bytes) { asio::write(socket_, asio::buffer(bytes)); }

    HttpResponse request(http::verb method, std::string_view target,
                                              std::string body = {}) {
        http::request<http::string_body> req{method, target, 11};
        req.set(http::field::host, "127.0.0.1");
        if (!body.empty()) {
            req.set(http::field::content_type, "application/json");
            req.body() = std::move(body);
        }
        req.prepare_payload();
        http::write(socket_, req);
        return read_response(method == http::verb::head);
    }

    HttpResponse read_response(bool head = false) {
        http::response_parser<http::string_body> parser;
        parser.skip(head);
        http::read(socket_, buffer_, parser);
        return parser.release();
    }

    // Everything the server sends until it closes the connection, bytes already buffered
    // by earlier reads included.
    std::string read_to_end() {
        std::string rest(static_cast<const char*>(buffer_.data().data()), buffer_.size());
        buffer_.consume(buffer_.size());
        beast::error_code error;
        std::string more;
        asio::read(socket_, asio::dynamic_buffer(more), error);
        return rest + more;
    }

    tcp::socket& socket() { return socket_; }

private:
    asio::io_context io_;
    tcp::socket socket_;
    beast::flat_buffer buffer_;
};

// Sends the bytes on a fresh connection and returns all that comes back until the server
// closes it.
inline std::string exchange(std::uint16_t port, std::string_view bytes) {
    Client client(port);
    client.send(bytes);
    return client.read_to_end();
}

}  // namespace parvello::testing
