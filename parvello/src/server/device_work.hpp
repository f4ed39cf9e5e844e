#pragma once
// Device work under the job lock. Every piece of work that opens a device first waits for
// `job_lock` (in arrival order), then runs on the device thread with the lock's guard:
//
//     auto job = [envelope] { return run_job(envelope, ...); };
//     auto outcome = co_await run_device_work(context, std::move(job));
//
// The guard travels with the work, not with the awaiting task: it is dropped as soon as the
// work has returned (or was dropped without ever starting). So a request that goes away while
// its job runs can never let a second job drive a device alongside the first, and a client
// that is slow to take a job's result never holds the lock after the job itself.
#include <concepts>
#include <utility>

#include "lock/async_lock.hpp"
#include "lock/fair_mutex.hpp"
#include "server/blocking.hpp"

namespace parvello {

template <std::invocable Work>
auto holding_job_lock(FairMutex::Guard guard, Work work) {
    // `work` is declared after `guard`, so it is destroyed first: the lock passes on last.
    return [guard = std::move(guard), work = std::move(work)]() mutable { return work(); };
}

// Waits for the job lock, then runs `work` holding it on the device thread; the outcome comes
// back on the caller's executor once the work has returned, the lock already passed on.
template <std::invocable Work>
asio::awaitable<BlockingOutcome<Work>> run_device_work(const HandlerContext& context, Work work) {
    FairMutex::Guard guard = co_await async_lock(*context.state.job_lock);
    auto held = holding_job_lock(std::move(guard), std::move(work));
    co_return co_await run_blocking(context.blocking.devices, std::move(held));
}

}  // namespace parvello
