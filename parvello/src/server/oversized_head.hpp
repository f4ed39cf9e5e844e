#pragma once
// The answer to a request head larger than the server takes. Browsers send every cookie of
// localhost with each request, whatever the port, so a page can run into the limit through no
// fault of its own; it gets a readable reason instead of a dropped connection.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "server/http.hpp"

namespace parvello {

// The value of the Origin field among the first bytes of a head too large to parse, when
// that field arrived whole and its value is printable; none otherwise.
std::optional<std::string> origin_in_partial_head(std::string_view bytes);

// 431 with a plain-text reason naming `limit`, the CORS and version headers (those that let a
// page read it only for a trusted Origin found in `partial_head`) and Connection: close.
HttpResponse head_too_large(std::string_view partial_head, std::size_t limit);

}  // namespace parvello
