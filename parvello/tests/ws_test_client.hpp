#pragma once
// A blocking WebSocket client for the job channel tests: Beast's client over a real loopback
// socket, recording what arrives (data messages and pongs) in arrival order.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <boost/asio/buffer.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/websocket/stream.hpp>

namespace parvello::testing {

class WsClient {
public:
    using Stream = boost::beast::websocket::stream<boost::asio::ip::tcp::socket>;

    // Connects to the agent and upgrades to /ws, with an Origin header when one is given.
    explicit WsClient(std::uint16_t port, std::optional<std::string> origin = std::nullopt) : ws_(io_) {
        ws_.next_layer().connect({boost::asio::ip::address_v4::loopback(), port});
        ws_.set_option(boost::beast::websocket::stream_base::decorator(
            [origin](boost::beast::websocket::request_type& request) {
                if (origin) request.set(boost::beast::http::field::origin, *origin);
            }));
        ws_.handshake("127.0.0.1:" + std::to_string(port), "/ws");
        ws_.control_callback([this](boost::beast::websocket::frame_type kind, std::string_view payload) {
            if (kind == boost::beast::websocket::frame_type::pong) log_.push_back("pong:" + std::string(payload));
        });
    }

    void send_text(std::string_view text) {
        ws_.text(true);
        ws_.write(boost::asio::buffer(text));
    }

    void send_binary(std::string_view bytes) {
        ws_.binary(true);
        ws_.write(boost::asio::buffer(bytes));
    }

    void ping(std::string_view payload) { ws_.ping(boost::beast::websocket::ping_data(payload.data(), payload.size())); }

    // The next data message (pongs that come before it are logged on the way).
    std::string read() {
        boost::beast::flat_buffer buffer;
        ws_.read(buffer);
        std::string text = boost::beast::buffers_to_string(buffer.data());
        log_.push_back(text);
        return text;
    }

    std::vector<std::string> read(std::size_t count) {
        std::vector<std::string> messages;
        for (std::size_t i = 0; i < count; ++i) messages.push_back(read());
        return messages;
    }

    // Reads until the connection ends and returns why; the data messages read are logged.
    boost::beast::error_code read_until_end() {
        for (;;) {
            boost::beast::flat_buffer buffer;
            boost::beast::error_code error;
            ws_.read(buffer, error);
            if (error) return error;
            log_.push_back(boost::beast::buffers_to_string(buffer.data()));
        }
    }

    // Everything read so far: data messages as their text, pongs as "pong:" and the payload.
    const std::vector<std::string>& log() const { return log_; }

    Stream& stream() { return ws_; }

private:
    boost::asio::io_context io_;
    Stream ws_;
    std::vector<std::string> log_;
};

}  // namespace parvello::testing
