#pragma once
// An unbounded, thread-safe queue of job events from the worker that runs a job to the task
// that forwards them to a client.
//
// The producer (a blocking worker thread) never waits: `send` queues the event, or drops it
// when the channel is closed. The consumer either blocks in `receive`, polls with
// `try_receive`, or is woken by the `on_ready` callback given at construction, which runs on
// the sending (or closing) thread, outside the channel's lock, after every queued event and
// once on close. An async consumer posts from that callback to its own executor and then
// drains with `try_receive`.
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

#include "job/job_event.hpp"

namespace parvello {

class JobEventChannel {
public:
    // `on_ready` may run on two threads at once (a send and a close) and must be safe for that.
    explicit JobEventChannel(std::function<void()> on_ready = {});
    JobEventChannel(const JobEventChannel&) = delete;
    JobEventChannel& operator=(const JobEventChannel&) = delete;

    // Queues the event; false (and the event dropped) when the channel is closed.
    bool send(JobEvent event);

    // No event is taken after this; the events already queued can still be received.
    void close();
    bool is_closed() const;

    // The oldest queued event, if any, without waiting.
    std::optional<JobEvent> try_receive();

    // Waits for the oldest queued event; none once the channel is closed and empty.
    std::optional<JobEvent> receive();

private:
    std::function<void()> on_ready_;
    mutable std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<JobEvent> queue_;
    bool closed_ = false;
};

}  // namespace parvello
