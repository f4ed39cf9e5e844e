#include <utility>
#include <variant>

#include "job/deliver_labels.hpp"

namespace parvello {
namespace {

using pvo_client_delivery::DeliveryAction;
using pvo_client_delivery::DeliveryError;
using pvo_client_delivery::DeliverySession;

// Drives one label's session from its first action to Done. Every action is performed before
// the session is asked for the next; the first failure ends the label.
std::expected<void, JobError> deliver_one(DeliverySession& session, DeliveryAction action, std::uint32_t i,
                                          std::uint32_t n, TransportIo& io, JobEventSink& sink) {
    for (;;) {
        std::expected<DeliveryAction, DeliveryError> next;
        if (auto* send = std::get_if<pvo_client_delivery::Send>(&action)) {
            if (auto written = io.write(send->bytes); !written) {
                return std::unexpected(JobError::transport(std::move(written.error())));
            }
            next = session.on_send_complete();
        } else if (auto* recv = std::get_if<pvo_client_delivery::Recv>(&action)) {
            auto reply = io.read(recv->max_len, recv->timeout_ms);
            if (!reply) return std::unexpected(JobError::transport(std::move(reply.error())));
            next = session.feed_rx(*reply);
        } else if (auto* progress = std::get_if<pvo_client_delivery::Progress>(&action)) {
            sink.emit({JobEvent::Progress{std::move(progress->phase), i, n, i, n}});
            next = session.tick();
        } else if (auto* status = std::get_if<pvo_client_delivery::Status>(&action)) {
            sink.emit({JobEvent::Status{std::move(status->report)}});
            next = session.tick();
        } else if (auto* fail = std::get_if<pvo_client_delivery::Fail>(&action)) {
            sink.emit({JobEvent::Error{fail->message}});
            return std::unexpected(JobError::delivery(std::move(fail->message)));
        } else {
            return {};  // Done
        }
        if (!next) return std::unexpected(JobError::delivery(next.error().message()));
        action = std::move(*next);
    }
}

}  // namespace

std::expected<JobCounts, JobError> deliver_each_label(const SessionFactory& make_session,
                                                      std::vector<LabelPayload> labels, TransportIo& io,
                                                      JobEventSink& sink) {
    // A job's labels arrive in one request body of bounded size, far below 2^32 labels.
    const auto n = static_cast<std::uint32_t>(labels.size());
    for (std::uint32_t i = 0; i < n; ++i) {
        sink.emit({JobEvent::Progress{"starting_label", i, n, i, n}});
        auto start = make_session(std::move(labels[i]));
        if (!start) return std::unexpected(JobError::delivery(start.error().message()));
        auto delivered = deliver_one(start->session, std::move(start->action), i, n, io, sink);
        if (!delivered) return std::unexpected(std::move(delivered.error()));
        sink.emit({JobEvent::LabelDone{i + 1, n}});
    }
    sink.emit({JobEvent::Done{n, n}});
    return JobCounts{n, n};
}

std::expected<JobCounts, JobError> deliver_labels(pvo_client_delivery::HandshakeId handshake,
                                                  const std::optional<std::string>& driver_variant,
                                                  std::vector<LabelPayload> labels, TransportIo& io,
                                                  JobEventSink& sink) {
    const std::optional<std::string_view> variant =
        driver_variant ? std::optional<std::string_view>(*driver_variant) : std::nullopt;
    return deliver_each_label(
        [&](LabelPayload&& label) { return DeliverySession::create(handshake, variant, std::move(label)); },
        std::move(labels), io, sink);
}

}  // namespace parvello
