#include "deadline.hpp"

#include <algorithm>
#include <climits>

namespace pvo_device {

using std::chrono::milliseconds;

Deadline Deadline::after(milliseconds wait, Clock::time_point now) {
    if (wait <= milliseconds::zero()) return Deadline(now);
    // Compared in milliseconds, so that converting `wait` to the clock's unit cannot overflow.
    if (wait >= std::chrono::floor<milliseconds>(Clock::time_point::max() - now)) return never();
    return Deadline(now + wait);
}

milliseconds Deadline::left(Clock::time_point now) const {
    if (is_never()) return milliseconds::max();
    if (at_ <= now) return milliseconds::zero();
    return std::chrono::ceil<milliseconds>(at_ - now);
}

int Deadline::poll_timeout(Clock::time_point now) const {
    if (is_never()) return -1;
    return static_cast<int>(std::min<milliseconds::rep>(left(now).count(), INT_MAX));
}

}  // namespace pvo_device
