#pragma once
// The interface of one delivery procedure, driven by a `DeliverySession`.
#include <cstdint>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "pvo-client-delivery/action.hpp"

namespace pvo_client_delivery {

// The last Send has been written.
struct SendComplete {};

// The bytes read for the last Recv (possibly none).
struct Received {
    std::vector<std::uint8_t> bytes;
};

using TransportEvent = std::variant<SendComplete, Received>;

// Zero or more notifications (Progress, Status) followed by exactly one Send, Recv, Done or
// Fail as the last element; never empty.
using Batch = std::vector<DeliveryAction>;

// A batch made by moving each action in. A braced list would copy every action out of its
// initializer list, and a Send can carry a whole label of megabytes.
template <class... Actions>
Batch batch_of(Actions&&... actions) {
    Batch batch;
    batch.reserve(sizeof...(actions));
    (batch.emplace_back(std::forward<Actions>(actions)), ...);
    return batch;
}

// A handshake is given SendComplete only after a Send and Received only after a Recv, and is
// not called again once it has returned Done or Fail. It still answers an event that does not
// fit its state with a one-element [Fail] batch.
class Handshake {
public:
    virtual ~Handshake() = default;
    virtual Batch start() = 0;
    virtual Batch on_event(TransportEvent event) = 0;
};

// That [Fail] batch: "<delivery> delivery received an out-of-order transport event".
Batch out_of_order(std::string_view delivery);

}  // namespace pvo_client_delivery
