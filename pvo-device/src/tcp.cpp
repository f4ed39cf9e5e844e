// Raw TCP printing over Asio sockets in non-blocking mode, every wait a poll() with a deadline:
// one connection per write, counted as delivered once the printer has acknowledged every byte.
#include "pvo-device/tcp.hpp"

#include <poll.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>

#include <boost/asio/buffer.hpp>

#include "fd_wait.hpp"
#include "pvo-util/posix_io.hpp"
#include "reply.hpp"
#include "tcp_connect.hpp"
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

std::unexpected<DeviceError> write_failure(int errno_value) { return write_failure(pvo_util::errno_text(errno_value)); }

// One attempt on one address. A connection that landed on itself reached no printer: it is
// closed and reported as the refusal it stands for.
error_code connect_once(tcp::socket& socket, const tcp::endpoint& endpoint, const std::optional<tcp::endpoint>& local) {
    error_code ec;
    socket.close(ec);
    socket.open(endpoint.protocol(), ec);
    if (!ec && local) socket.bind(*local, ec);
    if (!ec) socket.connect(endpoint, ec);
    if (ec) return ec;
    error_code local_ec;
    error_code remote_ec;
    const auto ours = socket.local_endpoint(local_ec);
    const auto theirs = socket.remote_endpoint(remote_ec);
    if (!local_ec && !remote_ec && ours == theirs) {
        socket.close(ec);
        return asio::error::connection_refused;
    }
    return {};
}

