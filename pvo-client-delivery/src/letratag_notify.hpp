#pragma once
// Writes the label, then polls for the printer's short notification (ESC "R" and one more
// byte). The delivery ends with Done on the first reply holding it, or after the 60th reply
// without it: the printer is not required to notify.
#include <cstdint>
#include <span>
#include <vector>

#include "pvo-client-delivery/handshake.hpp"

namespace pvo_client_delivery {

class LetratagNotify final : public Handshake {
public:
    static constexpr std::uint32_t max_replies = 60;
    static constexpr std::size_t reply_len = 3;
    static constexpr std::uint32_t reply_timeout_ms = 500;

    explicit LetratagNotify(std::vector<std::uint8_t> label) : label_(std::move(label)) {}
    Batch start() override;
    Batch on_event(TransportEvent event) override;

    // True when 1B 52 starts at a position that leaves at least three bytes to the end.
    static bool holds_notification(std::span<const std::uint8_t> reply) noexcept;

private:
    // Sending: the label's write is out. Polling: a read for the notification is out.
    enum class Stage : std::uint8_t { Sending, Polling };

    std::vector<std::uint8_t> label_;
    std::uint32_t replies_ = 0;
    Stage stage_ = Stage::Sending;
};

}  // namespace pvo_client_delivery
