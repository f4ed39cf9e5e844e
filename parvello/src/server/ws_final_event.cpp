#include "server/ws_final_event.hpp"

#include <string>

namespace parvello {

std::optional<JobEvent> ws_final_event(const JobOutcome& outcome, bool terminal_sent) {
    if (!outcome) return JobEvent{JobEvent::Error{"print job task failed: " + outcome.error().message}};
    const auto& job = *outcome;
    if (!job) return JobEvent{JobEvent::Error{job.error().to_string()}};
    if (terminal_sent) return std::nullopt;
    return JobEvent{JobEvent::Done{job->completed, job->total}};
}

}  // namespace parvello
