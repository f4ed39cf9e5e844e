#pragma once
// Waiting for a FairMutex (or a Guarded value) from a coroutine without blocking a thread:
//
//     auto guard = co_await async_lock(*state.job_lock);
//
// A free lock is taken at once, on the awaiting thread. Otherwise the wait is an Asio
// operation of its own: it keeps the io_context running while it waits, the guard is
// delivered on the waiter's executor, and a wait still queued when its io_context shuts down
// is abandoned there (its coroutine is destroyed with the context, and the lock passes over
// it when its turn comes).
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include <boost/asio/associated_executor.hpp>
#include <boost/asio/async_result.hpp>
#include <boost/asio/execution_context.hpp>
#include <boost/asio/execution/context.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/query.hpp>
#include <boost/asio/use_awaitable.hpp>

#include "lock/fair_mutex.hpp"

namespace parvello {

namespace asio = boost::asio;

// A queued wait as the context's registry sees it.
class PendingLockWait {
public:
    virtual ~PendingLockWait() = default;
    // Drops the waiter's handler without calling it.
    virtual void abandon() noexcept = 0;
};

// Per io_context registry of the waits still queued, so that shutting the context down
// destroys their handlers while the context can still take them.
class LockWaitRegistry : public asio::execution_context::service {
public:
    using key_type = LockWaitRegistry;
    static inline asio::execution_context::id id;

    explicit LockWaitRegistry(asio::execution_context& context) : asio::execution_context::service(context) {}

    void add(const std::shared_ptr<PendingLockWait>& wait);

private:
    void shutdown() override;

    std::mutex mutex_;
    bool shut_down_ = false;
    std::list<std::weak_ptr<PendingLockWait>> waits_;
};

template <typename Guard, typename Handler>
class LockWait final : public PendingLockWait {
public:
    explicit LockWait(Handler handler)
        : work_(asio::make_work_guard(asio::get_associated_executor(handler))), handler_(std::move(handler)) {}

    // The lock is ours: resume the waiter on its own executor, never on the releasing thread.
    void complete(Guard guard) {
        std::lock_guard lock(mutex_);
        if (!handler_) return;  // abandoned: dropping the guard passes the lock on
        auto executor = work_->get_executor();
        asio::post(executor, [handler = std::move(*handler_), guard = std::move(guard)]() mutable {
            std::move(handler)(std::move(guard));
        });
        handler_.reset();
        work_.reset();
    }

    void abandon() noexcept override {
        std::optional<Handler> dropped;  // destroyed outside the lock: it may release others
        {
            std::lock_guard lock(mutex_);
            if (handler_) dropped.emplace(std::move(*handler_));
            handler_.reset();
            work_.reset();
        }
    }

private:
    using Work = decltype(asio::make_work_guard(asio::get_associated_executor(std::declval<Handler&>())));

    std::mutex mutex_;
    std::optional<Work> work_;
    std::optional<Handler> handler_;
};

// Most waits find the lock free (GET /status, a job on an idle agent): those skip the queue,
// the registry and the hop through the executor, and resume the awaiting coroutine at once.
// A free lock has nobody queued for it, so taking it directly passes no one.
template <typename Mutex, typename Token = const asio::use_awaitable_t<>&>
auto async_lock(Mutex& mutex, Token&& token = asio::use_awaitable) {
    using Guard = typename Mutex::Guard;
    return asio::async_initiate<Token, void(Guard)>(
        [&mutex](auto handler) {
            if (auto guard = mutex.try_lock()) {
                std::move(handler)(std::move(*guard));
                return;
            }
            using Wait = LockWait<Guard, decltype(handler)>;
            auto& context = asio::query(asio::get_associated_executor(handler), asio::execution::context);
            auto wait = std::make_shared<Wait>(std::move(handler));
            asio::use_service<LockWaitRegistry>(context).add(wait);
            mutex.lock_async([wait](Guard guard) { wait->complete(std::move(guard)); });
        },
        token);
}

}  // namespace parvello
