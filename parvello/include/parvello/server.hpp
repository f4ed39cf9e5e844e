#pragma once
// The Agent API server: HTTP/1.x on 127.0.0.1 at the port in `AppState.config`.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <memory>
#include <string>
#include <system_error>

#include "parvello/app_state.hpp"

namespace parvello {

// Why the server stopped: its listener could not be bound, or its threads could not start.
struct ServerError {
    std::error_code code;
    std::string message;  // the operating system's text, e.g. "Address already in use"
};

// What one client may cost the server. The defaults leave room for every legitimate page (a
// 2 MiB body on a slow machine, a WebSocket waiting through a long job, a kept-alive
// connection between a page's requests, a head full of localhost cookies) and bound the rest.
struct ConnectionLimits {
    // A connection waiting for the first byte of a request, new or kept alive after one.
    std::chrono::milliseconds idle{60'000};
    // A request head, from its first byte to its end.
    std::chrono::milliseconds head{30'000};
    // A request body, or a WebSocket message once begun, that brings no byte for this long.
    std::chrono::milliseconds stall{30'000};
    // An answer, or one event of a WebSocket job, that the client takes too little of to
    // finish within this time: its connection is closed.
    std::chrono::milliseconds send{30'000};
    // Open connections. Beyond them the connection that has waited longest on its client is
    // closed, or the new one refused when every open connection is busy.
    std::size_t max_connections = 256;
    // The largest request head; a larger one is answered 431 and its connection closed.
    std::size_t max_head_bytes = 64 * 1024;
    // After an answer given with the request unread (a refused head or body), what the client
    // still sends is read and dropped, up to this much and within the `head` limit, before the
    // connection closes: closing on unread bytes resets the connection, and the reset can
    // discard the answer before the client has read it.
    std::size_t max_discard_bytes = 16 * 1024 * 1024;
    // Descriptors kept free for the agent's own work (a device being opened, a device listing,
    // the log): a connection accepted into the last of them makes the connection that has
    // waited longest on its client close, as at the cap.
    std::size_t descriptor_reserve = 32;
};

struct ServerOptions {
    // How long the accept loop rests after an accept error that is not the fault of one
    // connection (such as running out of file descriptors with no connection to close).
    std::chrono::milliseconds accept_error_pause{1000};
    // Threads that run the connections; 0 means the default (2).
    unsigned io_threads = 0;
    // Threads for device listings (GET /devices), the most that run at once; 0 means the
    // default (2). Work under the job lock has a thread of its own beside them.
    unsigned blocking_threads = 0;
    // The device list that GET /devices answers with, as its JSON array; none means the
    // system's own listing. Tests stand in for it to hold listings at a known point.
    std::string (*device_listing)() = nullptr;
    ConnectionLimits limits{};
};

// Runs the server on a runtime of its own until it fails; it never stops on its own, so it
// returns only with the error. Raises the process's soft limit on open descriptors to its hard
// limit first: the common starting limit of 1024 is soon spent by connections.
std::expected<void, ServerError> run_server_blocking(AppState state, ServerOptions options = {});

// A server running on threads of its own, for callers that need to stop it again (tests).
class RunningServer {
public:
    // Returns once the listener is bound, or with the error that kept it from binding.
    static std::expected<RunningServer, ServerError> start(AppState state, ServerOptions options = {});

    RunningServer(RunningServer&&) noexcept;
    RunningServer& operator=(RunningServer&&) noexcept;
    ~RunningServer();  // stops the server and waits for its threads

    std::uint16_t port() const noexcept;

    class Runtime;

private:
    RunningServer(std::unique_ptr<Runtime> runtime, std::uint16_t port) noexcept;

    std::unique_ptr<Runtime> runtime_;
    std::uint16_t port_;
};

}  // namespace parvello
