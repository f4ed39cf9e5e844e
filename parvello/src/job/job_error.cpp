#include "job/job_error.hpp"

#include <fmt/format.h>

#include "parvello/product.hpp"

namespace parvello {

std::string JobError::to_string() const {
    switch (kind) {
        case Kind::NoLabels:
            return "job has no labels";
        case Kind::InvalidBase64:
            return fmt::format("label {}: invalid base64: {}", label, text);
        case Kind::UnknownHandshake:
            return "unknown handshake id: " + text;
        case Kind::BrowserUnsupported:
            return fmt::format("browser transport is not supported by {}; use usb/serial/network/ble", kProductName);
        case Kind::Delivery:
            return "delivery: " + text;
        case Kind::Transport:
            return "transport: " + text;
    }
    return {};
}

}  // namespace parvello
