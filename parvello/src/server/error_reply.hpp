#pragma once
// The error answer shared by every route: a status and a plain-text body.
#include <string>

#include "job/job_error.hpp"
#include "server/http.hpp"

namespace parvello {

struct ErrorReply {
    http::status status = http::status::bad_request;
    std::string text;
    bool operator==(const ErrorReply&) const = default;
};

// The answer: `status`, content type "text/plain; charset=utf-8" and the text, unchanged.
Response error_response(ErrorReply reply);

// A job's failure as an answer: 400 for a fault in the request (no labels, bad base64, an
// unknown handshake, the browser transport), 502 for a failure at the device (delivery,
// transport). The text is the job error's own.
ErrorReply job_error_reply(const JobError& error);

}  // namespace parvello
