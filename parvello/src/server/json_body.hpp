#pragma once
// The body rules of every route that takes a JSON record, applied in this order; the first
// that fails is the answer, and nothing else of the route runs:
//   415  no content type, or one that is not application/json or application/...+json
//        (checked from the header, before a byte of the body is read);
//   413  a body over 2 MiB;
//   400  a body that cannot be read, or that is not one well-formed JSON value;
//   422  a JSON value that does not have the shape of the route's record.
#include <cstddef>
#include <expected>
#include <string>
#include <string_view>

#include "parvello/request.hpp"
#include "server/request.hpp"
#include "server/routes.hpp"

namespace parvello {

inline constexpr std::size_t kMaxJsonBody = 2 * 1024 * 1024;

// True for application/json and any application/...+json media type, in any letter case,
// parameters (such as a charset) allowed.
bool is_json_content_type(std::string_view value);

// The body text under the first three rules. `limit` is for tests.
asio::awaitable<std::expected<std::string, ErrorReply>> read_json_body(Request& request,
                                                                       std::size_t limit = kMaxJsonBody);

// A reader's fault as an answer: 400 for a syntax fault, 422 for a shape fault, the fault's
// message (with its path) behind the rule's own text.
ErrorReply body_fault_reply(const RequestError& error);

template <typename Record>
using BodyReader = std::expected<Record, RequestError> (*)(std::string_view, ReadMode);

// The body text as the route's record, read by `reader`, or the answer of the rule it fails.
// Routes call it on the text of `read_json_body`.
template <typename Record>
std::expected<Record, ErrorReply> parse_json_body(std::string_view text, BodyReader<Record> reader) {
    auto record = reader(text, ReadMode::HttpBody);
    if (!record) return std::unexpected(body_fault_reply(record.error()));
    return std::move(*record);
}

}  // namespace parvello
