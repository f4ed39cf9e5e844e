#pragma once
// An answer as it goes on the wire: status line, header fields and body in one piece, framed
// for the request it answers.
#include <string>
#include <string_view>

#include "server/response.hpp"

namespace parvello {

struct AnswerFraming {
    unsigned version = 11;  // the request's HTTP version, as 10 * major + minor
    bool keep_alive = true;
    bool head = false;  // answers a HEAD request: the length of the body, without the body
};

// The answer's bytes. The framing owns three fields, whatever the answer holds of them:
// Connection ("close" when an HTTP/1.1 connection ends, "keep-alive" when an HTTP/1.0 one
// stays open, none otherwise), then Content-Length, the body's length, on every answer that
// may carry a body; an answer of status 1xx, 204 or 304 has neither Content-Length,
// Transfer-Encoding nor body.
std::string answer_bytes(const Response& response, AnswerFraming framing);

// The same answer in two pieces, so that the body is written from where it lies: the status
// line and fields up to the blank line after them, appended to `out`, and then the body bytes
// that go behind them (none for HEAD and for the statuses without a body).
void append_answer_head(std::string& out, const Response& response, AnswerFraming framing);
std::string_view answer_body(const Response& response, AnswerFraming framing) noexcept;

}  // namespace parvello
