#include "server/wait_limit.hpp"

#include <boost/asio/steady_timer.hpp>

namespace parvello {

struct WaitLimit::State : std::enable_shared_from_this<State> {
    State(const boost::asio::any_io_executor& executor, std::function<void()> expiry)
        : timer(executor), on_expiry(std::move(expiry)) {}

    void arm(Clock::time_point at) {
        armed = at;
        timer.expires_at(at);  // a wait still pending ends as cancelled
        timer.async_wait([self = shared_from_this(), at](const boost::system::error_code& error) {
            if (!error) self->fired(at);
        });
    }

    void fired(Clock::time_point at) {
        if (at != armed) return;  // a wait that fired just before the timer was moved
        armed = Clock::time_point::max();
        if (deadline == Clock::time_point::max()) return;
        if (Clock::now() < deadline) return arm(deadline);
        deadline = Clock::time_point::max();
        if (on_expiry) on_expiry();
    }

    boost::asio::steady_timer timer;
    std::function<void()> on_expiry;
    Clock::time_point deadline = Clock::time_point::max();
    Clock::time_point armed = Clock::time_point::max();  // where the pending wait stands; max: none
};

WaitLimit::WaitLimit(const boost::asio::any_io_executor& executor, std::function<void()> on_expiry)
    : state_(std::make_shared<State>(executor, std::move(on_expiry))) {}

WaitLimit::~WaitLimit() {
    state_->on_expiry = nullptr;
    state_->deadline = Clock::time_point::max();
    state_->timer.cancel();
}

void WaitLimit::expires_after(Clock::duration limit) {
    state_->deadline = Clock::now() + limit;
    if (state_->deadline < state_->armed) state_->arm(state_->deadline);
}

void WaitLimit::expires_never() noexcept { state_->deadline = Clock::time_point::max(); }

}  // namespace parvello
