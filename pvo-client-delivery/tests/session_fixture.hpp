#pragma once
// Helpers shared by the session and handshake tests: a handshake that plays a fixed script,
// and a driver that runs a session the way the job runner does.
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "pvo-client-delivery/session.hpp"

namespace pvo_client_delivery::test {

using Bytes = std::vector<std::uint8_t>;

// Returns its batches in order (start takes the first) and records every event it is given:
// nullopt for SendComplete, the bytes for Received.
class ScriptedHandshake final : public Handshake {
public:
    ScriptedHandshake(std::vector<Batch> batches, std::vector<std::optional<Bytes>>* seen = nullptr)
        : batches_(std::move(batches)), seen_(seen) {}

    Batch start() override { return next(); }
    Batch on_event(TransportEvent event) override {
        if (seen_) {
            const auto* received = std::get_if<Received>(&event);
            seen_->push_back(received ? std::optional<Bytes>(received->bytes) : std::nullopt);
        }
        return next();
    }

private:
    Batch next() { return index_ < batches_.size() ? batches_[index_++] : Batch{Fail{"script ended"}}; }
    std::vector<Batch> batches_;
    std::vector<std::optional<Bytes>>* seen_;
    std::size_t index_ = 0;
};

// Drives a session to its end like the job runner: every write succeeds, every read is
// answered with the next of `replies` (an empty reply once they run out). Returns every action
// handed out, the last being Done or Fail; a refused call fails the test.
inline std::vector<DeliveryAction> drive(SessionStart start, const std::vector<Bytes>& replies = {}) {
    std::vector<DeliveryAction> actions{start.action};
    DeliverySession& session = start.session;
    std::size_t next_reply = 0;
    for (int step = 0; step < 10000 && !session.finished(); ++step) {
        std::expected<DeliveryAction, DeliveryError> next;
        switch (kind_of(actions.back())) {
            case ActionKind::Send:
                next = session.on_send_complete();
                break;
            case ActionKind::Recv:
                next = session.feed_rx(next_reply < replies.size() ? replies[next_reply++] : Bytes{});
                break;
            case ActionKind::Notification:
                next = session.tick();
                break;
            case ActionKind::Terminal:
                return actions;
        }
        if (!next) {
            ADD_FAILURE() << "refused: " << next.error().message();
            return actions;
        }
        actions.push_back(std::move(*next));
    }
    return actions;
}

// The started session; a refusal throws, which the test framework reports with its text.
inline SessionStart started(std::expected<SessionStart, DeliveryError> result) {
    if (!result) throw std::runtime_error("session refused: " + result.error().message());
    return std::move(*result);
}

}  // namespace pvo_client_delivery::test
