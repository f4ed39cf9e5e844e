#include "server/ws.hpp"

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/use_awaitable.hpp>

namespace parvello {

namespace {
constexpr auto kTuple = boost::asio::as_tuple(boost::asio::use_awaitable);
}  // namespace

JobEventFeed::JobEventFeed(const boost::asio::any_io_executor& executor)
    : wake_up_(std::make_shared<WakeUp>(executor, 1)) {
    // The callback keeps the wake-up alive for as long as the worker may still send.
    channel_ = std::make_shared<JobEventChannel>(
        [wake_up = wake_up_] { wake_up->try_send(boost::system::error_code{}); });
}

boost::asio::awaitable<std::optional<JobEvent>> JobEventFeed::next() {
    for (;;) {
        // Closed is read first: once it is seen, every event sent before the close is queued.
        const bool closed = channel_->is_closed();
        if (auto event = channel_->try_receive()) co_return event;
        if (closed) co_return std::nullopt;
        co_await wake_up_->async_receive(kTuple);
    }
}

}  // namespace parvello
