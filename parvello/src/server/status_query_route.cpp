// POST /status/query: one device's status, read under the job lock.
#include <utility>

#include "job/device_query.hpp"
#include "pvo-status/status_json.hpp"
#include "server/device_request.hpp"
#include "server/device_work.hpp"

namespace parvello {

asio::awaitable<Response> post_status_query(Request& request, HandlerContext context) {
    auto body = co_await read_json_body(request);
    if (!body) co_return error_response(std::move(body.error()));
    auto target = device_request(*body, BodyReader<StatusQueryRequest>(read_status_query_request));
    if (!target) co_return error_response(std::move(target.error()));

    auto work = [target = std::move(*target)] { return query_status(target.protocol, target.transport); };
    const auto outcome = co_await run_device_work(context, std::move(work));
    if (auto failed = failure_response(outcome)) co_return std::move(*failed);
    co_return json_response(pvo_status::to_json_text(**outcome));
}

}  // namespace parvello
