#pragma once
// The blocking work behind one print job: check the handshake name, decode every label, open
// the addressed device, deliver the labels one by one (each through its own delivery session)
// and close the device. Events go to the sink as they are made; the first failure ends the job.
#include <expected>

#include "job/deliver_labels.hpp"
#include "job/job_error.hpp"
#include "job/job_sink.hpp"
#include "parvello/request.hpp"

namespace parvello {

struct DeviceOptions;  // open_transport.hpp

// Order: an unknown handshake name, then a label that does not decode, then a device that does
// not open; so nothing reaches a device before every label has decoded. The device is closed
// when the job ends, after a failure too. Labels delivered before a failure stay delivered.
// The device's time limits are the agent's own unless `options` are given.
std::expected<JobCounts, JobError> run_job(JobEnvelope envelope, JobEventSink& sink);
std::expected<JobCounts, JobError> run_job(JobEnvelope envelope, JobEventSink& sink, const DeviceOptions& options);

}  // namespace parvello
