#include "pvo-status/status_query.hpp"

#include <string>

#include "pvo-driver-niimbot/packet.hpp"

namespace pvo_status {

std::expected<std::vector<std::uint8_t>, StatusError> status_query_bytes(Protocol protocol) {
    using Bytes = std::vector<std::uint8_t>;
    switch (protocol) {
        case Protocol::Dymo:
        case Protocol::DymoLwClassic:
            return Bytes{0x1B, 0x41};
        case Protocol::DymoLw:
            return Bytes{0x1B, 0x41, 0x00};
        case Protocol::Zpl:
            return Bytes{'~', 'H', 'S', '\r', '\n'};
        case Protocol::Tspl:
            return std::unexpected(StatusError(
                "tspl identity uses USB GET_DEVICE_ID control transfer, not a bulk query"));
        case Protocol::Niimbot:
            // The print-status request: command A3 with the one data byte 01, framed as a
            // NIIMBOT packet (55 55, command, length, data, XOR checksum, AA AA).
            return pvo_niimbot::status_request();
        case Protocol::LetraTag:
            return Bytes{};
        case Protocol::BrotherQl:
        case Protocol::BrotherPt:
            return Bytes{0x1B, 0x69, 0x53};
        case Protocol::Gpgl:
            return Bytes{0x1B, 0x05};
        default:
            break;
    }
    return std::unexpected(StatusError("status query not supported for protocol " +
                                       std::string(message_name(protocol))));
}

std::size_t status_reply_length(Protocol protocol) noexcept {
    switch (protocol) {
        case Protocol::DymoLw:
        case Protocol::BrotherQl:
        case Protocol::BrotherPt:
            return 32;
        case Protocol::Dymo:
        case Protocol::DymoLwClassic:
            return 1;
        case Protocol::LetraTag:
            return 3;
        case Protocol::Zpl:
            // A host-status reply is three framed lines of about 85 bytes; a shorter read would
            // cut off the head flag and leave the rest to be taken as the next query's reply.
            return 256;
        default:
            return 64;
    }
}

}  // namespace pvo_status
