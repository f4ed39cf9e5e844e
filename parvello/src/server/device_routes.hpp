#pragma once
// The routes that look after one device without printing: POST /status/query and
// POST /soft-reboot. Both queue on the job lock with print jobs, in arrival order.
#include <expected>
#include <string_view>

#include "pvo-status/protocol.hpp"
#include "server/error_reply.hpp"
#include "server/http.hpp"

namespace parvello {

// A request's protocol text: ASCII capitals folded, then matched exactly against the protocol
// names. Anything else is 400 "unknown protocol: " and the text as the request sent it.
std::expected<pvo_status::Protocol, ErrorReply> parse_protocol(std::string_view text);

// POST /status/query: the body rules, then the protocol (an unknown one is answered at once,
// before the lock), then the status query under the job lock. 200 with the status object;
// 400 with the query's error text; 500 when the worker failed.
asio::awaitable<Response> post_status_query(Request& request, HandlerContext context);

// POST /soft-reboot: as POST /status/query, with the soft reboot as the work; 200 {"ok":true}.
asio::awaitable<Response> post_soft_reboot(Request& request, HandlerContext context);

}  // namespace parvello
