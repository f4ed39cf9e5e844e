#pragma once
// Delivers a cut job to a GPGL cutter: initialise it, wait until it is ready, ask for its
// firmware identity, wait until ready again, send the cut job, then poll until the cutter has
// moved (or paused) and come back to ready. Each of the three waits has its own reply limit.
// The identity reply is not read by itself: it arrives with the next status read.
#include <cstdint>
#include <vector>

#include "pvo-client-delivery/handshake.hpp"

namespace pvo_client_delivery {

class Gpgl final : public Handshake {
public:
    using Bytes = std::vector<std::uint8_t>;

    static constexpr std::size_t reply_len = 64;
    static constexpr std::uint32_t reply_timeout_ms = 800;
    static constexpr std::uint32_t replies_before_identity = 300;
    static constexpr std::uint32_t replies_before_cut = 100;
    static constexpr std::uint32_t replies_after_cut = 6000;
    // Unrecognised replies after the cut job, without any movement, that mean it never started.
    static constexpr std::uint32_t idle_replies_after_cut = 6;

    explicit Gpgl(Bytes cut_job) : cut_job_(std::move(cut_job)) {}
    Batch start() override;
    Batch on_event(TransportEvent event) override;

private:
    // What the handshake has handed out and waits to hear about.
    enum class Step : std::uint8_t {
        Initialising,       // 1B 04 is out
        IdentityRequested,  // 46 47 03 is out
        RequestingStatus,   // 1B 05 is out
        AwaitingStatus,     // the read of its reply is out
        CutJobSent,         // the cut job is out
    };
    // Which wait for ready the status polls belong to.
    enum class Wait : std::uint8_t { BeforeIdentity, BeforeCutJob, AfterCutJob };

    Batch begin_wait(Wait wait, std::uint32_t limit, Batch batch);
    Batch on_status(const Bytes& reply);
    Send request_status();

    Bytes cut_job_;
    std::uint32_t polls_ = 0;
    std::uint32_t poll_limit_ = 0;
    Step step_ = Step::Initialising;
    Wait wait_ = Wait::BeforeIdentity;
    bool moved_ = false;
};

}  // namespace pvo_client_delivery
