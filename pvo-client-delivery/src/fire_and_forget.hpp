#pragma once
// Writes the label and finishes; reads nothing from the device.
#include <cstdint>
#include <vector>

#include "pvo-client-delivery/handshake.hpp"

namespace pvo_client_delivery {

class FireAndForget final : public Handshake {
public:
    explicit FireAndForget(std::vector<std::uint8_t> label) : label_(std::move(label)) {}
    Batch start() override;
    Batch on_event(TransportEvent event) override;

private:
    std::vector<std::uint8_t> label_;
};

}  // namespace pvo_client_delivery
