#pragma once
// The guard against DNS rebinding: a page on a foreign site whose name was pointed at
// 127.0.0.1 reaches the agent with that site's name in its Host header. Only requests
// addressed to the loopback names are served.
#include <string_view>

#include "server/request.hpp"

namespace parvello {

// True when the host part of a Host header value (a port behind it allowed) is 127.0.0.1,
// localhost, [::1] or a name ending in .localhost, in any letter case.
bool host_allowed(std::string_view host);

// Answers 403 "host not allowed", with the CORS headers, to a request whose Host header, or
// the authority of its absolute-form target, is not a loopback name; passes every other
// request on, a request without Host included.
LayerEntry host_check_layer(Request& request);

}  // namespace parvello
