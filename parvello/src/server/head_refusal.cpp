#include "server/head_refusal.hpp"

#include <string>

#include <boost/beast/http/error.hpp>

#include "server/cors.hpp"

namespace parvello {

namespace {

namespace http = boost::beast::http;

Response refuse_head(Status status, std::string reason, const Request& partial) {
    Response answer = empty_response(status);
    answer.fields.set("Content-Type", "text/plain; charset=utf-8");
    answer.body = std::move(reason);
    apply_cors_headers(answer.fields, trusted_origin(partial));
    return answer;
}

}  // namespace

Response head_too_large(const Request& partial, std::size_t limit) {
    return refuse_head(Status::HeaderFieldsTooLarge, "request head larger than " + std::to_string(limit) + " bytes",
                       partial);
}

bool is_malformed_head(const boost::system::error_code& error) noexcept {
    if (error.category() != make_error_code(http::error::bad_method).category()) return false;
    switch (static_cast<http::error>(error.value())) {
        case http::error::bad_line_ending:
        case http::error::bad_method:
        case http::error::bad_target:
        case http::error::bad_version:
        case http::error::bad_field:
        case http::error::bad_value:
        case http::error::bad_content_length:
        case http::error::bad_transfer_encoding:
        case http::error::bad_obs_fold:
        case http::error::multiple_content_length:
            return true;
        default:
            return false;
    }
}

Response malformed_head(const Request& partial, const boost::system::error_code& error) {
    return refuse_head(Status::BadRequest, "malformed request head: " + error.message(), partial);
}

bool has_unsupported_transfer_coding(const Request& request, bool chunked) {
    return !chunked && request.field_count("Transfer-Encoding") > 0;
}

Response unsupported_transfer_coding(const Request& request) {
    return refuse_head(Status::BadRequest, "Transfer-Encoding other than chunked is not supported", request);
}

}  // namespace parvello
