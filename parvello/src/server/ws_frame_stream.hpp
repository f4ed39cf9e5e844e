#pragma once
// The stream under an upgraded connection's WebSocket: the connection's TCP stream with two
// duties of its own, which the WebSocket library does not offer.
//
// - Incoming frames are held to a size limit as their headers arrive: a frame announced over
//   the limit ends the channel with the close code for a message too big (1009) before a byte
//   of its payload is read. Bytes before that frame still reach the WebSocket.
// - While the handshake is written, what the library writes is kept instead of sent, so the
//   upgrade can send it as the agent's answer (see ws_connection.cpp).
//
// Bytes the client sent behind its upgrade request, read with the request, come first.
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include <boost/asio/buffer.hpp>
#include <boost/asio/compose.hpp>
#include <boost/asio/coroutine.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/buffers_prefix.hpp>
#include <boost/beast/core/role.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/websocket/error.hpp>
#include <boost/beast/websocket/teardown.hpp>

#include "server/ws_frame_scan.hpp"

namespace parvello {

// A server's Close frame with status 1009, "message too big": unmasked, two payload bytes.
inline constexpr std::array<std::uint8_t, 4> kCloseMessageTooBig{0x88, 0x02, 0x03, 0xf1};

class WsFrameStream {
public:
    using next_layer_type = boost::beast::tcp_stream;
    using executor_type = next_layer_type::executor_type;

    // `closing_limit` bounds the close that refuses a frame: writing the Close frame, then
    // waiting for the client to end the connection.
    WsFrameStream(next_layer_type stream, std::string early_bytes, std::uint64_t frame_limit,
                  std::chrono::milliseconds closing_limit)
        : next_(std::move(stream)), early_(std::move(early_bytes)), scan_(frame_limit), closing_limit_(closing_limit) {}

    executor_type get_executor() noexcept { return next_.get_executor(); }
    next_layer_type& next_layer() noexcept { return next_; }
    const next_layer_type& next_layer() const noexcept { return next_; }

    // Writes are kept from now on instead of sent, until `take_kept`.
    void keep_writes() noexcept { keeping_ = true; }
    // What was kept; writes are sent again from now on.
    std::string take_kept() {
        keeping_ = false;
        return std::exchange(kept_, {});
    }

    template <typename MutableBuffers, typename Token>
    auto async_read_some(const MutableBuffers& buffers, Token&& token) {
        return boost::asio::async_compose<Token, void(boost::beast::error_code, std::size_t)>(
            ReadOp<MutableBuffers>(*this, buffers), token, next_);
    }

    template <typename ConstBuffers, typename Token>
    auto async_write_some(const ConstBuffers& buffers, Token&& token) {
        return boost::asio::async_compose<Token, void(boost::beast::error_code, std::size_t)>(
            WriteOp<ConstBuffers>(*this, buffers), token, next_);
    }

private:
    // How many of the `size` bytes just placed in `buffers` may go up: all, unless a frame
    // over the limit begins among them.
    template <typename MutableBuffers>
    std::size_t pass(const MutableBuffers& buffers, std::size_t size) {
        std::size_t passed = 0;
        for (const auto buffer : boost::beast::buffers_prefix(size, buffers)) {
            const std::span bytes(static_cast<const std::uint8_t*>(buffer.data()), buffer.size());
            const std::size_t taken = scan_.take(bytes);
            passed += taken;
            if (taken < bytes.size()) break;
        }
        return passed;
    }

    template <typename MutableBuffers>
    struct ReadOp : boost::asio::coroutine {
        ReadOp(WsFrameStream& s, const MutableBuffers& b) : stream(s), buffers(b) {}
        WsFrameStream& stream;
        MutableBuffers buffers;

        template <typename Self>
        void operator()(Self& self, boost::beast::error_code error = {}, std::size_t size = 0) {
            namespace websocket = boost::beast::websocket;
            BOOST_ASIO_CORO_REENTER(*this) {
                if (!stream.scan_.refused() && !stream.early_.empty()) {
                    // Completes from the executor, never inside the caller's initiation.
                    BOOST_ASIO_CORO_YIELD boost::asio::post(stream.get_executor(), std::move(self));
                    size = boost::asio::buffer_copy(buffers, boost::asio::buffer(stream.early_));
                    stream.early_.erase(0, size);
                } else if (!stream.scan_.refused()) {
                    BOOST_ASIO_CORO_YIELD stream.next_.async_read_some(buffers, std::move(self));
                    if (error) return self.complete(error, size);
                }
                size = stream.pass(buffers, size);
                if (size > 0 || !stream.scan_.refused()) return self.complete(error, size);

                stream.next_.expires_after(stream.closing_limit_);
                BOOST_ASIO_CORO_YIELD boost::asio::async_write(stream.next_, boost::asio::buffer(kCloseMessageTooBig),
                                                               std::move(self));
                if (!error) {
                    // As after any Close of the server's: the client ends the connection.
                    BOOST_ASIO_CORO_YIELD {
                        using websocket::async_teardown;
                        async_teardown(boost::beast::role_type::server, stream.next_, std::move(self));
                    }
                }
                self.complete(websocket::error::message_too_big, 0);
            }
        }
    };

    template <typename ConstBuffers>
    struct WriteOp : boost::asio::coroutine {
        WriteOp(WsFrameStream& s, const ConstBuffers& b) : stream(s), buffers(b) {}
        WsFrameStream& stream;
        ConstBuffers buffers;

        template <typename Self>
        void operator()(Self& self, boost::beast::error_code error = {}, std::size_t size = 0) {
            BOOST_ASIO_CORO_REENTER(*this) {
                if (stream.keeping_) {
                    BOOST_ASIO_CORO_YIELD boost::asio::post(stream.get_executor(), std::move(self));
                    size = boost::asio::buffer_size(buffers);
                    const std::size_t at = stream.kept_.size();
                    stream.kept_.resize(at + size);
                    boost::asio::buffer_copy(boost::asio::buffer(stream.kept_.data() + at, size), buffers);
                    return self.complete({}, size);
                }
                BOOST_ASIO_CORO_YIELD stream.next_.async_write_some(buffers, std::move(self));
                self.complete(error, size);
            }
        }
    };

    next_layer_type next_;
    std::string early_;
    FrameScan scan_;
    std::chrono::milliseconds closing_limit_;
    bool keeping_ = false;
    std::string kept_;
};

// The WebSocket's own close ends the connection as the TCP stream does.
template <typename Handler>
void async_teardown(boost::beast::role_type role, WsFrameStream& stream, Handler&& handler) {
    using boost::beast::websocket::async_teardown;
    async_teardown(role, stream.next_layer(), std::forward<Handler>(handler));
}

inline void teardown(boost::beast::role_type role, WsFrameStream& stream, boost::beast::error_code& error) {
    using boost::beast::websocket::teardown;
    teardown(role, stream.next_layer(), error);
}

}  // namespace parvello
