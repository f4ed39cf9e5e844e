#include "server_test_client.hpp"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/write.hpp>

namespace parvello::test {

struct Client::Connection {
    asio::io_context io;
    tcp::socket socket{io};
    beast::flat_buffer buffer;
};

Client::Client(std::uint16_t port) : connection_(std::make_unique<Connection>()) {
    connection_->socket.connect(tcp::endpoint(asio::ip::address_v4::loopback(), port));
}

Client::~Client() = default;

void Client::send(std::string_view bytes) { asio::write(connection_->socket, asio::buffer(bytes)); }

HttpResponse Client::request(http::verb method, std::string_view target, std::string body) {
    http::request<http::string_body> req{method, target, 11};
    req.set(http::field::host, "127.0.0.1");
    if (!body.empty()) {
        req.set(http::field::content_type, "application/json");
        req.body() = std::move(body);
    }
    req.prepare_payload();
    http::write(connection_->socket, req);
    return read_response(method == http::verb::head);
}

HttpResponse Client::read_response(bool head) {
    http::response_parser<http::string_body> parser;
    parser.skip(head);
    http::read(connection_->socket, connection_->buffer, parser);
    return parser.release();
}

std::string Client::read_to_end() {
    auto& buffer = connection_->buffer;
    std::string rest(static_cast<const char*>(buffer.data().data()), buffer.size());
    buffer.consume(buffer.size());
    beast::error_code error;
    std::string more;
    asio::read(connection_->socket, asio::dynamic_buffer(more), error);
    return rest + more;
}

Client::Socket& Client::socket() { return connection_->socket; }

void send_request(Client& client, http::verb method, std::string_view target, const Headers& headers,
                  std::string body) {
    http::request<http::string_body> request{method, target, 11};
    for (const auto& [name, value] : headers) request.insert(name, value);
    request.body() = std::move(body);
    request.prepare_payload();
    if (method == http::verb::post) request.content_length(request.body().size());
    beast::error_code ignored;
    http::write(client.socket(), request, ignored);
}

std::string exchange(std::uint16_t port, std::string_view bytes) {
    Client client(port);
    client.send(bytes);
    return client.read_to_end();
}

int server_end(std::uint16_t local_port, std::uint16_t peer_port) {
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        const int fd = std::atoi(entry.path().filename().c_str());
        sockaddr_in local{}, peer{};
        socklen_t local_size = sizeof local, peer_size = sizeof peer;
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &local_size) != 0 ||
            ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peer_size) != 0 || local.sin_family != AF_INET) {
            continue;
        }
        if (ntohs(local.sin_port) == local_port && ntohs(peer.sin_port) == peer_port) return fd;
    }
    return -1;
}

UntilClosed read_until_closed(int fd, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    UntilClosed result;
    char chunk[16384];
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
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

}  // namespace parvello::test
