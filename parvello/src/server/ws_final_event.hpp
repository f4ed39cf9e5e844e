#pragma once
// The last event of a WebSocket job, apart from the channel itself so that it is tested
// without the WebSocket library.
#include <optional>

#include "job/job_event.hpp"
#include "server/routes.hpp"

namespace parvello {

// The last event of a job, sent once the job's worker has returned.
// `terminal_sent`: a `done` or `error` event of the job was already taken for sending.
// - Counts: `done` with them, unless a terminal event went before (the runner's own `done`).
// - A job error: always `error` with its text, even after the runner's error event, so a
//   failed delivery ends with its failure text and then the same text behind "delivery: ".
// - A failed worker: `error` "print job task failed: " and the failure.
std::optional<JobEvent> ws_final_event(const JobOutcome& outcome, bool terminal_sent);

}  // namespace parvello
