#include "gpgl.hpp"

#include <utility>

#include "pvo-status/gpgl_status.hpp"

namespace pvo_client_delivery {
namespace {

using pvo_status::GpglState;

const Gpgl::Bytes gpgl_initialise{0x1B, 0x04};
const Gpgl::Bytes gpgl_status_request{0x1B, 0x05};
const Gpgl::Bytes gpgl_identity_request{0x46, 0x47, 0x03};  // "FG" and ETX

constexpr const char* stayed_idle = "cutter stayed idle after cut payload (never reported moving)";

}  // namespace

Batch Gpgl::start() {
    step_ = Step::Initialising;
    return {Progress{phase::init}, Send{gpgl_initialise}};
}

Send Gpgl::request_status() {
    step_ = Step::RequestingStatus;
    return Send{gpgl_status_request};
}

Batch Gpgl::begin_wait(Wait wait, std::uint32_t limit, Batch batch) {
    wait_ = wait;
    polls_ = 0;
    poll_limit_ = limit;
    batch.push_back(request_status());
    return batch;
}

Batch Gpgl::on_event(TransportEvent event) {
    const auto* received = std::get_if<Received>(&event);
    switch (step_) {
        case Step::Initialising:
            if (received) break;
            return begin_wait(Wait::BeforeIdentity, replies_before_identity, {Progress{phase::handshake}});
        case Step::IdentityRequested:
            if (received) break;
            return begin_wait(Wait::BeforeCutJob, replies_before_cut, {Progress{phase::handshake}});
        case Step::RequestingStatus:
            if (received) break;
            step_ = Step::AwaitingStatus;
            return {Recv{reply_len, reply_timeout_ms}};
        case Step::AwaitingStatus:
            if (!received) break;
            return on_status(received->bytes);
        case Step::CutJobSent:
            if (received) break;
            return begin_wait(Wait::AfterCutJob, replies_after_cut, {});
    }
    return out_of_order("gpgl");
}

Batch Gpgl::on_status(const Bytes& reply) {
    ++polls_;
    const auto state = pvo_status::parse_gpgl_status_line(reply);
    const bool cut_not_started = wait_ == Wait::AfterCutJob && !moved_;
    if (!state) {
        if (cut_not_started && polls_ >= idle_replies_after_cut) return {Fail{stayed_idle}};
        if (polls_ < poll_limit_) return {request_status()};
        return {Fail{"timed out waiting for a recognizable GPGL status response"}};
    }

    Batch batch{Status{pvo_status::gpgl_report(*state)}};
    switch (*state) {
        case GpglState::Ready:
            if (cut_not_started) {
                batch.push_back(Fail{stayed_idle});
            } else if (wait_ == Wait::BeforeIdentity) {
                step_ = Step::IdentityRequested;
                batch.push_back(Send{gpgl_identity_request});
            } else if (wait_ == Wait::BeforeCutJob) {
                step_ = Step::CutJobSent;
                batch.push_back(Progress{phase::cutting});
                batch.push_back(Send{std::move(cut_job_)});
            } else {
                batch.push_back(Done{});
            }
            break;
        case GpglState::Moving:
        case GpglState::Paused:
            if (wait_ == Wait::AfterCutJob) moved_ = true;
            if (polls_ >= poll_limit_) {
                batch.push_back(Fail{"timed out waiting for cutter ready"});
            } else {
                batch.push_back(request_status());
            }
            break;
        case GpglState::Unloaded:
            batch.push_back(Fail{"cutter reports media unloaded (status 2)"});
            break;
        case GpglState::Cancelled:
            batch.push_back(Fail{"cutter job was cancelled on the device (status 4)"});
            break;
    }
    return batch;
}

}  // namespace pvo_client_delivery
