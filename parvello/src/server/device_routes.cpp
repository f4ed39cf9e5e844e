// POST /status/query and POST /soft-reboot: one device looked after without printing.
#include <optional>
#include <string>
#include <utility>

#include "job/device_query.hpp"
#include "pvo-status/status_json.hpp"
#include "server/blocking.hpp"
#include "server/device_work.hpp"
#include "server/json_body.hpp"
#include "server/routes.hpp"

namespace parvello {
namespace {

// What both routes take from their body: the protocol and the device.
struct DeviceRequest {
    pvo_status::Protocol protocol;
    Transport transport;
};

// The body text as the route's record, then its protocol; the answer of the first rule that
// fails otherwise.
template <typename Record>
std::expected<DeviceRequest, ErrorReply> device_request(std::string_view body, BodyReader<Record> reader) {
    auto record = parse_json_body(body, reader);
    if (!record) return std::unexpected(std::move(record.error()));
    auto protocol = parse_protocol(record->protocol);
    if (!protocol) return std::unexpected(std::move(protocol.error()));
    return DeviceRequest{*protocol, std::move(record->transport)};
}

template <typename Value>
using DeviceOutcome = std::expected<std::expected<Value, std::string>, WorkerFailure>;

// A failed worker as 500, the work's error text as 400; none when the work succeeded.
template <typename Value>
std::optional<Response> failure_response(const DeviceOutcome<Value>& outcome) {
    if (!outcome) return error_response({http::status::internal_server_error, outcome.error().message});
    if (!*outcome) return error_response({http::status::bad_request, outcome->error()});
    return std::nullopt;
}

}  // namespace

std::expected<pvo_status::Protocol, ErrorReply> parse_protocol(std::string_view text) {
    auto protocol = pvo_status::protocol_from_request_name(text);
    if (!protocol) return std::unexpected(ErrorReply{http::status::bad_request, std::move(protocol.error())});
    return *protocol;
}

// g++ 12 warns in these two coroutines that their frames, which Asio allocates with
// std::aligned_alloc, are released by a mismatched operator delete; that operator hands them to
// std::free, their match.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
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

asio::awaitable<Response> post_soft_reboot(Request& request, HandlerContext context) {
    auto body = co_await read_json_body(request);
    if (!body) co_return error_response(std::move(body.error()));
    auto target = device_request(*body, BodyReader<SoftRebootRequest>(read_soft_reboot_request));
    if (!target) co_return error_response(std::move(target.error()));

    auto work = [target = std::move(*target)] { return soft_reboot(target.protocol, target.transport); };
    const auto outcome = co_await run_device_work(context, std::move(work));
    if (auto failed = failure_response(outcome)) co_return std::move(*failed);
    co_return json_response(R"({"ok":true})");
}
#pragma GCC diagnostic pop

}  // namespace parvello
