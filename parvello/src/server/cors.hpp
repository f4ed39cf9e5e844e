#pragma once
// Which web pages may read the agent's answers, and the CORS headers that tell the browser.
//
// Trusted origins are the maker's two https origins, exactly, and any page served from this
// machine under localhost, 127.0.0.1, [::1] or a .localhost name. An untrusted origin is
// served all the same, only without the headers that let the browser show it the answer.
#include <optional>
#include <string>
#include <string_view>

#include "server/request.hpp"
#include "server/response.hpp"

namespace parvello {

// True when a page of this origin may read the agent's answers. Byte for byte and
// case-sensitive; port, path, query and fragment are not looked at.
bool origin_allowed(std::string_view origin);

// The request's origin: the value of its first Origin header. Absent when there is none, or
// when a byte of it is outside visible ASCII (32-126) other than tab. An empty value is an
// origin (an untrusted one).
std::optional<std::string> request_origin(const Request& request);

// The request's origin when it is present and trusted.
std::optional<std::string> trusted_origin(const Request& request);

// Sets (never adds) the CORS and version headers on an answer: the three origin headers
// only when `trusted` holds the request's trusted origin, the other five always.
void apply_cors_headers(HeaderFields& fields, const std::optional<std::string>& trusted);

// The CORS layer: answers OPTIONS on any path with 204 without running a route, passes every
// other request on unchanged, and puts the CORS headers on every answer.
LayerEntry cors_middleware(Request& request);

}  // namespace parvello
