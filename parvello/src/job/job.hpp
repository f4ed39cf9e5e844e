#pragma once
// The blocking work behind one print job: check the handshake name, decode every label, open
// the addressed device, deliver the labels one by one (each through its own delivery session)
// and close the device. Events go to the sink as they are made; the first failure ends the job.
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <vector>

#include "job/job_error.hpp"
#include "job/job_io.hpp"
#include "job/job_sink.hpp"
#include "parvello/request.hpp"
#include "pvo-client-delivery/handshake_id.hpp"

namespace parvello {

struct DeviceOptions;  // job_device.hpp

// The labels delivered and the labels asked for; equal on success.
struct JobCounts {
    std::uint32_t completed = 0;
    std::uint32_t total = 0;
    bool operator==(const JobCounts&) const = default;
};

using LabelPayload = std::vector<std::uint8_t>;

// Order: an unknown handshake name, then a label that does not decode, then a device that does
// not open; so nothing reaches a device before every label has decoded. The device is closed
// when the job ends, after a failure too. Labels delivered before a failure stay delivered.
// The device's time limits are the agent's own unless `options` are given.
std::expected<JobCounts, JobError> run_job(JobEnvelope envelope, JobEventSink& sink);
std::expected<JobCounts, JobError> run_job(JobEnvelope envelope, JobEventSink& sink,
                                           const DeviceOptions& options);

// Every label's `data_base64`, trimmed of Unicode white space and decoded strictly, in list
// order. An empty list gives NoLabels; the first label that does not decode gives
// InvalidBase64 with its position. Blank data decodes to an empty payload.
std::expected<std::vector<LabelPayload>, JobError> decode_labels(const std::vector<JobLabel>& labels);

// One delivery session per label over `io`, reporting progress, status, label_done and done.
// A refused label or call gives Delivery with the session's text; a failed write or read gives
// Transport with the io's text; a failed procedure reports its message as an error event and
// gives Delivery with the same message.
std::expected<JobCounts, JobError> deliver_labels(pvo_client_delivery::HandshakeId handshake,
                                                  const std::optional<std::string>& driver_variant,
                                                  std::vector<LabelPayload> labels,
                                                  TransportIo& io, JobEventSink& sink);

}  // namespace parvello
