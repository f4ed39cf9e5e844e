// Raw TCP printing over blocking Asio sockets: one connection per write, or per status query.
#include "pvo-device/tcp.hpp"

#include <array>
#include <functional>
#include <string>

#include <boost/asio/buffer.hpp>
#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

namespace pvo_device {
namespace {

namespace asio = boost::asio;
using asio::ip::tcp;
using boost::system::error_code;

std::expected<void, DeviceError> send_all(tcp::socket& socket, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        error_code ec;
        const std::size_t sent = socket.write_some(asio::buffer(bytes.data(), bytes.size()), ec);
        if (ec) return std::unexpected(DeviceError::transport("write: " + ec.message()));
        if (sent == 0) return std::unexpected(DeviceError::transport("write: failed to write whole buffer"));
        bytes = bytes.subspan(sent);
    }
    return {};
}

// Closing a socket that still holds unread bytes makes the kernel reset the connection, and a
// reset can make the printer drop data it has received but not processed yet. So: announce the
// end of our data, discard whatever the printer sends until it closes its side (or `limit`
// passes), then close.
void close_gracefully(asio::io_context& io, tcp::socket& socket, std::chrono::milliseconds limit) {
    error_code ec;
    socket.shutdown(tcp::socket::shutdown_send, ec);
    if (!ec) {
        std::array<std::uint8_t, 4096> sink;
        std::function<void(const error_code&, std::size_t)> on_read = [&](const error_code& read_ec,
                                                                          std::size_t) {
            if (!read_ec) socket.async_read_some(asio::buffer(sink), on_read);
        };
        socket.async_read_some(asio::buffer(sink), on_read);
        io.restart();  // an answer read before may have run the context out of work
        io.run_for(limit);
        socket.close(ec);
        // Completes the read that the close cancelled, so nothing refers to `sink` afterwards.
        io.restart();
        io.poll();
    }
    socket.close(ec);
}

// Resolves the host and connects to the first address that takes the connection.
std::expected<void, DeviceError> connect(asio::io_context& io, tcp::socket& socket, const TcpTarget& target) {
    const auto connect_failure = [&](const std::string& reason) {
        return std::unexpected(DeviceError::transport("connect " + target.host + ":" +
                                                      std::to_string(target.port) + ": " + reason));
    };
    tcp::resolver resolver(io);
    error_code ec;
    const auto addresses =
        resolver.resolve(target.host, std::to_string(target.port), tcp::resolver::numeric_service, ec);
    if (ec) return connect_failure(ec.message());
    if (addresses.empty()) return connect_failure("could not resolve to any addresses");
    asio::connect(socket, addresses, ec);  // each address in turn; the last failure is kept
    if (ec) return connect_failure(ec.message());
    return {};
}

struct Received {
    error_code ec;
    std::size_t count = 0;
    bool timed_out = false;
};

// One read of whatever arrives within `wait`. A read still pending at the end of the wait is
// cancelled and run to its end, so nothing refers to `into` afterwards.
Received read_within(asio::io_context& io, tcp::socket& socket, std::span<std::uint8_t> into,
                     std::chrono::milliseconds wait) {
    Received got;
    bool done = false;
    socket.async_read_some(asio::buffer(into.data(), into.size()), [&](const error_code& ec, std::size_t n) {
        got.ec = ec;
        got.count = n;
        done = true;
    });
    io.restart();
    io.run_for(wait);
    if (!done) {
        error_code ignored;
        socket.cancel(ignored);
        io.restart();
        io.run();
        got.timed_out = got.ec == asio::error::operation_aborted;
    }
    return got;
}

// The answer: the first bytes waited for up to `limit`, then more while they follow within the
// read gap, until `max_len` bytes are in or the printer closes.
std::expected<std::vector<std::uint8_t>, DeviceError> read_answer(asio::io_context& io, tcp::socket& socket,
                                                                  std::size_t max_len,
                                                                  std::chrono::milliseconds limit,
                                                                  std::chrono::milliseconds gap) {
    std::vector<std::uint8_t> answer;
    std::array<std::uint8_t, 4096> chunk;
    while (answer.size() < max_len) {
        const Received got = read_within(io, socket, chunk, answer.empty() ? limit : gap);
        answer.insert(answer.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(got.count));
        if (got.timed_out || got.ec == asio::error::eof) break;
        if (got.ec) {
            if (!answer.empty()) break;  // what arrived before the failure is the answer
            return std::unexpected(DeviceError::transport("read: " + got.ec.message()));
        }
    }
    return answer;
}

}  // namespace

std::expected<void, DeviceError> tcp_write(const TcpTarget& target, std::span<const std::uint8_t> bytes,
                                           const TcpTimings& timings) {
    asio::io_context io;
    tcp::socket socket(io);
    if (auto connected = connect(io, socket, target); !connected) return connected;
    auto sent = send_all(socket, bytes);
    close_gracefully(io, socket, timings.close_drain);
    return sent;
}

std::expected<std::vector<std::uint8_t>, DeviceError> tcp_query(const TcpTarget& target,
                                                                std::span<const std::uint8_t> request,
                                                                std::size_t max_len,
                                                                std::chrono::milliseconds limit,
                                                                const TcpTimings& timings) {
    asio::io_context io;
    tcp::socket socket(io);
    if (auto connected = connect(io, socket, target); !connected) return std::unexpected(connected.error());
    if (auto sent = send_all(socket, request); !sent) {
        close_gracefully(io, socket, timings.close_drain);
        return std::unexpected(sent.error());
    }
    auto answer = read_answer(io, socket, max_len, limit, timings.read_gap);
    close_gracefully(io, socket, timings.close_drain);
    return answer;
}

}  // namespace pvo_device
