#pragma once
// The label loop of `deliver_labels`, with the way each label's session is made passed in, so
// the loop can be driven with any handshake.
#include <expected>
#include <functional>
#include <span>
#include <vector>

#include "job/job.hpp"
#include "pvo-client-delivery/session.hpp"

namespace parvello {

using SessionFactory =
    std::function<std::expected<pvo_delivery::SessionStart, pvo_delivery::DeliveryError>(
        std::span<const std::uint8_t> label)>;

std::expected<JobCounts, JobError> deliver_each_label(const SessionFactory& make_session,
                                                      const std::vector<LabelPayload>& labels,
                                                      TransportIo& io, JobEventSink& sink);

}  // namespace parvello
