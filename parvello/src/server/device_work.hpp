#pragma once
// Device work under the job lock. Every piece of work that opens a device first waits for
// `job_lock` (in arrival order), then hands its guard to the work it runs on the blocking
// pool:
//
//     FairMutex::Guard guard = co_await async_lock(*context.state.job_lock);
//     auto work = holding_job_lock(std::move(guard), [...] { return run_job(...); });
//     auto outcome = co_await run_blocking(context.blocking, std::move(work));
//
// The guard travels with the work, not with the awaiting request: it is dropped only once the
// work has returned (or was dropped without ever starting), so a request that goes away
// while its job runs can never let a second job drive a device alongside the first.
#include <concepts>
#include <utility>

#include "lock/fair_mutex.hpp"

namespace parvello {

template <std::invocable Work>
auto holding_job_lock(FairMutex::Guard guard, Work work) {
    // `work` is declared after `guard`, so it is destroyed first: the lock passes on last.
    return [guard = std::move(guard), work = std::move(work)]() mutable { return work(); };
}

}  // namespace parvello
