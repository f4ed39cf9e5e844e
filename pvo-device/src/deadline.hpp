#pragma once
// The one piece of time arithmetic behind every bounded wait on a device: a moment by which
// the wait must be over, the whole milliseconds left until it, and that time as poll() takes
// it. The current time is a parameter, so the arithmetic is tested without waiting.
#include <chrono>

namespace pvo_device {

using Clock = std::chrono::steady_clock;

class Deadline {
public:
    // `wait` from `now`. A negative wait has already passed; a wait beyond the clock's range
    // (milliseconds::max() included) never passes.
    static Deadline after(std::chrono::milliseconds wait, Clock::time_point now = Clock::now());
    static Deadline never() { return Deadline(Clock::time_point::max()); }

    bool is_never() const { return at_ == Clock::time_point::max(); }

    // Whole milliseconds left, rounded up so that a wait never ends before the deadline; zero
    // once it has passed. A deadline that never passes has milliseconds::max() left.
    std::chrono::milliseconds left(Clock::time_point now = Clock::now()) const;
    bool passed(Clock::time_point now = Clock::now()) const { return left(now) == std::chrono::milliseconds::zero(); }

    // The time-out argument of poll(): -1 for a deadline that never passes, else the
    // milliseconds left, capped at INT_MAX (a longer wait polls again).
    int poll_timeout(Clock::time_point now = Clock::now()) const;

private:
    explicit Deadline(Clock::time_point at) : at_(at) {}
    Clock::time_point at_;
};

}  // namespace pvo_device
