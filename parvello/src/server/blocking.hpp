#pragma once
// Running blocking work (device I/O) on the blocking pool and awaiting its result, so the
// connection threads never block:
//
//     auto job = [envelope] { return run_job(envelope, ...); };
//     auto outcome = co_await run_blocking(context.blocking, std::move(job));
//
// Name the work before the co_await: g++ 12 destroys a lambda with captures (or any other
// brace-initialised temporary) twice when it is created inside a co_await expression.
#include <concepts>
#include <exception>
#include <expected>
#include <string>
#include <type_traits>
#include <utility>

#include <boost/asio/associated_executor.hpp>
#include <boost/asio/async_result.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/use_awaitable.hpp>

#include "server/request.hpp"

namespace parvello {

// The worker itself failed (it threw), as opposed to the work reporting an error value.
struct WorkerFailure {
    std::string message;
};

template <std::invocable Work>
using BlockingOutcome = std::expected<std::invoke_result_t<Work>, WorkerFailure>;

template <std::invocable Work>
BlockingOutcome<Work> invoke_catching(Work& work) {
    try {
        if constexpr (std::is_void_v<std::invoke_result_t<Work>>) {
            work();
            return {};
        } else {
            return work();
        }
    } catch (const std::exception& e) {
        return std::unexpected(WorkerFailure{std::string("blocking worker failed: ") + e.what()});
    } catch (...) {
        return std::unexpected(WorkerFailure{"blocking worker failed"});
    }
}

template <std::invocable Work>
asio::awaitable<BlockingOutcome<Work>> run_blocking(BlockingExecutor pool, Work work) {
    using Outcome = BlockingOutcome<Work>;
    co_return co_await asio::async_initiate<const asio::use_awaitable_t<>&, void(Outcome)>(
        [pool](auto handler, Work work) {
            // Keeps the caller's io_context running while the work is away.
            auto caller = asio::make_work_guard(asio::get_associated_executor(handler));
            asio::post(pool,
                       [work = std::move(work), handler = std::move(handler), caller = std::move(caller)]() mutable {
                           Outcome outcome = invoke_catching(work);
                           asio::post(caller.get_executor(),
                                      [handler = std::move(handler), outcome = std::move(outcome)]() mutable {
                                          std::move(handler)(std::move(outcome));
                                      });
                       });
        },
        asio::use_awaitable, std::move(work));
}

}  // namespace parvello
