#pragma once
// The handlers of the route table.
#include "server/http.hpp"

namespace parvello {

// GET /status: {"ok":true,"version":"2.0.6","api_version":1,"port":<port in effect>}.
asio::awaitable<Response> get_status(Request& request, HandlerContext context);

// GET /devices: the attached printers and USB serial ports as a JSON array; [] when the
// listing itself failed.
asio::awaitable<Response> get_devices(Request& request, HandlerContext context);

// POST /print: one print job, run under the job lock once the body has passed the body rules;
// answers {"completed":n,"total":n} or the job's error as plain text.
asio::awaitable<Response> post_print(Request& request, HandlerContext context);

}  // namespace parvello
