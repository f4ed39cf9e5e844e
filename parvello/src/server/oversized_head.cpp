#include "server/oversized_head.hpp"

#include <string>

#include "server/cors.hpp"

namespace parvello {

HttpResponse head_too_large(const http::request_header<>& partial, std::size_t limit) {
    HttpResponse answer{http::status::request_header_fields_too_large, 11};
    answer.set(http::field::content_type, "text/plain; charset=utf-8");
    answer.body() = "request head larger than " + std::to_string(limit) + " bytes";
    apply_cors_headers(answer, trusted_origin(partial));
    answer.keep_alive(false);
    answer.prepare_payload();
    return answer;
}

}  // namespace parvello
