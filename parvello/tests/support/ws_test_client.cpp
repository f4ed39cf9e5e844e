#include "ws_test_client.hpp"

#include <boost/asio/buffer.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/websocket/stream.hpp>

namespace parvello::test {

namespace websocket = boost::beast::websocket;

struct WsClient::Connection {
    boost::asio::io_context io;
    Stream ws{io};
    std::vector<std::string> log;
};

WsClient::WsClient(std::uint16_t port, std::optional<std::string> origin)
    : connection_(std::make_unique<Connection>()) {
    auto& ws = connection_->ws;
    ws.next_layer().connect({boost::asio::ip::address_v4::loopback(), port});
    ws.set_option(websocket::stream_base::decorator([origin](websocket::request_type& request) {
        if (origin) request.set(boost::beast::http::field::origin, *origin);
    }));
    ws.handshake("127.0.0.1:" + std::to_string(port), "/ws");
    ws.control_callback([log = &connection_->log](websocket::frame_type kind, std::string_view payload) {
        if (kind == websocket::frame_type::pong) log->push_back("pong:" + std::string(payload));
    });
}

WsClient::~WsClient() = default;

void WsClient::send_text(std::string_view text) {
    connection_->ws.text(true);
    connection_->ws.write(boost::asio::buffer(text));
}

void WsClient::send_binary(std::string_view bytes) {
    connection_->ws.binary(true);
    connection_->ws.write(boost::asio::buffer(bytes));
}

void WsClient::ping(std::string_view payload) {
    connection_->ws.ping(websocket::ping_data(payload.data(), payload.size()));
}

std::string WsClient::read() {
    boost::beast::flat_buffer buffer;
    connection_->ws.read(buffer);
    std::string text = boost::beast::buffers_to_string(buffer.data());
    connection_->log.push_back(text);
    return text;
}

std::vector<std::string> WsClient::read(std::size_t count) {
    std::vector<std::string> messages;
    for (std::size_t i = 0; i < count; ++i) messages.push_back(read());
    return messages;
}

boost::system::error_code WsClient::read_until_end() {
    for (;;) {
        boost::beast::flat_buffer buffer;
        boost::beast::error_code error;
        connection_->ws.read(buffer, error);
        if (error) return error;
        connection_->log.push_back(boost::beast::buffers_to_string(buffer.data()));
    }
}

const std::vector<std::string>& WsClient::log() const { return connection_->log; }

WsClient::Stream& WsClient::stream() { return connection_->ws; }

}  // namespace parvello::test
