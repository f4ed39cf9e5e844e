// The runtime under the server: one io_context per connection thread, each run by that thread
// alone (a connection lives on one of them, so nothing on its path needs a strand or a lock),
// and two thread pools for blocking work: one thread for the work under the job lock, a few for
// device listings.
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/thread_pool.hpp>

#include "parvello/server.hpp"
#include "pvo-log/log.hpp"
#include "pvo-util/posix_io.hpp"
#include "server/listener.hpp"
#include "server/os_limits.hpp"

namespace parvello {

namespace {

// Sized for an agent that only its own machine talks to, not by the hardware: one connection
// thread per hardware thread made every request wake and hand work between threads for no
// gain (more CPU per GET /status with 8 threads than with 2), and each thread is memory.
constexpr unsigned kDefaultIoThreads = 2;
// Device listings (GET /devices) run beside any job, so they have threads of their own; this
// many run at once, and a page listing in a loop cannot take more. Work under the job lock
// runs one piece at a time, on one further thread that listings never occupy.
constexpr unsigned kDefaultListingThreads = 2;

// Every connection costs a descriptor, and the soft limit many systems start a process with
// (1024) would be spent by idle connections long before the connection cap.
void raise_descriptor_limit_for_connections() {
    const auto limit = raise_descriptor_limit();
    if (!limit) {
        pvo_log::warn(kServerTarget, "open file limit not raised: {}", pvo_util::errno_text(limit.error()));
    } else if (limit->after != limit->before) {
        pvo_log::debug(kServerTarget, "open file limit raised from {} to {}", limit->before, limit->after);
    }
}

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

// The connection threads' io_contexts, gone in a fixed order: the first one's, where the listener
// runs, before the others, since an accept still pending there holds a socket made for another.
class ConnectionContexts {
public:
    ConnectionContexts() = default;
    ConnectionContexts(const ConnectionContexts&) = delete;
    ConnectionContexts& operator=(const ConnectionContexts&) = delete;
    ~ConnectionContexts() {
        for (auto& io : all) io.reset();
    }

    std::vector<std::unique_ptr<asio::io_context>> all;
};

class RunningServer::Runtime {
public:
    explicit Runtime(const ServerOptions& options)
        : devices_(1), listings_(options.blocking_threads ? options.blocking_threads : kDefaultListingThreads) {
        const unsigned io_threads = options.io_threads ? options.io_threads : kDefaultIoThreads;
        io_.all.reserve(io_threads);
        busy_.reserve(io_threads);
        for (unsigned i = 0; i < io_threads; ++i) {
            // One thread runs it: Asio may then skip some of its own locking.
            io_.all.push_back(std::make_unique<asio::io_context>(1));
            // A context with no connection yet must keep its thread waiting for one.
            busy_.push_back(asio::make_work_guard(*io_.all.back()));
        }
    }

    Runtime(const Runtime&) = delete;
    Runtime& operator=(const Runtime&) = delete;

    ~Runtime() {
        for (auto& io : io_.all) io->stop();
        for (auto& thread : threads_) thread.join();
        for (asio::thread_pool* pool : {&devices_, &listings_}) {
            pool->stop();
            pool->join();
        }
    }

    // Starts `run_server` and the threads that run it. Throws std::system_error when a
    // thread cannot be started; the destructor still stops the ones that did.
    void start(AppState state, const ServerOptions& options) {
        DeviceListing listing = options.device_listing ? options.device_listing : list_attached_devices;
        BlockingWork blocking{devices_.get_executor(), listings_.get_executor(),
                              std::make_shared<const DeviceListing>(std::move(listing))};
        std::vector<ConnectionExecutor> connection_executors;
        for (auto& io : io_.all) connection_executors.push_back(io->get_executor());
        ServeSetup setup{std::move(blocking), std::move(connection_executors), options.accept_error_pause,
                         options.limits, [this](std::uint16_t port) { settle(port, std::nullopt); }};
        asio::co_spawn(*io_.all.front(), run_server(std::move(state), std::move(setup)),
                       [this](std::exception_ptr failure, ServerError error) {
                           settle(std::nullopt, failure ? error_of(failure) : std::move(error));
                       });
        threads_.reserve(io_.all.size());
        for (auto& io : io_.all) threads_.emplace_back([&io = *io] { io.run(); });
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

    ConnectionContexts io_;  // outlives the pools: work still queued there may hold connections
    std::vector<asio::executor_work_guard<asio::io_context::executor_type>> busy_;
    asio::thread_pool devices_;
    asio::thread_pool listings_;
    std::vector<std::thread> threads_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<std::uint16_t> port_;
    std::optional<ServerError> ended_;
};

std::expected<void, ServerError> run_server_blocking(AppState state, ServerOptions options) {
    raise_descriptor_limit_for_connections();
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
