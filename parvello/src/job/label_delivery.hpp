#pragma once
// The label loop of `deliver_labels`, with the way each label's session is made passed in, so
// the loop can be driven with any handshake. Each label is handed to its session, not copied.
#include <expected>
#include <functional>
#include <vector>

#include "job/job.hpp"
#include "pvo-client-delivery/session.hpp"

namespace parvello {

using SessionFactory =
    std::function<std::expected<pvo_client_delivery::SessionStart, pvo_client_delivery::DeliveryError>(
        LabelPayload&& label)>;

std::expected<JobCounts, JobError> deliver_each_label(const SessionFactory& make_session,
                                                      std::vector<LabelPayload> labels,
                                                      TransportIo& io, JobEventSink& sink);

}  // namespace parvello
