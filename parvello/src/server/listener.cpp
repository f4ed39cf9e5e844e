#include "server/listener.hpp"

#include <cerrno>
#include <expected>
#include <functional>
#include <memory>
#include <string>

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <fmt/format.h>

#include "parvello/product.hpp"
#include "pvo-log/log.hpp"
#include "lock/async_lock.hpp"
#include "server/connection.hpp"
#include "server/connection_registry.hpp"
#include "server/json_body.hpp"
#include "server/os_limits.hpp"
#include "server/router.hpp"

namespace parvello {

namespace {

using asio::ip::tcp;

// Accept errors are the HTTP layer's own business, logged under its own target.
constexpr std::string_view kAcceptTarget = "http::server";
constexpr int kBacklog = 128;
// How long the accept loop rests after shutting a connection down to free a descriptor: time
// for that connection's task to end and close its socket before the accept is tried again.
constexpr std::chrono::milliseconds kRoomPause{10};

// The one place the server asks the OS for a listening socket. SO_REUSEADDR lets a
// restarted agent bind over connections of its predecessor still in TIME_WAIT; on Linux it
// does not let a second agent bind a port that a live one listens on.
//
// The accepted connections inherit a receive buffer with room for the largest body a route
// takes, set before listening so that the connection's window is scaled for it: a client's
// print job then arrives at the speed it is sent, instead of in steps while the kernel grows
// the window. The kernel takes only the memory that bytes waiting in it use. A system that
// caps the size lower keeps its cap; one that refuses the option keeps its own sizing.
std::expected<tcp::acceptor, beast::error_code> bind_loopback(const asio::any_io_executor& executor,
                                                              const tcp::endpoint& endpoint) {
    tcp::acceptor acceptor(executor);
    beast::error_code error;
    acceptor.open(endpoint.protocol(), error);
    if (!error) acceptor.set_option(tcp::acceptor::reuse_address(true), error);
    if (!error) {
        beast::error_code ignored;
        acceptor.set_option(asio::socket_base::receive_buffer_size(static_cast<int>(kMaxJsonBody)), ignored);
    }
    if (!error) acceptor.bind(endpoint, error);
    if (!error) acceptor.listen(kBacklog, error);
    if (error) return std::unexpected(error);
    return acceptor;
}

void log_connection_failure(std::exception_ptr failure) {
    if (!failure) return;
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& e) {
        pvo_log::error(kServerTarget, "connection failed: {}", e.what());
    } catch (...) {
        pvo_log::error(kServerTarget, "connection failed");
    }
}

// True when a new connection's descriptor lies among the last `reserve` the process may open:
// descriptors are handed out lowest first, so nearly all below it are taken.
bool near_descriptor_limit(int descriptor, std::size_t reserve) {
    const auto limit = descriptor_soft_limit();
    return limit && static_cast<std::uint64_t>(descriptor) + reserve >= *limit;
}

}  // namespace

bool is_descriptor_exhaustion(const beast::error_code& error) noexcept {
    // Asio names the process's limit (EMFILE) but not the system's (ENFILE).
    return error == asio::error::no_descriptors ||
           error == beast::error_code(ENFILE, asio::error::get_system_category());
}

bool is_connection_error(const beast::error_code& error) noexcept {
    return error == asio::error::connection_reset || error == asio::error::connection_aborted ||
           error == asio::error::connection_refused;
}

asio::awaitable<ServerError> run_server(AppState state, ServeSetup setup) {
    std::uint16_t port = 0;
    {
        auto config = co_await async_lock(*state.config);
        port = config->port;
    }
    const tcp::endpoint endpoint(asio::ip::address_v4::loopback(), port);
    pvo_log::info(kServerTarget, "{} v{} listening on http://{}", kProductName, kVersion,
                  fmt::format("127.0.0.1:{}", port));

    const auto executor = co_await asio::this_coro::executor;
    auto acceptor = bind_loopback(executor, endpoint);
    if (!acceptor) co_return ServerError{acceptor.error(), acceptor.error().message()};
    if (setup.on_bound) setup.on_bound(acceptor->local_endpoint().port());

    const auto router = std::make_shared<const Router>(build_router({state, setup.blocking}));
    ConnectionRegistry registry(setup.limits.max_connections);
    asio::steady_timer pause(executor);
    const auto& threads = setup.connection_executors;
    for (std::size_t next = 0;; next = (next + 1) % threads.size()) {
        // Each connection lives on one connection thread's io_context, which only that thread
        // runs: its time limits fire on that thread, never beside the connection's task.
        const ConnectionExecutor home = threads[next];
        auto [error, socket] = co_await acceptor->async_accept(home, asio::as_tuple(asio::use_awaitable));
        if (!error) {
            // A job's events go out as several small WebSocket frames; with Nagle's algorithm
            // each frame after the first would wait for the client's delayed ACK (40 ms or
            // more). HTTP answers are written whole and lose nothing by it. A socket that
            // refuses the option still works, only slower.
            beast::error_code ignored;
            socket.set_option(tcp::no_delay(true), ignored);
            // Refused when every open connection is busy: the socket closes with this scope.
            // Near the descriptor limit room is made early, so that the agent's own work (a
            // print job opening its device) and the next client still find descriptors.
            const bool low = near_descriptor_limit(socket.native_handle(), setup.limits.descriptor_reserve);
            auto slot = registry.admit([home](std::function<void()> f) { asio::post(home, std::move(f)); }, low);
            if (!slot) continue;
            Connection connection{beast::tcp_stream(std::move(socket)), {}, setup.limits, std::move(*slot)};
            asio::co_spawn(home, serve_connection(std::move(connection), router), log_connection_failure);
        } else if (is_descriptor_exhaustion(error)) {
            pvo_log::warn(kServerTarget, "accept error: {}", error.message());
            // Room is made by ending the connection that has waited longest on its client;
            // the waiting client is accepted once that connection's task has closed it.
            pause.expires_after(registry.shut_down_longest_waiting() ? kRoomPause : setup.accept_error_pause);
            co_await pause.async_wait(asio::as_tuple(asio::use_awaitable));
        } else if (!is_connection_error(error)) {
            pvo_log::error(kAcceptTarget, "accept error: {}", error.message());
            pause.expires_after(setup.accept_error_pause);
            co_await pause.async_wait(asio::as_tuple(asio::use_awaitable));
        }
    }
}

}  // namespace parvello
