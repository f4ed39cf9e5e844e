#include "fire_and_forget.hpp"

#include <utility>

namespace pvo_client_delivery {

Batch FireAndForget::start() { return batch_of(Progress{phase::sending}, Send{std::move(label_)}); }

Batch FireAndForget::on_event(TransportEvent event) {
    if (std::holds_alternative<SendComplete>(event)) return {Done{}};
    return {Fail{"fire-and-forget delivery does not read from the device"}};
}

}  // namespace pvo_client_delivery
