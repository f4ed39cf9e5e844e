#pragma once
// The server's run: bind the loopback port, then accept connections for the life of the
// process.
#include <chrono>
#include <cstdint>
#include <functional>

#include "parvello/server.hpp"
#include "server/http.hpp"

namespace parvello {

struct ServeSetup {
    BlockingExecutor blocking;
    std::chrono::milliseconds accept_error_pause{1000};
    // Told the bound port once the listener is up (tests wait for it).
    std::function<void(std::uint16_t)> on_bound;
};

// Completes only when the listener cannot be bound, with that error.
asio::awaitable<ServerError> run_server(AppState state, ServeSetup setup);

// True for accept errors that concern only the connection being accepted.
bool is_connection_error(const beast::error_code& error) noexcept;

}  // namespace parvello
