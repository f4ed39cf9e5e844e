#pragma once
// Awaiting the next event of a job's channel from a coroutine without blocking a thread:
//
//     while (std::optional<JobEvent> event = co_await async_receive(*channel)) { ... }
//
// The event is delivered on the waiter's executor, never on the worker's thread that sent it,
// and the waiter's io_context is kept running while it waits. A wait always ends: the worker's
// sink closes the channel when it is dropped, whether the job ran or not.
#include <optional>
#include <utility>

#include <boost/asio/associated_executor.hpp>
#include <boost/asio/async_result.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/use_awaitable.hpp>

#include "job/job_channel.hpp"

namespace parvello {

template <typename Token = const boost::asio::use_awaitable_t<>&>
auto async_receive(JobEventChannel& channel, Token&& token = boost::asio::use_awaitable) {
    namespace asio = boost::asio;
    return asio::async_initiate<Token, void(std::optional<JobEvent>)>(
        [&channel](auto handler) {
            auto work = asio::make_work_guard(asio::get_associated_executor(handler));
            channel.receive_async(
                [handler = std::move(handler), work = std::move(work)](std::optional<JobEvent> event) mutable {
                    auto executor = work.get_executor();
                    asio::post(executor, [handler = std::move(handler), event = std::move(event)]() mutable {
                        std::move(handler)(std::move(event));
                    });
                });
        },
        token);
}

}  // namespace parvello
