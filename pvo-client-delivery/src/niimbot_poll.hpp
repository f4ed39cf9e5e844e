#pragma once
// Writes a NIIMBOT job, then polls the printer's print status until it reports the page
// finished: unfinished first (either progress below 100), then finished (both at 100). A reply
// at 100/100 before any unfinished one does not finish the page.
//
// With the b1 variant the job goes out in packet-aligned writes of at most 240 bytes and its
// print-end packet is held back until the page is finished. Polling ends after the 60th reply
// in any case; a print-end packet still held then goes out before Done, so no byte of a job is
// ever dropped.
#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "pvo-client-delivery/delivery_error.hpp"
#include "pvo-client-delivery/handshake.hpp"

namespace pvo_client_delivery {

class NiimbotPoll final : public Handshake {
public:
    using Bytes = std::vector<std::uint8_t>;

    static constexpr std::uint32_t max_replies = 60;
    static constexpr std::size_t reply_len = 8;
    static constexpr std::uint32_t reply_timeout_ms = 500;

    // The only handshake that reads the job's driver variant: none, "standard", "v4" or "b1"
    // (ASCII case folded). Anything else is refused with UnsupportedDriverVariant, before
    // anything is sent.
    static std::expected<std::unique_ptr<Handshake>, DeliveryError> create(
        std::optional<std::string_view> driver_variant, Bytes label);

    Batch start() override;
    Batch on_event(TransportEvent event) override;

private:
    enum class Stage : std::uint8_t {
        SendingJob,        // a write of the job is out
        RequestingStatus,  // the status request is out
        AwaitingStatus,    // the read of its reply is out
        SendingFinal,      // the held print-end packet is out
        Finished,
    };

    NiimbotPoll(std::vector<Bytes> writes, std::optional<Bytes> final_packet)
        : writes_(std::move(writes)), final_packet_(std::move(final_packet)) {}

    Batch on_reply(const Bytes& reply);
    Send request_status();

    std::vector<Bytes> writes_;  // at least one
    std::optional<Bytes> final_packet_;
    std::size_t write_index_ = 0;
    std::uint32_t replies_ = 0;
    bool seen_incomplete_ = false;
    Stage stage_ = Stage::SendingJob;
};

}  // namespace pvo_client_delivery
