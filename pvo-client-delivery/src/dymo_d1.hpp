#pragma once
// D1 tape-printer delivery: the job (with ESC A / ESC E pairs reordered) is cut into chunks of
// whole raster lines; each chunk is preceded by a status request whose answer is not looked
// at, and followed by one status read for every ESC A the chunk holds, each non-empty answer
// reported as a status. A status never stops the delivery.
//
// On the wire, for chunks C1 and C2: 1B 41, a read (6 s), C1, one read (60 s) per ESC A in
// C1, 1B 41, a read, C2, one read per ESC A in C2.
#include <cstdint>
#include <span>
#include <vector>

#include "pvo-client-delivery/handshake.hpp"
#include "pvo-driver-dymo/d1.hpp"

namespace pvo_client_delivery {

class DymoD1Handshake final : public Handshake {
public:
    static constexpr std::size_t reply_len = 64;
    static constexpr std::uint32_t request_timeout_ms = 6'000;
    static constexpr std::uint32_t status_timeout_ms = 60'000;

    explicit DymoD1Handshake(std::span<const std::uint8_t> job);
    Batch start() override;
    Batch on_event(TransportEvent event) override;

private:
    // What the handshake waits for: a write to complete or a reply.
    enum class Stage : std::uint8_t {
        RequestSent,
        RequestReplyRead,
        ChunkSent,
        StatusRead,
        Finished,
    };

    // Goes on with the next chunk after `batch`, or finishes.
    Batch next_chunk(Batch batch);

    std::vector<pvo_driver_dymo::D1Chunk> chunks_;
    std::size_t index_ = 0;
    std::size_t pending_ = 0;  // status replies still expected for the current chunk
    Stage stage_ = Stage::RequestSent;
};

}  // namespace pvo_client_delivery
