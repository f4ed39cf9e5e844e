#pragma once
// Answers to a request head the server does not take. They are given before anything behind
// the head is read, carry a short plain-text reason and the CORS and version headers, and the
// connection sends them as HTTP/1.1 with Connection: close, then ends.
#include <cstddef>

#include <boost/system/error_code.hpp>

#include "server/request.hpp"
#include "server/response.hpp"

namespace parvello {

// 431 with a reason naming `limit`. Browsers send every cookie of localhost with each request,
// whatever the port, so a page can run into the limit through no fault of its own; it gets a
// readable reason instead of a dropped connection. `partial` holds the fields the parser took
// before the head grew too large (it takes each line as it comes); a trusted Origin among them
// lets the page read the answer.
Response head_too_large(const Request& partial, std::size_t limit);

// True when the parser refused the head itself: a bad request line, a field that is not
// "name: value", a bad or conflicting Content-Length or Transfer-Encoding.
bool is_malformed_head(const boost::system::error_code& error) noexcept;

// 400 naming what the parser refused in the head (`error`, one of `is_malformed_head`).
Response malformed_head(const Request& partial, const boost::system::error_code& error);

// True for a request that names a transfer coding with no final "chunked": its body's end
// cannot be found, and the bytes behind its head must not be taken for a new request.
bool has_unsupported_transfer_coding(const Request& request, bool chunked);

// 400 for a request of `has_unsupported_transfer_coding`.
Response unsupported_transfer_coding(const Request& request);

}  // namespace parvello
