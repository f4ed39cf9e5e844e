#include "server/head_refusal.hpp"

#include <string>

#include <boost/beast/http/error.hpp>

#include "server/cors.hpp"

namespace parvello {

namespace {

HttpResponse refuse_head(http::status status, std::string reason, const http::request_header<>& partial) {
    HttpResponse answer{status, 11};
    answer.set(http::field::content_type, "text/plain; charset=utf-8");
    answer.body() = std::move(reason);
    apply_cors_headers(answer, trusted_origin(partial));
    answer.keep_alive(false);
    answer.prepare_payload();
    return answer;
}

}  // namespace

HttpResponse head_too_large(const http::request_header<>& partial, std::size_t limit) {
    return refuse_head(http::status::request_header_fields_too_large,
                       "request head larger than " + std::to_string(limit) + " bytes", partial);
}

bool is_malformed_head(const beast::error_code& error) noexcept {
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
        case http::error::multiple_content_length: return true;
        default: return false;
    }
}

HttpResponse malformed_head(const http::request_header<>& partial, const beast::error_code& error) {
    return refuse_head(http::status::bad_request, "malformed request head: " + error.message(), partial);
}

bool has_unsupported_transfer_coding(const http::request_header<>& header, bool chunked) {
    return !chunked && header.count(http::field::transfer_encoding) > 0;
}

HttpResponse unsupported_transfer_coding(const http::request_header<>& header) {
    return refuse_head(http::status::bad_request, "Transfer-Encoding other than chunked is not supported", header);
}

}  // namespace parvello
