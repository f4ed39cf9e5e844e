#pragma once
// The answer of POST /print once its job has ended.
#include <expected>

#include "job/job.hpp"
#include "server/blocking.hpp"

namespace parvello {

// The job's result, or the failure of the worker that ran it.
using PrintOutcome = std::expected<std::expected<JobCounts, JobError>, WorkerFailure>;

// 200 with {"completed":n,"total":n}; a job error as `job_error_reply` maps it; 500 with the
// worker's failure text.
Response print_response(const PrintOutcome& outcome);

}  // namespace parvello
