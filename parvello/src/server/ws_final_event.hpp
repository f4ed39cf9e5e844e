#pragma once
// The last event of a WebSocket job, sent once the job's worker has returned.
#include <expected>
#include <optional>

#include "job/job.hpp"
#include "job/job_event.hpp"
#include "server/blocking.hpp"

namespace parvello {

// What the worker of a job returned: the job's counts or its error, or the worker's own failure.
using WsJobOutcome = std::expected<std::expected<JobCounts, JobError>, WorkerFailure>;

// `terminal_sent`: a `done` or `error` event of the job was already taken for sending.
// - Counts: `done` with them, unless a terminal event went before (the runner's own `done`).
// - A job error: always `error` with its text, even after the runner's error event, so a
//   failed delivery ends with its failure text and then the same text behind "delivery: ".
// - A failed worker: `error` "print job task failed: " and the failure.
std::optional<JobEvent> ws_final_event(const WsJobOutcome& outcome, bool terminal_sent);

}  // namespace parvello
