#include "job/run_job.hpp"
#include "job/open_transport.hpp"
#include "job/transport_io.hpp"
#include "pvo-client-delivery/handshake_id.hpp"

namespace parvello {

std::expected<JobCounts, JobError> run_job(JobEnvelope envelope, JobEventSink& sink, const DeviceOptions& options) {
    const auto handshake = pvo_client_delivery::parse_handshake_id(envelope.handshake);
    if (!handshake) return std::unexpected(JobError::unknown_handshake(std::move(envelope.handshake)));

    auto labels = decode_labels(envelope.labels);
    if (!labels) return std::unexpected(std::move(labels.error()));
    std::vector<JobLabel>().swap(envelope.labels);  // the payloads replace the text from here on

    auto device = open_transport(envelope.transport, options);
    if (!device) return std::unexpected(std::move(device.error()));
    OpenTransportIo io(*device, options);
    return deliver_labels(*handshake, envelope.driver_variant, std::move(*labels), io, sink);
    // `device` is dropped here, which closes it whatever the delivery's outcome.
}

std::expected<JobCounts, JobError> run_job(JobEnvelope envelope, JobEventSink& sink) {
    return run_job(std::move(envelope), sink, DeviceOptions{});
}

}  // namespace parvello
