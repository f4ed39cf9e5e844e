#pragma once
// A time limit on a connection's waits for its client, kept by one timer for the life of the
// connection. Setting or clearing the limit costs a clock read: the timer is armed again only
// when it fires before the limit (the limit moved later meanwhile) or when the limit moves
// earlier than the time it stands at. A connection that waits on its client once per request
// so pays for no timer per request.
#include <chrono>
#include <functional>
#include <memory>

#include <boost/asio/any_io_executor.hpp>

namespace parvello {

class WaitLimit {
public:
    using Clock = std::chrono::steady_clock;

    // `on_expiry` runs on the executor's thread when a limit passes; the limit is then gone.
    WaitLimit(const boost::asio::any_io_executor& executor, std::function<void()> on_expiry);
    // Nothing runs after this, even a timer that has already fired.
    ~WaitLimit();
    WaitLimit(const WaitLimit&) = delete;
    WaitLimit& operator=(const WaitLimit&) = delete;

    void expires_after(Clock::duration limit);
    void expires_never() noexcept;

private:
    struct State;
    std::shared_ptr<State> state_;  // shared with the timer's pending wait
};

}  // namespace parvello
