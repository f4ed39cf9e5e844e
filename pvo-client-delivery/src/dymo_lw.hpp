#pragma once
// LabelWriter 550 delivery: take the printer's print lock, send the preamble, then each label
// followed by a status request whose answer must allow going on, and finish with the trailer.
// Every status answer is reported; one that makes printing impossible ends the delivery.
//
// On the wire, for labels L0 and L1: 1B 41 01, a 32-byte read, the preamble, L0, 1B 41 02, a
// read, L1, 1B 41 00, a read, 1B 45 1B 51.
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>

#include "lw550_job.hpp"
#include "pvo-client-delivery/handshake.hpp"
#include "pvo-status/print_status.hpp"

namespace pvo_client_delivery {

// The report of a status answer, or the failure text when it forbids printing: a reply that
// does not parse, then the print status (error, cancel, no lock), then the media bay (no media,
// empty or low, jammed, counterfeit). Texts start with `context` and ": ", except the one for
// counterfeit media.
std::expected<pvo_status::DymoLw, std::string> check_lw550_status(std::span<const std::uint8_t> reply,
                                                                  std::string_view context);

class DymoLwHandshake final : public Handshake {
public:
    static constexpr std::size_t status_len = 32;
    static constexpr std::uint32_t status_timeout_ms = 30'000;

    explicit DymoLwHandshake(Lw550Job job) : job_(std::move(job)) {}
    Batch start() override;
    Batch on_event(TransportEvent event) override;

private:
    // What the handshake waits for: a write to complete or a status answer.
    enum class Stage : std::uint8_t {
        LockRequestSent,
        LockStatusRead,
        PreambleSent,
        LabelSent,
        StatusRequestSent,
        LabelStatusRead,
        TrailerSent,
        Finished,
    };

    Batch send_label();
    Batch after_label_status(const std::vector<std::uint8_t>& reply);

    Lw550Job job_;
    std::size_t index_ = 0;
    Stage stage_ = Stage::LockRequestSent;
};

}  // namespace pvo_client_delivery
