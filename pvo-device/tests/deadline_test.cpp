// The time arithmetic of every bounded wait, with the current time passed in.
#include "deadline.hpp"

#include <climits>

#include <gtest/gtest.h>

namespace pvo_device {
namespace {

using namespace std::chrono_literals;
using std::chrono::milliseconds;
using std::chrono::nanoseconds;

TEST(Deadline, TimeLeftAndPollTimeout) {
    const Clock::time_point start{std::chrono::hours(1)};
    struct Case {
        const char* what;
        milliseconds wait;
        nanoseconds elapsed;
        milliseconds left;
        int poll_timeout;
    };
    const Case cases[] = {
        {"fresh", 500ms, 0ns, 500ms, 500},
        {"part gone", 500ms, 200ms, 300ms, 300},
        {"a fraction left rounds up", 500ms, 499'999'999ns, 1ms, 1},
        {"just passed", 500ms, 500ms, 0ms, 0},
        {"long passed", 500ms, 10s, 0ms, 0},
        {"zero wait", 0ms, 0ns, 0ms, 0},
        {"negative wait", -5ms, 0ns, 0ms, 0},
        {"beyond poll's range", milliseconds(INT_MAX) + 10ms, 0ns, milliseconds(INT_MAX) + 10ms, INT_MAX},
    };
    for (const auto& c : cases) {
        const auto deadline = Deadline::after(c.wait, start);
        const auto now = start + c.elapsed;
        EXPECT_FALSE(deadline.is_never()) << c.what;
        EXPECT_EQ(deadline.left(now), c.left) << c.what;
        EXPECT_EQ(deadline.poll_timeout(now), c.poll_timeout) << c.what;
        EXPECT_EQ(deadline.passed(now), c.left == 0ms) << c.what;
    }
}

// A wait meant as "no limit" must neither overflow the clock nor come back as a short wait.
TEST(Deadline, WaitBeyondTheClocksRangeNeverPasses) {
    const Clock::time_point late = Clock::time_point::max() - std::chrono::hours(1);
    for (const auto& [wait, now] : {std::pair{milliseconds::max(), Clock::time_point{}},
                                    std::pair{std::chrono::duration_cast<milliseconds>(std::chrono::hours(2)), late}}) {
        const auto deadline = Deadline::after(wait, now);
        EXPECT_TRUE(deadline.is_never());
        EXPECT_EQ(deadline.left(now), milliseconds::max());
        EXPECT_EQ(deadline.poll_timeout(now), -1);
        EXPECT_FALSE(deadline.passed(Clock::time_point::max() - 1ns));
    }
    EXPECT_EQ(Deadline::never().poll_timeout(), -1);
}

}  // namespace
}  // namespace pvo_device
