#pragma once
// Delivering a job's decoded labels over an open device, one delivery session per label.
#include <cstdint>
#include <expected>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "job/decode_labels.hpp"
#include "job/job_error.hpp"
#include "job/job_io.hpp"
#include "job/job_sink.hpp"
#include "pvo-client-delivery/handshake_id.hpp"
#include "pvo-client-delivery/session.hpp"

namespace parvello {

// The labels delivered and the labels asked for; equal on success.
struct JobCounts {
    std::uint32_t completed = 0;
    std::uint32_t total = 0;
    bool operator==(const JobCounts&) const = default;
};

// One delivery session per label over `io`, reporting progress, status, label_done and done.
// A refused label or call gives Delivery with the session's text; a failed write or read gives
// Transport with the io's text; a failed procedure reports its message as an error event and
// gives Delivery with the same message.
std::expected<JobCounts, JobError> deliver_labels(pvo_client_delivery::HandshakeId handshake,
                                                  const std::optional<std::string>& driver_variant,
                                                  std::vector<LabelPayload> labels, TransportIo& io,
                                                  JobEventSink& sink);

// The label loop of `deliver_labels`, with the way each label's session is made passed in, so
// the loop can be driven with any handshake. Each label is handed to its session, not copied.
using SessionFactory =
    std::function<std::expected<pvo_client_delivery::SessionStart, pvo_client_delivery::DeliveryError>(
        LabelPayload&& label)>;

std::expected<JobCounts, JobError> deliver_each_label(const SessionFactory& make_session,
                                                      std::vector<LabelPayload> labels, TransportIo& io,
                                                      JobEventSink& sink);

}  // namespace parvello
