#pragma once
// What POST /status/query and POST /soft-reboot share: the device a body names with its
// protocol, and the answer when the device work did not succeed.
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "pvo-status/protocol.hpp"
#include "server/blocking.hpp"
#include "server/json_body.hpp"
#include "server/routes.hpp"

namespace parvello {

// A request's protocol text: ASCII capitals folded, then matched exactly against the protocol
// names. Anything else is 400 "unknown protocol: " and the text as the request sent it.
std::expected<pvo_status::Protocol, ErrorReply> parse_protocol(std::string_view text);

// What both routes take from their body: the protocol and the device.
struct DeviceRequest {
    pvo_status::Protocol protocol;
    Transport transport;
};

// The body text as the route's record, then its protocol; the answer of the first rule that
// fails otherwise.
template <typename Record>
std::expected<DeviceRequest, ErrorReply> device_request(std::string_view body, BodyReader<Record> reader) {
    auto record = parse_json_body(body, reader);
    if (!record) return std::unexpected(std::move(record.error()));
    auto protocol = parse_protocol(record->protocol);
    if (!protocol) return std::unexpected(std::move(protocol.error()));
    return DeviceRequest{*protocol, std::move(record->transport)};
}

template <typename Value>
using DeviceOutcome = std::expected<std::expected<Value, std::string>, WorkerFailure>;

// A failed worker as 500, the work's error text as 400; none when the work succeeded.
template <typename Value>
std::optional<Response> failure_response(const DeviceOutcome<Value>& outcome) {
    if (!outcome) return error_response({Status::InternalServerError, outcome.error().message});
    if (!*outcome) return error_response({Status::BadRequest, outcome->error()});
    return std::nullopt;
}

}  // namespace parvello
