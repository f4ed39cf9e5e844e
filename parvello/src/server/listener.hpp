#pragma once
// The server's run: bind the loopback port, then accept connections for the life of the
// process.
#include <chrono>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include <boost/asio/io_context.hpp>

#include <boost/beast/core/error.hpp>

#include "parvello/server.hpp"
#include "server/request.hpp"

namespace parvello {

namespace beast = boost::beast;

// Where the server logs its own events.
inline constexpr std::string_view kServerTarget = "parvello::server";

// The io_context of one connection thread: a connection lives on one, run by that thread alone.
using ConnectionExecutor = asio::io_context::executor_type;

struct ServeSetup {
    BlockingWork blocking;
    // Accepted connections are handed to these in turn; at least one.
    std::vector<ConnectionExecutor> connection_executors;
    std::chrono::milliseconds accept_error_pause{1000};
    ConnectionLimits limits{};
    // Told the bound port once the listener is up (tests wait for it).
    std::function<void(std::uint16_t)> on_bound;
};

// Completes only when the listener cannot be bound, with that error.
asio::awaitable<ServerError> run_server(AppState state, ServeSetup setup);

// True for an accept that failed because the process or the system has no descriptor left.
bool is_descriptor_exhaustion(const beast::error_code& error) noexcept;

// True for accept errors that concern only the connection being accepted.
bool is_connection_error(const beast::error_code& error) noexcept;

}  // namespace parvello
