#include "server/ws.hpp"

#include <memory>
#include <optional>
#include <utility>
#include <variant>

#include <boost/asio/experimental/awaitable_operators.hpp>

#include "job/run_job.hpp"
#include "job/job_channel_await.hpp"
#include "job/job_sink.hpp"
#include "server/device_work.hpp"

namespace parvello {

namespace {

bool is_terminal(const JobEvent& event) {
    return std::holds_alternative<JobEvent::Done>(event.value) || std::holds_alternative<JobEvent::Error>(event.value);
}

// Sends the job's events as they come, until the channel ends (the worker has returned and
// every event it made has been taken). After a failed send the channel is closed, so the
// events the job still makes are dropped as it makes them. Tells whether a `done` or `error`
// event was taken for sending.
boost::asio::awaitable<bool> forward_events(WsConnection& connection, JobEventChannel& channel) {
    bool terminal_sent = false;
    while (std::optional<JobEvent> event = co_await async_receive(channel)) {
        if (is_terminal(*event)) terminal_sent = true;
        if (!co_await send_ws_event(connection.ws, *event, connection.limits.send)) {
            channel.close();
            break;
        }
    }
    co_return terminal_sent;
}

}  // namespace

boost::asio::awaitable<void> run_ws_job(WsConnection& connection, const HandlerContext& context, JobEnvelope envelope) {
    using boost::asio::experimental::awaitable_operators::operator&&;
    auto channel = std::make_shared<JobEventChannel>();
    // The sink goes with the work and closes the channel when the work is dropped.
    auto job = [envelope = std::move(envelope), sink = ChannelSink(channel)]() mutable {
        return run_job(std::move(envelope), sink);
    };
    auto running = run_device_work(context, std::move(job));
    auto forwarding = forward_events(connection, *channel);
    const auto [outcome, terminal_sent] = co_await (std::move(running) && std::move(forwarding));
    if (std::optional<JobEvent> last = ws_final_event(outcome, terminal_sent)) {
        co_await send_ws_event(connection.ws, *last, connection.limits.send);
    }
}

}  // namespace parvello
