// The runtime under the server: an io_context on its own threads for the connections and a
// thread pool for blocking work.
#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/thread_pool.hpp>

#include "parvello/server.hpp"
#include "server/listener.hpp"

namespace parvello {

namespace {

constexpr unsigned kMinBlockingThreads = 4;

unsigned hardware_threads() { return std::max(1u, std::thread::hardware_concurrency()); }

ServerError error_of(std::exception_ptr failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const std::system_error& e) {
        return {e.code(), e.what()};
    } catch (const std::exception& e) {
        return {{}, e.what()};
    } catch (...) {
        return {{}, "server failed"};
    }
}

}  // namespace

class RunningServer::Runtime {
public:
    explicit Runtime(const ServerOptions& options)
        : io_threads_(options.io_threads ? options.io_threads : hardware_threads()),
          io_(static_cast<int>(io_threads_)),
          blocking_(options.blocking_threads ? options.blocking_threads
                                             : std::max(kMinBlockingThreads, hardware_threads())) {}

    Runtime(const Runtime&) = delete;
    Runtime& operator=(const Runtime&) = delete;

    ~Runtime() {
        io_.stop();
        for (auto& thread : threads_) thread.join();
        blocking_.stop();
        blocking_.join();
    }

    // Starts `run_server` and the threads that run it. Throws std::system_error when a
    // thread cannot be started; the destructor still stops the ones that did.
    void start(AppState state, const ServerOptions& options) {
        ServeSetup setup{blocking_.get_executor(), options.accept_error_pause,
                         [this](std::uint16_t port) { settle(port, std::nullopt); }};
        asio::co_spawn(io_, run_server(std::move(state), std::move(setup)),
                       [this](std::exception_ptr failure, ServerError error) {
                           settle(std::nullopt, failure ? error_of(failure) : std::move(error));
                       });
        threads_.reserve(io_threads_);
        for (unsigned i = 0; i < io_threads_; ++i) threads_.emplace_back([this] { io_.run(); });
    }

    // The bound port, or the error that ended the server before it was bound.
    std::expected<std::uint16_t, ServerError> wait_bound() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return port_ || ended_; });
        if (port_) return *port_;
        return std::unexpected(*ended_);
    }

    ServerError wait_ended() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return ended_.has_value(); });
        return *ended_;
    }

private:
    void settle(std::optional<std::uint16_t> port, std::optional<ServerError> ended) {
        std::lock_guard lock(mutex_);
        if (port) port_ = port;
        if (ended) ended_ = std::move(ended);
        changed_.notify_all();
    }

    unsigned io_threads_;
    asio::io_context io_;
    asio::thread_pool blocking_;
    std::vector<std::thread> threads_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<std::uint16_t> port_;
    std::optional<ServerError> ended_;
};

std::expected<void, ServerError> run_server_blocking(AppState state, ServerOptions options) {
    try {
        RunningServer::Runtime runtime(options);
        runtime.start(std::move(state), options);
        return std::unexpected(runtime.wait_ended());
    } catch (const std::system_error& e) {
        return std::unexpected(ServerError{e.code(), e.what()});
    }
}

std::expected<RunningServer, ServerError> RunningServer::start(AppState state, ServerOptions options) {
    try {
        auto runtime = std::make_unique<Runtime>(options);
        runtime->start(std::move(state), options);
        auto port = runtime->wait_bound();
        if (!port) return std::unexpected(port.error());
        return RunningServer(std::move(runtime), *port);
    } catch (const std::system_error& e) {
        return std::unexpected(ServerError{e.code(), e.what()});
    }
}

RunningServer::RunningServer(std::unique_ptr<Runtime> runtime, std::uint16_t port) noexcept
    : runtime_(std::move(runtime)), port_(port) {}
RunningServer::RunningServer(RunningServer&&) noexcept = default;
RunningServer& RunningServer::operator=(RunningServer&&) noexcept = default;
RunningServer::~RunningServer() = default;

std::uint16_t RunningServer::port() const noexcept { return port_; }

}  // namespace parvello
