#include "server/routes.hpp"

namespace parvello {

Response error_response(ErrorReply reply) {
    Response response;
    response.message.result(reply.status);
    response.message.set(http::field::content_type, "text/plain; charset=utf-8");
    response.message.body() = std::move(reply.text);
    return response;
}

ErrorReply job_error_reply(const JobError& error) {
    http::status status = http::status::bad_request;
    switch (error.kind) {
        case JobError::Kind::NoLabels:
        case JobError::Kind::InvalidBase64:
        case JobError::Kind::UnknownHandshake:
        case JobError::Kind::BrowserUnsupported: status = http::status::bad_request; break;
        case JobError::Kind::Delivery:
        case JobError::Kind::Transport: status = http::status::bad_gateway; break;
    }
    return {status, error.to_string()};
}

}  // namespace parvello
