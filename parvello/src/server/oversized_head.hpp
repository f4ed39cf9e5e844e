#pragma once
// The answer to a request head larger than the server takes. Browsers send every cookie of
// localhost with each request, whatever the port, so a page can run into the limit through no
// fault of its own; it gets a readable reason instead of a dropped connection.
#include <cstddef>

#include "server/http.hpp"

namespace parvello {

// 431 with a plain-text reason naming `limit`, the CORS and version headers and Connection:
// close. `partial` holds the fields the parser took before the head grew too large (it takes
// each line as it comes); a trusted Origin among them lets the page read the answer.
HttpResponse head_too_large(const http::request_header<>& partial, std::size_t limit);

}  // namespace parvello
