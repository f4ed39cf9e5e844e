#pragma once
// A blocking WebSocket client for the job channel tests over a real loopback socket: it
// connects and upgrades, sends and receives messages, and records what arrives (data
// messages and pongs) in arrival order. Beast's client behind it is compiled once, in
// support/ws_test_client.cpp.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <boost/asio/ts/netfwd.hpp>
#include <boost/beast/websocket/stream_fwd.hpp>
#include <boost/system/error_code.hpp>

namespace parvello::test {

class WsClient {
public:
    // Only declared here: a test that works on the stream itself includes
    // <boost/beast/websocket/stream.hpp> and <boost/asio/ip/tcp.hpp>.
    using Stream = boost::beast::websocket::stream<boost::asio::basic_stream_socket<boost::asio::ip::tcp>>;

    // Connects to the agent and upgrades to /ws, with an Origin header when one is given.
    explicit WsClient(std::uint16_t port, std::optional<std::string> origin = std::nullopt);
    ~WsClient();
    WsClient(const WsClient&) = delete;
    WsClient& operator=(const WsClient&) = delete;

    void send_text(std::string_view text);
    void send_binary(std::string_view bytes);
    void ping(std::string_view payload);

    // The next data message (pongs that come before it are logged on the way).
    std::string read();
    std::vector<std::string> read(std::size_t count);

    // Reads until the connection ends and returns why; the data messages read are logged.
    boost::system::error_code read_until_end();

    // Everything read so far: data messages as their text, pongs as "pong:" and the payload.
    const std::vector<std::string>& log() const;

    Stream& stream();

private:
    struct Connection;
    std::unique_ptr<Connection> connection_;
};

}  // namespace parvello::test
