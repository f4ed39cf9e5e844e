// Raw TCP printing over Asio sockets in non-blocking mode, every wait bounded: one connection
// per write, counted as delivered only once the printer has acknowledged every byte.
#include "pvo-device/tcp.hpp"

#include <poll.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include <boost/asio/buffer.hpp>
#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include "fd_wait.hpp"
#include "pvo-util/posix_io.hpp"
#include "tcp_socket.hpp"

namespace pvo_device {
namespace {

namespace asio = boost::asio;
using asio::ip::tcp;
using boost::system::error_code;
using std::chrono::milliseconds;

std::unexpected<DeviceError> write_failure(const std::string& reason) {
    return std::unexpected(DeviceError::transport("write: " + reason));
}

std::unexpected<DeviceError> write_failure(int errno_value) {
    return write_failure(pvo_util::errno_text(errno_value));
}

// Every byte into the socket. A printer that stops reading fills the send buffer; a wait for
// room that lasts `stall` fails the write rather than holding the caller (and the job lock).
std::expected<void, DeviceError> send_all(tcp::socket& socket, std::span<const std::uint8_t> bytes,
                                          milliseconds stall) {
    while (!bytes.empty()) {
        error_code ec;
        const std::size_t sent = socket.write_some(asio::buffer(bytes.data(), bytes.size()), ec);
        if (ec == asio::error::would_block) {
            const auto ready = wait_fd(socket.native_handle(), POLLOUT, Deadline::after(stall));
            if (!ready) return write_failure(ready.error());
            if (*ready == 0) return write_failure(ETIMEDOUT);
            continue;  // room, or an error condition the next send reports
        }
        if (ec) return write_failure(ec.message());
        if (sent == 0) return write_failure("failed to write whole buffer");
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
}

enum class Inbound { Quiet, Pending, Closed };

// Reads and discards what the printer has sent, without waiting: Quiet when nothing is left,
// Pending when a printer that keeps talking still has more, Closed once it has closed its side.
std::expected<Inbound, DeviceError> discard_inbound(tcp::socket& socket) {
    std::array<std::uint8_t, 4096> sink;
    for (int reads = 0; reads < 64; ++reads) {
        error_code ec;
        socket.read_some(asio::buffer(sink), ec);
        if (ec == asio::error::would_block) return Inbound::Quiet;
        if (ec == asio::error::eof) return Inbound::Closed;
        if (ec) return write_failure(ec.message());
    }
    return Inbound::Pending;
}

// Bytes accepted by send() may still be lost: a printer that resets the connection drops all
// that it has not acknowledged. So after announcing the end of our data, wait until the kernel
// holds nothing unacknowledged. Meanwhile discard what the printer sends, because closing over
// unread bytes makes the kernel reset the connection, and a reset can make the printer drop
// data it has received but not processed yet. The wait ends as soon as every byte is
// acknowledged and nothing is left to read; it fails on a reset or on `write_stall` without
// progress. A printer that keeps sending after that is drained for at most `close_drain`.
std::expected<void, DeviceError> await_acknowledgement(tcp::socket& socket, const TcpTimings& timings) {
    const int fd = socket.native_handle();
    error_code ignored;
    socket.shutdown(tcp::socket::shutdown_send, ignored);  // a reset shows in the state below

    // Nothing signals an acknowledgement, so the state is sampled after a short pause that
    // grows while nothing changes and starts small again on progress.
    constexpr milliseconds first_pause{1};
    constexpr milliseconds longest_pause{20};
    milliseconds pause = first_pause;
    std::size_t outstanding = SIZE_MAX;
    Deadline stall = Deadline::after(timings.write_stall);
    std::optional<Deadline> drain;
    bool peer_closed = false;
    for (;;) {
        auto inbound = Inbound::Closed;
        if (!peer_closed) {
            const auto read = discard_inbound(socket);
            if (!read) return std::unexpected(read.error());
            inbound = *read;
            peer_closed = inbound == Inbound::Closed;
            if (inbound == Inbound::Pending) pause = first_pause;
        }
        const auto state = tcp_socket::send_state(fd);
        if (!state) return write_failure(state.error());
        if (state->error != 0) return write_failure(state->error);

        // A reset leaves its error for the next call (the read above, or the state query), so
        // a connection that has ended without one ended in order: the printer took everything.
        if (state->unacknowledged == 0 || state->ended) {
            if (inbound != Inbound::Pending) return {};
            if (!drain) drain = Deadline::after(timings.close_drain);
            if (drain->passed()) return {};
        } else if (state->unacknowledged < outstanding) {
            outstanding = state->unacknowledged;
            stall = Deadline::after(timings.write_stall);
            pause = first_pause;
        } else if (stall.passed()) {
            return write_failure(ETIMEDOUT);
        }

        if (peer_closed) {
            // Its end of data makes the socket always readable: poll() would not wait.
            std::this_thread::sleep_for(pause);
        } else {
            const auto ready = wait_fd(fd, POLLIN, Deadline::after(pause));
            if (!ready) return write_failure(ready.error());
        }
        pause = std::min(pause * 2, longest_pause);
    }
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
    error_code ec;
    socket.non_blocking(true, ec);
    if (ec) return write_failure(ec.message());

    auto delivered = send_all(socket, bytes, timings.write_stall);
    if (delivered) delivered = await_acknowledgement(socket, timings);
    socket.close(ec);
    return delivered;
}

std::expected<std::vector<std::uint8_t>, DeviceError> tcp_query(const TcpTarget& target,
                                                                std::span<const std::uint8_t> request,
                                                                std::size_t max_len,
                                                                std::chrono::milliseconds limit,
                                                                const TcpTimings& timings) {
    asio::io_context io;
    tcp::socket socket(io);
    if (auto connected = connect(io, socket, target); !connected) return std::unexpected(connected.error());
    if (auto sent = send_all(socket, request, timings.write_stall); !sent) {
        close_gracefully(io, socket, timings.close_drain);
        return std::unexpected(sent.error());
    }
    auto answer = read_answer(io, socket, max_len, limit, timings.read_gap);
    close_gracefully(io, socket, timings.close_drain);
    return answer;
}

}  // namespace pvo_device
