#pragma once
// A small blocking HTTP client for the server tests, over real loopback sockets. What a test
// sees is a request going out and an answer (status, headers, body) coming back; the socket
// work behind it is compiled once, in support/server_test_client.cpp, so this header carries
// Beast's message types but none of its or Asio's I/O.
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <boost/asio/ts/netfwd.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>

#include "pvo-test-support/free_port.hpp"

namespace parvello::test {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = boost::beast::http;
// Only declared here: a test that works on a client's socket includes <boost/asio/ip/tcp.hpp>.
using tcp = asio::ip::tcp;

using pvo_test_support::free_port;

// An HTTP answer as it came over the wire: the same type as the server's own answer.
using HttpResponse = http::response<http::string_body>;

using Headers = std::vector<std::pair<std::string, std::string>>;

// A blocking client connection to 127.0.0.1:port.
class Client {
public:
    using Socket = asio::basic_stream_socket<tcp>;

    explicit Client(std::uint16_t port);
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    // Writes the bytes as they are.
    void send(std::string_view bytes);

    // Sends a request (Host: 127.0.0.1; a body goes as application/json) and reads its answer.
    HttpResponse request(http::verb method, std::string_view target, std::string body = {});

    // Reads the next answer; `head` for the answer to a HEAD request, which has no body.
    HttpResponse read_response(bool head = false);

    // Everything the server sends until it closes the connection, bytes already buffered
    // by earlier reads included.
    std::string read_to_end();

    Socket& socket();

private:
    struct Connection;
    std::unique_ptr<Connection> connection_;
};

// Writes one request with exactly these headers (and a Content-Length) on `client`. A write
// that fails is left to show in the answer: the server may answer and close before it has
// taken a body it refuses.
void send_request(Client& client, http::verb method, std::string_view target, const Headers& headers,
                  std::string body = {});

// Sends the bytes on a fresh connection and returns all that comes back until the server
// closes it.
std::string exchange(std::uint16_t port, std::string_view bytes);

// This process's end of a loopback TCP connection from `peer_port` to `local_port`, found
// among its open descriptors (the server's end, for a server running in the test); -1 when
// there is none.
int server_end(std::uint16_t local_port, std::uint16_t peer_port);

// What came on a connection until the peer ended it, or until `limit` passed without that.
struct UntilClosed {
    bool closed = false;  // ended by the peer (end of stream or reset); false: still open
    std::string received;
};

// Reads (without blocking past `limit`) everything the peer sends until it ends the
// connection. The limit only keeps a failing test from hanging: a peer that is meant to
// close does so long before it.
UntilClosed read_until_closed(int fd, std::chrono::milliseconds limit = std::chrono::seconds(20));

}  // namespace parvello::test
