#pragma once
// The Agent API server: HTTP/1.x on 127.0.0.1 at the port in `AppState.config`.
#include <chrono>
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

struct ServerOptions {
    // How long the accept loop rests after an accept error that is not the fault of one
    // connection (such as running out of file descriptors).
    std::chrono::milliseconds accept_error_pause{1000};
    // Threads that run the connections; 0 means the default (2).
    unsigned io_threads = 0;
    // Threads for blocking device work; 0 means the default (3).
    unsigned blocking_threads = 0;
};

// Runs the server on a runtime of its own until it fails; it never stops on its own, so it
// returns only with the error.
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
