#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "server/device_work.hpp"
#include "server/json_body.hpp"
#include "server/routes.hpp"

namespace parvello {

Response print_response(const JobOutcome& outcome) {
    if (!outcome) return error_response({Status::InternalServerError, outcome.error().message});
    const auto& job = *outcome;
    if (!job) return error_response(job_error_reply(job.error()));
    const nlohmann::ordered_json reply{{"completed", job->completed}, {"total", job->total}};
    return json_response(reply.dump());
}

asio::awaitable<Response> post_print(Request& request, HandlerContext context) {
    auto body = co_await read_json_body(request);
    if (!body) co_return error_response(std::move(body.error()));
    // The labels keep the body alive and view their base64 text in it, so the body goes when the
    // job no longer needs the text.
    auto envelope = read_job_envelope(std::make_shared<const std::string>(std::move(*body)), ReadMode::HttpBody);
    if (!envelope) co_return error_response(body_fault_reply(envelope.error()));

    auto job = [envelope = std::move(*envelope)]() mutable {
        DiscardingSink sink;
        return run_job(std::move(envelope), sink);
    };
    const JobOutcome outcome = co_await run_device_work(context, std::move(job));
    co_return print_response(outcome);
}

}  // namespace parvello
