#include "server/ws_final_event.hpp"

#include <gtest/gtest.h>

namespace parvello {
namespace {

TEST(WsFinalEvent, DependsOnTheOutcomeAndOnWhetherTheJobEndedItself) {
    const JobOutcome counts{JobCounts{2, 2}};
    const JobOutcome delivery{std::expected<JobCounts, JobError>(std::unexpect, JobError::delivery("cutter jammed"))};
    const JobOutcome failed{std::unexpect, WorkerFailure{"blocking worker failed: bad_alloc"}};
    const JobEvent done{JobEvent::Done{2, 2}};
    const JobEvent delivery_error{JobEvent::Error{"delivery: cutter jammed"}};
    const JobEvent worker_error{JobEvent::Error{"print job task failed: blocking worker failed: bad_alloc"}};
    struct Case {
        const JobOutcome& outcome;
        bool terminal_sent;
        std::optional<JobEvent> last;
    };
    const Case cases[] = {
        {counts, false, done},
        {counts, true, std::nullopt},  // the runner's own done went before
        {delivery, false, delivery_error},
        {delivery, true, delivery_error},  // after the procedure's own error event
        {failed, false, worker_error},
        {failed, true, worker_error},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.terminal_sent);
        EXPECT_EQ(ws_final_event(c.outcome, c.terminal_sent), c.last);
    }
}

}  // namespace
}  // namespace parvello
