// Raw TCP printing over blocking Asio sockets: one connection per write.
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
        io.run_for(limit);
        socket.close(ec);
        // Completes the read that the close cancelled, so nothing refers to `sink` afterwards.
        io.restart();
        io.poll();
    }
    socket.close(ec);
}

}  // namespace

std::expected<void, DeviceError> tcp_write(const TcpTarget& target, std::span<const std::uint8_t> bytes,
                                           const TcpTimings& timings) {
    const auto connect_failure = [&](const std::string& reason) {
        return std::unexpected(DeviceError::transport("connect " + target.host + ":" +
                                                      std::to_string(target.port) + ": " + reason));
    };

    asio::io_context io;
    tcp::resolver resolver(io);
    error_code ec;
    const auto addresses =
        resolver.resolve(target.host, std::to_string(target.port), tcp::resolver::numeric_service, ec);
    if (ec) return connect_failure(ec.message());
    if (addresses.empty()) return connect_failure("could not resolve to any addresses");

    tcp::socket socket(io);
    asio::connect(socket, addresses, ec);  // each address in turn; the last failure is kept
    if (ec) return connect_failure(ec.message());

    auto sent = send_all(socket, bytes);
    close_gracefully(io, socket, timings.close_drain);
    return sent;
}

}  // namespace pvo_device
