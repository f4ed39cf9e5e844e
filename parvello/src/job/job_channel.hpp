#pragma once
// An unbounded, thread-safe queue of job events from the worker that runs a job to the task
// that forwards them to a client.
//
// The producer (a blocking worker thread) never waits: `send` queues the event, or drops it
// when the channel is closed. The consumer asks for the next event with `receive_async`,
// which hands it over at once when one is waiting and otherwise on the thread that sends the
// next event or closes the channel; `async_receive` (job_channel_await.hpp) makes that an
// awaitable for the connection task.
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

#include "job/job_event.hpp"

namespace parvello {

class JobEventChannel {
public:
    // Called exactly once: with the oldest event, or with none once the channel is closed and
    // every event sent before the close has been taken.
    using Receiver = std::move_only_function<void(std::optional<JobEvent>)>;

    JobEventChannel() = default;
    JobEventChannel(const JobEventChannel&) = delete;
    JobEventChannel& operator=(const JobEventChannel&) = delete;

    // Queues the event, or hands it to the waiting receiver; false (and the event dropped)
    // when the channel is closed.
    bool send(JobEvent event);

    // No event is taken after this; the events already queued can still be received. A
    // receiver waiting on an empty channel is told the end.
    void close();
    bool is_closed() const;

    // Calls `receiver` at once on this thread when an event is queued or the channel has
    // ended, otherwise later on the thread that sends or closes. One receiver at a time.
    void receive_async(Receiver receiver);

private:
    mutable std::mutex mutex_;
    std::deque<JobEvent> queue_;
    std::optional<Receiver> waiting_;
    bool closed_ = false;
};

}  // namespace parvello
