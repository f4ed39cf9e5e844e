#include "server/device_request.hpp"

namespace parvello {

std::expected<pvo_status::Protocol, ErrorReply> parse_protocol(std::string_view text) {
    auto protocol = pvo_status::protocol_from_request_name(text);
    if (!protocol) return std::unexpected(ErrorReply{Status::BadRequest, std::move(protocol.error())});
    return *protocol;
}

}  // namespace parvello
