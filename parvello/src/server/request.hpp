#pragma once
// What the routes and layers of the server work with: the request as it arrives on its
// connection, the answer they build, and the shapes of handlers and layers.
#include <cstddef>
#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <boost/asio/awaitable.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>

#include "parvello/app_state.hpp"
#include "parvello/server.hpp"
#include "server/connection_registry.hpp"

namespace parvello {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = boost::beast::http;

// The connection a request came in on: the stream and the bytes already read from it, the
// limits its client is held to and its place among the server's open connections.
struct Connection {
    beast::tcp_stream stream;
    beast::flat_buffer buffer;
    ConnectionLimits limits{};
    ConnectionSlot slot{};  // last, so it is given up before the stream closes its socket
};

// Ends a connection that the server closes to make room: a read pending on it ends at once and
// the client sees the end. A stream whose own time limit has closed it already is left alone.
inline void shut_down_stream(beast::tcp_stream& stream) {
    beast::error_code ignored;
    if (stream.socket().is_open()) stream.socket().shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
}

// A request whose header has been read. Its body stays on the connection until a route
// asks for it, so a route can refuse a request before a byte of the body is read.
class Request {
public:
    using HeaderParser = http::request_parser<http::empty_body>;

    Request(Connection& connection, HeaderParser& parser) noexcept
        : connection_(connection), header_parser_(parser) {}

    const http::request_header<>& header() const noexcept;
    http::verb method() const noexcept { return header().method(); }
    std::string_view target() const noexcept { return header().target(); }
    // The target's path: without its query string, and for an absolute-form target
    // ("http://127.0.0.1:27419/status", as a client sends it to a proxy) without the scheme
    // and authority in front.
    std::string_view path() const noexcept;
    // The authority of an absolute-form target; none for the usual origin-form ("/status").
    std::optional<std::string_view> target_authority() const noexcept;

    // Reads the whole body, refusing more than `limit` bytes with http::error::body_limit.
    // Only the first call reads; a second one fails with http::error::stale_parser.
    asio::awaitable<std::expected<std::string, beast::error_code>> read_body(std::size_t limit);

    // Whether the client asked to keep the connection open after this request.
    bool keep_alive() const noexcept;

    // True while body bytes of this request may still be waiting on the connection.
    bool body_unread() const noexcept;

    // The header alone, for a route that takes the connection over.
    http::request<http::empty_body> release_header();

private:
    // The body of a request that declares its length (already checked against the limit).
    asio::awaitable<std::expected<std::string, beast::error_code>> read_sized_body(std::size_t length);

    Connection& connection_;
    HeaderParser& header_parser_;
    std::optional<http::request_parser<http::string_body>> body_parser_;
    bool body_read_ = false;  // read past the parser by read_sized_body
};

// An HTTP answer as it goes on the wire; the server and the tests' clients use this one name.
using HttpResponse = http::response<http::string_body>;

// A route's answer. A route that takes the connection over (the WebSocket upgrade) sets
// `take_over`: the connection task then writes nothing and hands it the connection, the
// request header and the answer with every layer's headers on it, and ends.
struct Response {
    HttpResponse message;
    std::move_only_function<void(Connection, http::request<http::empty_body>, HttpResponse)> take_over;
};

// An answer with this status and an empty body.
Response empty_response(http::status status);
// 200 with `body` as application/json.
Response json_response(std::string body);

// Blocking work runs on a pool (see blocking.hpp), never on the connection threads.
using BlockingExecutor = asio::thread_pool::executor_type;

// The device list as GET /devices answers it (its JSON array); blocking.
using DeviceListing = std::function<std::string()>;

// The system's own listing: the attached devices that discovery finds.
std::string list_attached_devices();

// The pools for blocking work, kept apart so that a job never waits behind a device listing.
struct BlockingWork {
    BlockingWork(BlockingExecutor devices, BlockingExecutor listings, std::shared_ptr<const DeviceListing> listing)
        : devices(devices), listings(listings), device_listing(std::move(listing)) {}
    // Everything on one pool and the system's own listing: for a server whose listings never
    // compete with its jobs (a test's router).
    BlockingWork(BlockingExecutor pool)  // NOLINT: converts, as the one pool it names
        : BlockingWork(pool, pool, std::make_shared<const DeviceListing>(list_attached_devices)) {}

    // Work that holds the job lock (jobs, status queries, soft reboots): one at a time by the
    // lock, on a thread that nothing else takes, so work that has the lock starts at once.
    BlockingExecutor devices;
    // Device listings, which take no lock: at most as many at once as this pool has threads;
    // more wait in its queue, behind one another and in front of nothing else.
    BlockingExecutor listings;
    std::shared_ptr<const DeviceListing> device_listing;
};

// What every handler gets a copy of.
struct HandlerContext {
    AppState state;
    BlockingWork blocking;
};

using RouteHandler = std::function<asio::awaitable<Response>(Request&, HandlerContext)>;

// The rest of the chain behind a layer: further layers, then the route or a fallback answer.
using Next = std::function<asio::awaitable<Response>(Request&)>;
// A layer sees every request, may answer it itself, and sees every answer.
using Layer = std::function<asio::awaitable<Response>(Request&, const Next&)>;

}  // namespace parvello
