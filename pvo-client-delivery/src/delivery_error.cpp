#include "pvo-client-delivery/delivery_error.hpp"

#include "pvo-util/text.hpp"

namespace pvo_client_delivery {
std::string DeliveryError::message() const {
    switch (kind) {
        case Kind::EmptyPayload:
            return "empty label payload";
        case Kind::Malformed:
            return handshake + " job is malformed: " + detail;
        case Kind::UnsupportedDriverVariant:
            return "unsupported driver variant " + pvo_util::quoted(detail) + " for " + handshake;
        case Kind::InvalidCall:
            break;
    }
    return "invalid session call: " + detail;
}

}  // namespace pvo_client_delivery
