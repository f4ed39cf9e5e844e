#pragma once
// GET /ws: the upgrade of a connection to the WebSocket job channel.
#include <expected>
#include <string>
#include <string_view>

#include "server/error_reply.hpp"
#include "server/http.hpp"

namespace parvello {

// Checks an upgrade request in this order, the first failure giving the refusal:
//   405 "Request method must be `GET`" (HEAD included),
//   400 when the first Connection header is not UTF-8 or does not contain "upgrade" in any
//       letter case, when the first Upgrade header is not "websocket" in any letter case,
//       when Sec-WebSocket-Key is missing, or when the first Sec-WebSocket-Version is not 13,
//   426 when the request cannot switch protocols (only HTTP/1.1 can).
// Gives the client's key when every check passes.
std::expected<std::string, ErrorReply> check_ws_upgrade(const http::request_header<>& header);

// The Sec-WebSocket-Accept value for a client's key: base64 of the SHA-1 of the key followed
// by the WebSocket GUID.
std::string ws_accept_value(std::string_view key);

// The route: an upgrade that passes the checks, from a page of a trusted origin or from a
// client that sends no Origin, is answered 101 and its connection served as the job channel.
// A page of any other origin is refused with 403 "origin not allowed": browsers let every
// page open a WebSocket to any address, and the agent's CORS headers do not apply to one.
asio::awaitable<Response> ws_upgrade(Request& request, HandlerContext context);

}  // namespace parvello
