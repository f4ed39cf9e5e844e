#pragma once
// A small blocking HTTP client for the server tests, over real loopback sockets.
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
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

#include "pvo-test-support/free_port.hpp"
#include "server/http.hpp"

namespace parvello::testing {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = boost::beast::http;
using asio::ip::tcp;

using pvo_test::free_port;

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

// This process's end of a loopback TCP connection from `peer_port` to `local_port`, found
// among its open descriptors (the server's end, for a server running in the test); -1 when
// there is none.
inline int server_end(std::uint16_t local_port, std::uint16_t peer_port) {
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        const int fd = std::atoi(entry.path().filename().c_str());
        sockaddr_in local{}, peer{};
        socklen_t local_size = sizeof local, peer_size = sizeof peer;
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &local_size) != 0 ||
            ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peer_size) != 0 ||
            local.sin_family != AF_INET) {
            continue;
        }
        if (ntohs(local.sin_port) == local_port && ntohs(peer.sin_port) == peer_port) return fd;
    }
    return -1;
}

// What came on a connection until the peer ended it, or until `limit` passed without that.
struct UntilClosed {
    bool closed = false;  // ended by the peer (end of stream or reset); false: still open
    std::string received;
};

// Reads (without blocking past `limit`) everything the peer sends until it ends the
// connection. The limit only keeps a failing test from hanging: a peer that is meant to
// close does so long before it.
inline UntilClosed read_until_closed(int fd, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    UntilClosed result;
    char chunk[16384];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return result;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n > 0) {
            result.received.append(chunk, static_cast<std::size_t>(n));
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            result.closed = true;
            return result;
        }
    }
}

}  // namespace parvello::testing
