#pragma once
// The handlers of the route table.
#include "server/http.hpp"

namespace parvello {

// GET /status: {"ok":true,"version":"2.0.6","api_version":1,"port":<port in effect>}.
asio::awaitable<Response> get_status(Request& request, HandlerContext context);

}  // namespace parvello
