#pragma once
// The route table's handlers, the layers around them, and the answers they share.
#include <expected>
#include <string>
#include <string_view>

#include "job/run_job.hpp"
#include "pvo-status/protocol.hpp"
#include "server/blocking.hpp"
#include "server/request.hpp"
#include "server/response.hpp"

namespace parvello {

// The error answer shared by every route: a status and a plain-text body.
struct ErrorReply {
    Status status = Status::BadRequest;
    std::string text;
    bool operator==(const ErrorReply&) const = default;
};

// The answer: `status`, content type "text/plain; charset=utf-8" and the text, unchanged.
Response error_response(ErrorReply reply);

// A job's failure as an answer: 400 for a fault in the request (no labels, bad base64, an
// unknown handshake, the browser transport), 502 for a failure at the device (delivery,
// transport). The text is the job error's own.
ErrorReply job_error_reply(const JobError& error);

// What a job's worker gave back, as POST /print and the WebSocket channel both take it: the
// job's counts or its error, or the failure of the worker itself.
using JobOutcome = std::expected<std::expected<JobCounts, JobError>, WorkerFailure>;

// The answer of POST /print once its job has ended: 200 with {"completed":n,"total":n}; a job
// error as `job_error_reply` maps it; 500 with the worker's failure text.
Response print_response(const JobOutcome& outcome);

// GET /status: {"ok":true,"version":<version>,"api_version":1,"port":<port in effect>}.
asio::awaitable<Response> get_status(Request& request, HandlerContext context);

// GET /devices: the attached printers and USB serial ports as a JSON array; [] when the
// listing itself failed.
asio::awaitable<Response> get_devices(Request& request, HandlerContext context);

// POST /print: one print job, run under the job lock once the body has passed the body rules;
// answers {"completed":n,"total":n} or the job's error as plain text.
asio::awaitable<Response> post_print(Request& request, HandlerContext context);

// POST /status/query and POST /soft-reboot: the body rules, then the protocol (an unknown one
// is answered at once, before the lock), then the device work under the job lock, in arrival
// order with print jobs. 200 with the status object or {"ok":true}; 400 with the work's error
// text; 500 when the worker failed.
asio::awaitable<Response> post_status_query(Request& request, HandlerContext context);
asio::awaitable<Response> post_soft_reboot(Request& request, HandlerContext context);

// GET /ws: the upgrade to the WebSocket job channel (see ws.hpp).
asio::awaitable<Response> ws_upgrade(Request& request, HandlerContext context);

// Where the request-logging layer logs. Deliberately outside the "parvello" targets, so the
// default filter keeps these per-request events out of the log.
inline constexpr std::string_view kRequestLogTarget = "http::trace";

// DEBUG "started processing request" and "finished processing request" (status, latency in
// milliseconds) for every request, and ERROR "response failed" for every 5xx answer.
LayerEntry request_logging_layer(Request& request);

}  // namespace parvello
