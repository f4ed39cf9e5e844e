#include "pvo-client-delivery/handshake.hpp"

#include <string>

namespace pvo_client_delivery {

Batch out_of_order(std::string_view delivery) {
    return {Fail{std::string(delivery) + " delivery received an out-of-order transport event"}};
}

}  // namespace pvo_client_delivery
