#pragma once
// What the routes and layers of the server work with: the request as it arrives on its
// connection, the answer they build (response.hpp), and the shapes of handlers and layers.
// The HTTP library stays behind request.cpp: a request reads its head and body through the
// connection it came in on (server/http_connection.hpp), which nothing here needs to know.
#include <cstddef>
#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>

#include <boost/asio/awaitable.hpp>
#include <boost/asio/thread_pool.hpp>

#include "parvello/app_state.hpp"
#include "server/response.hpp"

namespace parvello {

namespace asio = boost::asio;

// The methods the routes tell apart; every other is `Other` (its name is still the request's).
enum class Method { Get, Head, Post, Options, Other };

// Why a body could not be read. `text` says it in the HTTP library's words ("body limit
// exceeded", "partial message", ...).
struct BodyError {
    enum class Kind {
        TooLarge,    // over the route's limit, declared or sent
        Unreadable,  // cut short, malformed chunks, a failed read, or read before
    };
    Kind kind = Kind::Unreadable;
    std::string text;
};

// The request on the wire behind a `Request`: its connection and parser state.
struct IncomingRequest;

// A request whose header has been read. Its body stays on the connection until a route
// asks for it, so a route can refuse a request before a byte of the body is read.
class Request {
public:
    explicit Request(IncomingRequest& incoming) noexcept : incoming_(incoming) {}

    Method method() const noexcept;
    // The method as the request names it ("GET", "PROPFIND").
    std::string_view method_name() const noexcept;
    // The HTTP version, as 10 * major + minor (11 for HTTP/1.1).
    unsigned version() const noexcept;
    std::string_view target() const noexcept;
    // The target's path: without its query string, and for an absolute-form target
    // ("http://127.0.0.1:27419/status", as a client sends it to a proxy) without the scheme
    // and authority in front.
    std::string_view path() const noexcept;
    // The authority of an absolute-form target; none for the usual origin-form ("/status").
    std::optional<std::string_view> target_authority() const noexcept;

    // Header fields by name, in any letter case: the value of the first one of that name,
    // how many there are, and whether every one of them passes `accept` (true for none).
    std::optional<std::string_view> field(std::string_view name) const noexcept;
    std::size_t field_count(std::string_view name) const noexcept;
    bool every_field(std::string_view name, bool (*accept)(std::string_view)) const;

    // Reads the whole body, refusing more than `limit` bytes (`BodyError::Kind::TooLarge`).
    // Only the first call reads; a second one fails.
    asio::awaitable<std::expected<std::string, BodyError>> read_body(std::size_t limit);

    // Whether the client asked to keep the connection open after this request.
    bool keep_alive() const noexcept;

    // True while body bytes of this request may still be waiting on the connection.
    bool body_unread() const noexcept;

private:
    IncomingRequest& incoming_;
};

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

// What a layer that waits for nothing of its own does to the answer the rest of the chain gives.
using AnswerEdit = std::move_only_function<void(Response&)>;
// Such a layer runs as a plain call in front of the rest of the chain: it answers the request
// itself (the rest does not run), or passes it on with what it will do to the answer (nothing,
// when the edit is empty). An edit may refer to the request: it runs while the request lives.
using LayerEntry = std::variant<Response, AnswerEdit>;
using PlainLayer = std::function<LayerEntry(Request&)>;
// A layer that awaits the rest of the chain itself.
using AwaitingLayer = std::function<asio::awaitable<Response>(Request&, const Next&)>;

// A layer sees every request, may answer it itself, and sees every answer. It is given in one
// of the two forms above; the plain one costs no coroutine of its own.
class Layer {
public:
    template <typename F>
    requires std::is_invocable_r_v<LayerEntry, F&, Request&> Layer(F layer)
        : form_(std::in_place_type<PlainLayer>, std::move(layer)) {}  // NOLINT: either form converts
    template <typename F>
    requires std::is_invocable_r_v<asio::awaitable<Response>, F&, Request&, const Next&> Layer(F layer)
        : form_(std::in_place_type<AwaitingLayer>, std::move(layer)) {}  // NOLINT: either form converts

    const PlainLayer* plain() const noexcept { return std::get_if<PlainLayer>(&form_); }
    const AwaitingLayer* awaiting() const noexcept { return std::get_if<AwaitingLayer>(&form_); }

private:
    std::variant<PlainLayer, AwaitingLayer> form_;
};

}  // namespace parvello
