#include "server/routes.hpp"

namespace parvello {

Response error_response(ErrorReply reply) {
    Response response;
    response.status = reply.status;
    response.fields.set("Content-Type", "text/plain; charset=utf-8");
    response.body = std::move(reply.text);
    return response;
}

ErrorReply job_error_reply(const JobError& error) {
    Status status = Status::BadRequest;
    switch (error.kind) {
        case JobError::Kind::NoLabels:
        case JobError::Kind::InvalidBase64:
        case JobError::Kind::UnknownHandshake:
        case JobError::Kind::BrowserUnsupported:
            status = Status::BadRequest;
            break;
        case JobError::Kind::Delivery:
        case JobError::Kind::Transport:
            status = Status::BadGateway;
            break;
    }
    return {status, error.to_string()};
}

}  // namespace parvello
