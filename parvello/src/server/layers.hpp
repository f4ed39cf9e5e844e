#pragma once
// The layers that wrap every route and both fallback answers.
#include <string_view>

#include "server/http.hpp"

namespace parvello {

// Where the request-logging layer logs. Deliberately outside the "parvello" targets, so the
// default filter keeps these per-request events out of the log.
inline constexpr std::string_view kRequestLogTarget = "http::trace";

// DEBUG "started processing request" and "finished processing request" (status, latency in
// milliseconds) for every request, and ERROR "response failed" for every 5xx answer.
asio::awaitable<Response> request_logging_layer(Request& request, const Next& next);

}  // namespace parvello
