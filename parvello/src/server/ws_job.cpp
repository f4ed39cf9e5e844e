#include "server/ws.hpp"

#include <memory>
#include <optional>
#include <utility>
#include <variant>

#include <boost/asio/post.hpp>
#include <boost/asio/this_coro.hpp>

#include "job/job.hpp"
#include "job/job_sink.hpp"
#include "lock/async_lock.hpp"
#include "lock/fair_mutex.hpp"
#include "server/blocking.hpp"

namespace parvello {

namespace {

using SharedGuard = std::shared_ptr<FairMutex::Guard>;
using OutcomeSlot = std::shared_ptr<std::optional<JobOutcome>>;

// The blocking side of one job. It fills the outcome slot and then closes the event channel,
// which tells the connection task that the outcome is in. Dropped without having run (the
// pool stopped first), it closes the channel with the slot left empty.
class JobWorker {
public:
    JobWorker(JobEnvelope envelope, std::shared_ptr<JobEventChannel> channel, SharedGuard held,
              OutcomeSlot outcome)
        : envelope_(std::move(envelope)),
          channel_(std::move(channel)),
          held_(std::move(held)),
          outcome_(std::move(outcome)) {}
    JobWorker(JobWorker&&) noexcept = default;
    JobWorker& operator=(JobWorker&&) = delete;
    ~JobWorker() {
        if (channel_) channel_->close();
    }

    void operator()() {
        auto job = [this] {
            ChannelSink sink(channel_);
            return run_job(std::move(envelope_), sink);
        };
        *outcome_ = invoke_catching(job);
        channel_->close();
    }

private:
    JobEnvelope envelope_;
    std::shared_ptr<JobEventChannel> channel_;
    SharedGuard held_;  // the job lock stays held while the device work runs
    OutcomeSlot outcome_;
};

bool is_terminal(const JobEvent& event) {
    return std::holds_alternative<JobEvent::Done>(event.value) ||
           std::holds_alternative<JobEvent::Error>(event.value);
}

}  // namespace

boost::asio::awaitable<void> run_ws_job(WsConnection& connection, const HandlerContext& context,
                                         JobEnvelope envelope) {
    FairMutex::Guard lock = co_await async_lock(*context.state.job_lock);
    // Shared with the worker: the lock passes on only once both the worker has returned and
    // this task has sent the final event, whichever comes last.
    SharedGuard held = std::make_shared<FairMutex::Guard>(std::move(lock));

    JobEventFeed feed(co_await boost::asio::this_coro::executor);
    auto outcome = std::make_shared<std::optional<JobOutcome>>();
    JobWorker worker(std::move(envelope), feed.channel(), held, outcome);
    boost::asio::post(context.blocking, std::move(worker));

    bool terminal_sent = false;
    bool forwarding = true;
    while (std::optional<JobEvent> event = co_await feed.next()) {
        // After a failed send the job's remaining events are taken and dropped unsent.
        if (!forwarding) continue;
        if (is_terminal(*event)) terminal_sent = true;
        forwarding = co_await send_ws_event(connection.ws, *event, connection.limits.send);
    }

    // The channel is closed: the worker has ended and its outcome is in the slot.
    const JobOutcome result = outcome->has_value()
                                    ? std::move(**outcome)
                                    : JobOutcome(std::unexpect, WorkerFailure{"blocking worker was cancelled"});
    if (std::optional<JobEvent> last = ws_final_event(result, terminal_sent)) {
        co_await send_ws_event(connection.ws, *last, connection.limits.send);
    }
    held.reset();
}

}  // namespace parvello