// Every byte into the socket. A printer that stops reading fills the send buffer; a wait for
// room that lasts `stall` fails the write rather than holding the caller (and the job lock).
// On a socket with acknowledgement notices, those of earlier sends are dropped before each
// wait, or they would end it at once.
std::expected<void, DeviceError> send_all(tcp::socket& socket, std::span<const std::uint8_t> bytes, milliseconds stall,
                                          bool notices = false) {
    while (!bytes.empty()) {
        error_code ec;
        const std::size_t sent = socket.write_some(asio::buffer(bytes.data(), bytes.size()), ec);
        if (ec == asio::error::would_block) {
            if (notices) tcp_socket::clear_acknowledgement_notices(socket.native_handle());
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

enum class Inbound { Quiet, Pending, Closed };

// Reads and discards what the printer has sent, without waiting: Quiet when nothing is left,
// Pending when a printer that keeps talking still has more, Closed once it has closed its side.
// The error of a failed read (a reset) otherwise.
std::expected<Inbound, error_code> discard_inbound(tcp::socket& socket) {
    std::array<std::uint8_t, 4096> sink;
    for (int reads = 0; reads < 64; ++reads) {
        error_code ec;
        socket.read_some(asio::buffer(sink), ec);
        if (ec == asio::error::would_block) return Inbound::Quiet;
        if (ec == asio::error::eof) return Inbound::Closed;
        if (ec) return std::unexpected(ec);
    }
    return Inbound::Pending;
}

// The socket's state is sampled after a short pause that grows while nothing changes and starts
// small again on progress. An acknowledgement notice (when the socket has them) or bytes from
// the printer end a pause early.
constexpr milliseconds kFirstPause{1};
constexpr milliseconds kLongestPause{20};

// Bytes accepted by send() are not delivered yet: a printer that resets the connection drops
// all that its stack has not acknowledged. So the write waits until the printer's stack has
// acknowledged every data byte (`delivered_at`, in the socket's count of acknowledged bytes),
// and fails on a reset or on `write_stall` without progress before that. Once every data byte is
// acknowledged the label is delivered, whatever the printer does next (a reset, a close, bytes
// sent back). The connection is then still closed politely: what the printer sends is discarded
// (closing over unread bytes would make our side reset the connection) until our end-of-data
// mark is acknowledged, the connection ends, or `close_drain` passes.
std::expected<void, DeviceError> await_acknowledgement(tcp::socket& socket, std::uint64_t delivered_at,
                                                       const TcpTimings& timings) {
    const int fd = socket.native_handle();
    error_code ignored;
    socket.shutdown(tcp::socket::shutdown_send, ignored);  // a reset shows in the state below

    milliseconds pause = kFirstPause;
    std::uint64_t progress = 0;
    Deadline stall = Deadline::after(timings.write_stall);
    std::optional<Deadline> drain;
    bool peer_closed = false;
    for (;;) {
        // Dropped before the state is sampled: a notice that comes later ends the next pause.
        tcp_socket::clear_acknowledgement_notices(fd);
        auto inbound = Inbound::Closed;
        std::optional<error_code> read_error;
        if (!peer_closed) {
            const auto read = discard_inbound(socket);
            if (read) {
                inbound = *read;
            } else {
                read_error = read.error();
            }
            peer_closed = inbound == Inbound::Closed;
            if (inbound == Inbound::Pending) pause = kFirstPause;
        }
        // Taken after the read: a reset the read saw came after every acknowledgement that
        // this state counts.
        const auto state = tcp_socket::send_state(fd);
        if (!state) return drain ? std::expected<void, DeviceError>{} : write_failure(state.error());

        if (state->acknowledged >= delivered_at) {
            if (read_error || state->error != 0 || state->ended) return {};
            if (state->unacknowledged == 0 && inbound != Inbound::Pending) return {};
            if (!drain) drain = Deadline::after(timings.close_drain);
            if (drain->passed()) return {};
        } else {
            if (read_error) return write_failure(read_error->message());
            if (state->error != 0) return write_failure(state->error);
            // Ended without an error left to report: a reset whose error was taken before.
            if (state->ended) return write_failure(ECONNRESET);
            if (state->acknowledged > progress) {
                progress = state->acknowledged;
                stall = Deadline::after(timings.write_stall);
                pause = kFirstPause;
            } else if (stall.passed()) {
                return write_failure(ETIMEDOUT);
            }
        }

        if (peer_closed) {
            // Its end of data makes the socket always readable: poll() would not wait.
            std::this_thread::sleep_for(pause);
        } else {
            const auto ready = wait_fd(fd, POLLIN, Deadline::after(pause));
            if (!ready) return drain ? std::expected<void, DeviceError>{} : write_failure(ready.error());
        }
        pause = std::min(pause * 2, kLongestPause);
    }
}

// Closing a socket that still holds unread bytes makes the kernel reset the connection, and a
// reset can make the printer drop data it has received but not processed yet. So: announce the
// end of our data, discard whatever the printer sends until it closes its side, fails, or
// `limit` passes, then close.
void close_gracefully(tcp::socket& socket, milliseconds limit) {
    error_code ec;
    socket.shutdown(tcp::socket::shutdown_send, ec);
    if (!ec) {
        const auto deadline = Deadline::after(limit);
        for (;;) {
            const auto inbound = discard_inbound(socket);
            if (!inbound || *inbound == Inbound::Closed) break;
            if (*inbound == Inbound::Quiet) {
                const auto ready = wait_fd(socket.native_handle(), POLLIN, deadline);
                if (!ready || *ready == 0) break;
            }
            if (deadline.passed()) break;
        }
    }
    socket.close(ec);
}

// The answer by the shared reply rule: the first bytes waited for up to `limit`, then more
// while they follow within the read gap, until `max_len` bytes are in or the printer closes.
// Whole chunks are kept, so an answer may run past `max_len`. A failure after some bytes ends
// the answer with them; before any, it is the error "read: ...".
std::expected<std::vector<std::uint8_t>, DeviceError> read_answer(tcp::socket& socket, std::size_t max_len,
                                                                  milliseconds limit, milliseconds gap) {
    const auto read_chunk = [&socket](std::vector<std::uint8_t>& out, milliseconds wait,
                                      std::size_t) -> std::expected<ChunkEnd, DeviceError> {
        const auto deadline = Deadline::after(wait);
        std::array<std::uint8_t, 4096> chunk;
        for (;;) {
            error_code ec;
            const std::size_t n = socket.read_some(asio::buffer(chunk), ec);
            if (!ec) {
                out.insert(out.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n));
                return ChunkEnd::Bytes;
            }
            if (ec == asio::error::eof) return ChunkEnd::Empty;
            if (ec != asio::error::would_block) {
                if (!out.empty()) return ChunkEnd::Empty;  // what arrived before the failure is the answer
                return std::unexpected(DeviceError::transport("read: " + ec.message()));
            }
            const auto ready = wait_fd(socket.native_handle(), POLLIN, deadline);
            if (!ready) return std::unexpected(DeviceError::transport("read: " + pvo_util::errno_text(ready.error())));
            if (*ready == 0) return ChunkEnd::TimedOut;
        }
    };
    auto answer = gather_reply(max_len, limit, gap, read_chunk);
    if (!answer) return std::unexpected(std::move(answer.error()));
    return std::move(answer->bytes);
}

// A connected socket in non-blocking mode, every later wait being a poll().
std::expected<void, DeviceError> open_connection(asio::io_context& io, tcp::socket& socket, const TcpTarget& target) {
    if (auto connected = connect_to(io, socket, target); !connected) return connected;
    error_code ec;
    socket.non_blocking(true, ec);
    if (ec) return write_failure(ec.message());
    return {};
}

}  // namespace

std::expected<void, DeviceError> connect_to(asio::io_context& io, tcp::socket& socket, const TcpTarget& target,
                                            const std::optional<tcp::endpoint>& local) {
    const auto connect_failure = [&](const std::string& reason) {
        return std::unexpected(
            DeviceError::transport("connect " + target.host + ":" + std::to_string(target.port) + ": " + reason));
    };
    tcp::resolver resolver(io);
    error_code ec;
    const auto addresses =
        resolver.resolve(target.host, std::to_string(target.port), tcp::resolver::numeric_service, ec);
    if (ec) return connect_failure(ec.message());
    if (addresses.empty()) return connect_failure("could not resolve to any addresses");
    for (const auto& address : addresses) {
        ec = connect_once(socket, address.endpoint(), local);
        if (!ec) return {};
    }
    error_code ignored;
    socket.close(ignored);
    return connect_failure(ec.message());  // the last attempt's
}

std::expected<void, DeviceError> tcp_write(const TcpTarget& target, std::span<const std::uint8_t> bytes,
                                           const TcpTimings& timings) {
    asio::io_context io;
    tcp::socket socket(io);
    if (auto opened = open_connection(io, socket, target); !opened) return opened;
    const bool notices = tcp_socket::request_acknowledgement_notices(socket.native_handle());
    // The count before any data: the label is delivered once it has grown by the label's size.
    const auto before = tcp_socket::send_state(socket.native_handle());
    std::expected<void, DeviceError> delivered =
        before ? send_all(socket, bytes, timings.write_stall, notices) : write_failure(before.error());
    if (delivered) delivered = await_acknowledgement(socket, before->acknowledged + bytes.size(), timings);
    error_code ec;
    socket.close(ec);
    return delivered;
}

std::expected<std::vector<std::uint8_t>, DeviceError> tcp_query(const TcpTarget& target,
                                                                std::span<const std::uint8_t> request,
                                                                std::size_t max_len, milliseconds limit,
                                                                const TcpTimings& timings) {
    asio::io_context io;
    tcp::socket socket(io);
    if (auto opened = open_connection(io, socket, target); !opened) return std::unexpected(opened.error());
    if (auto sent = send_all(socket, request, timings.write_stall); !sent) {
        close_gracefully(socket, timings.close_drain);
        return std::unexpected(sent.error());
    }
    auto answer = read_answer(socket, max_len, limit, timings.read_gap);
    close_gracefully(socket, timings.close_drain);
    return answer;
}

}  // namespace pvo_device
