#pragma once
// Builds the handshake object for a handshake id: the one place where each delivery procedure
// is tied to its id.
#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "pvo-client-delivery/delivery_error.hpp"
#include "pvo-client-delivery/handshake.hpp"
#include "pvo-client-delivery/handshake_id.hpp"

namespace pvo_client_delivery {

// `driver_variant` goes to the handshakes that read it (niimbot_poll); a variant they refuse
// gives UnsupportedDriverVariant.
std::expected<std::unique_ptr<Handshake>, DeliveryError> make_handshake(HandshakeId id,
                                                                        std::optional<std::string_view> driver_variant,
                                                                        std::vector<std::uint8_t> label);

}  // namespace pvo_client_delivery
