#pragma once
// The receiving end of a job's event channel for the connection task: awaits the next event
// without blocking a thread, while the worker sends from the blocking pool and never waits.
#include <memory>
#include <optional>

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/awaitable.hpp>
#include <boost/asio/experimental/concurrent_channel.hpp>
#include <boost/system/error_code.hpp>

#include "job/job_channel.hpp"
#include "job/job_event.hpp"

namespace parvello {

class JobEventFeed {
public:
    // The task's awaits resume on `executor`.
    explicit JobEventFeed(const boost::asio::any_io_executor& executor);

    // The channel to wrap in the job's sink; the worker closes it when it ends.
    const std::shared_ptr<JobEventChannel>& channel() const noexcept { return channel_; }

    // The oldest event not yet taken, waiting for it as needed; none once the channel is
    // closed and every event sent before the close has been taken.
    boost::asio::awaitable<std::optional<JobEvent>> next();

private:
    // Holds at most one wake-up: a send that finds one pending adds nothing, so the worker
    // never waits, and a wake-up given before the task waits is not lost.
    using WakeUp = boost::asio::experimental::concurrent_channel<void(boost::system::error_code)>;

    std::shared_ptr<WakeUp> wake_up_;
    std::shared_ptr<JobEventChannel> channel_;
};

}  // namespace parvello
