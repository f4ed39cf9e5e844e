#include "niimbot_poll.hpp"

#include <utility>

#include "pvo-client-delivery/handshake_id.hpp"
#include "pvo-status/niimbot_status.hpp"
#include "pvo-driver-niimbot/packet.hpp"
#include "pvo-driver-niimbot/variant.hpp"

namespace pvo_client_delivery {
std::expected<std::unique_ptr<Handshake>, DeliveryError> NiimbotPoll::create(
    std::optional<std::string_view> driver_variant, Bytes label) {
    const auto variant = driver_variant ? pvo_driver_niimbot::parse_niimbot_variant(*driver_variant)
                                        : pvo_driver_niimbot::NiimbotVariant::Standard;
    if (!variant) {
        return std::unexpected(DeliveryError::unsupported_driver_variant(
            std::string(handshake_name(HandshakeId::NiimbotPoll)), std::string(*driver_variant)));
    }
    std::vector<Bytes> writes;
    std::optional<Bytes> final_packet;
    if (*variant == pvo_driver_niimbot::NiimbotVariant::B1) {
        auto split = pvo_driver_niimbot::split_final_packet(label);
        writes = pvo_driver_niimbot::repack_packets(pvo_driver_niimbot::scan_packets(split.rest));
        // A job that is nothing but its print-end packet still makes one (empty) write, so the
        // printer is polled and the print-end packet goes out like in any other job.
        if (writes.empty()) writes.push_back(std::move(split.rest));
        final_packet = std::move(split.final_packet);
    } else {
        writes.push_back(std::move(label));
    }
    return std::unique_ptr<Handshake>(new NiimbotPoll(std::move(writes), std::move(final_packet)));
}

Batch NiimbotPoll::start() {
    stage_ = Stage::SendingJob;
    write_index_ = 0;
    return batch_of(Progress{phase::sending}, Send{std::move(writes_.front())});
}

Send NiimbotPoll::request_status() {
    stage_ = Stage::RequestingStatus;
    return Send{pvo_driver_niimbot::status_request()};
}

Batch NiimbotPoll::on_event(TransportEvent event) {
    const auto* received = std::get_if<Received>(&event);
    switch (stage_) {
        case Stage::SendingJob:
            if (received) break;
            if (++write_index_ < writes_.size()) return batch_of(Send{std::move(writes_[write_index_])});
            return {request_status()};
        case Stage::RequestingStatus:
            if (received) break;
            stage_ = Stage::AwaitingStatus;
            return {Recv{reply_len, reply_timeout_ms}};
        case Stage::AwaitingStatus:
            if (!received) break;
            return on_reply(received->bytes);
        case Stage::SendingFinal:
            if (received) break;
            stage_ = Stage::Finished;
            return {Done{}};
        case Stage::Finished:
            break;
    }
    return out_of_order("niimbot");
}

Batch NiimbotPoll::on_reply(const Bytes& reply) {
    ++replies_;
    Batch batch;
    bool page_finished = false;
    if (const auto status = pvo_driver_niimbot::find_print_status(reply)) {
        if (status->progress1 < 100 || status->progress2 < 100) {
            seen_incomplete_ = true;
        } else {
            page_finished = seen_incomplete_;
        }
        batch.push_back(Status{pvo_status::niimbot_report(status->page, status->progress1, status->progress2)});
    }
    if (!page_finished && replies_ < max_replies) {
        batch.push_back(request_status());
        return batch;
    }
    // The page is finished, or the printer has been polled long enough. Either way the job's
    // print-end packet, if one is held, is part of the job and goes out before Done.
    if (final_packet_) {
        stage_ = Stage::SendingFinal;
        batch.push_back(Send{std::move(*final_packet_)});
        final_packet_.reset();
        return batch;
    }
    stage_ = Stage::Finished;
    // Built in place: g++ 12 at -O1 takes a moved temporary here for an uninitialised read.
    batch.emplace_back(std::in_place_type<Done>);
    return batch;
}

}  // namespace pvo_client_delivery
