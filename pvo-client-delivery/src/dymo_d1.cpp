#include "dymo_d1.hpp"

#include <utility>

#include "pvo-status/dymo_status.hpp"

namespace pvo_client_delivery {
namespace {

namespace d1 = pvo_driver_dymo;

Send status_request() { return Send{{d1::d1_esc, 'A'}}; }

}  // namespace

DymoD1Handshake::DymoD1Handshake(std::span<const std::uint8_t> job)
    : chunks_(d1::split_d1_chunks(d1::normalize_d1_job(job))) {}

Batch DymoD1Handshake::start() {
    // Only an empty job has no chunk (the session refuses one before it gets here); with
    // nothing to send there is nothing to wait for.
    if (chunks_.empty()) {
        stage_ = Stage::Finished;
        return {Done{}};
    }
    stage_ = Stage::RequestSent;
    return {Progress{phase::sending}, status_request()};
}

Batch DymoD1Handshake::on_event(TransportEvent event) {
    const auto* received = std::get_if<Received>(&event);
    const bool awaits_reply = stage_ == Stage::RequestReplyRead || stage_ == Stage::StatusRead;
    if (stage_ == Stage::Finished || (received != nullptr) != awaits_reply) {
        stage_ = Stage::Finished;
        return out_of_order("dymo-d1");
    }
    switch (stage_) {
        case Stage::RequestSent:
            stage_ = Stage::RequestReplyRead;
            return {Recv{reply_len, request_timeout_ms}};
        case Stage::RequestReplyRead: {
            // The reply to the request before a chunk is not looked at.
            d1::D1Chunk& chunk = chunks_[index_];
            pending_ = d1::count_status_requests(chunk.bytes, chunk.line_length);
            stage_ = Stage::ChunkSent;
            return batch_of(Send{std::move(chunk.bytes)});
        }
        case Stage::ChunkSent:
            if (pending_ == 0) return next_chunk({});
            stage_ = Stage::StatusRead;
            return {Recv{reply_len, status_timeout_ms}};
        case Stage::StatusRead: {
            Batch batch;
            // An empty reply reports nothing but still answers one request.
            if (!received->bytes.empty()) {
                batch.push_back(Status{pvo_status::decode_d1_status(received->bytes.front())});
            }
            if (--pending_ > 0) {
                batch.push_back(Recv{reply_len, status_timeout_ms});
                return batch;
            }
            return next_chunk(std::move(batch));
        }
        case Stage::Finished:
            break;
    }
    return out_of_order("dymo-d1");
}

Batch DymoD1Handshake::next_chunk(Batch batch) {
    ++index_;
    if (index_ < chunks_.size()) {
        batch.push_back(status_request());
        stage_ = Stage::RequestSent;
    } else {
        batch.push_back(Done{});
        stage_ = Stage::Finished;
    }
    return batch;
}

}  // namespace pvo_client_delivery
