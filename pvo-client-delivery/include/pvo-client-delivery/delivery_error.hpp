#pragma once
// Why a delivery session refused a label or a call. A refusal is not a failed delivery (that
// is a Fail action): either nothing was sent, or the call broke the calling order and the
// session is unchanged.
#include <cstdint>
#include <string>

namespace pvo_client_delivery {

struct DeliveryError {
    enum class Kind : std::uint8_t {
        EmptyPayload,
        Malformed,
        UnsupportedDriverVariant,
        InvalidCall,
    };
    Kind kind = Kind::InvalidCall;
    // The handshake's name, for Malformed and UnsupportedDriverVariant.
    std::string handshake;
    // Malformed: what is wrong with the job; UnsupportedDriverVariant: the variant as passed;
    // InvalidCall: what was wrong with the call.
    std::string detail;

    static DeliveryError empty_payload() { return {Kind::EmptyPayload, {}, {}}; }
    static DeliveryError malformed(std::string handshake, std::string message) {
        return {Kind::Malformed, std::move(handshake), std::move(message)};
    }
    static DeliveryError unsupported_driver_variant(std::string handshake, std::string variant) {
        return {Kind::UnsupportedDriverVariant, std::move(handshake), std::move(variant)};
    }
    static DeliveryError invalid_call(std::string text) { return {Kind::InvalidCall, {}, std::move(text)}; }

    // "empty label payload", "<handshake> job is malformed: <message>",
    // "unsupported driver variant \"<variant>\" for <handshake>", "invalid session call: <text>".
    std::string message() const;
    bool operator==(const DeliveryError&) const = default;
};

}  // namespace pvo_client_delivery
