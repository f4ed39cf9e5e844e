#include "server/ws.hpp"

#include <optional>

#include "pvo-util/text.hpp"
#include "server/cors.hpp"

namespace parvello {

namespace {

bool mentions_upgrade(std::string_view connection) {
    return pvo_util::is_valid_utf8(connection) &&
           pvo_util::ascii_lower(connection).find("upgrade") != std::string::npos;
}

// A page may connect when it sends no Origin (a client that is not a browser page) or one
// trusted origin. More than one Origin header, or one with a byte outside visible ASCII, names
// no origin the agent could trust: refused as an untrusted origin is.
bool upgrade_origin_allowed(const Request& request) {
    const std::size_t origins = request.field_count("Origin");
    if (origins == 0) return true;
    if (origins > 1) return false;
    const auto origin = request_origin(request);
    return origin && origin_allowed(*origin);
}

std::unexpected<ErrorReply> refuse(Status status, std::string_view text) {
    return std::unexpected(ErrorReply{status, std::string(text)});
}

}  // namespace

std::expected<void, ErrorReply> check_ws_upgrade(const Request& request) {
    if (request.method() != Method::Get) {
        return refuse(Status::MethodNotAllowed, "Request method must be `GET`");
    }
    const auto connection = request.field("Connection");
    if (!connection || !mentions_upgrade(*connection)) {
        return refuse(Status::BadRequest, "Connection header did not include 'upgrade'");
    }
    const auto upgrade = request.field("Upgrade");
    if (!upgrade || !pvo_util::ascii_iequals(*upgrade, "websocket")) {
        return refuse(Status::BadRequest, "`Upgrade` header did not include 'websocket'");
    }
    if (!request.field("Sec-WebSocket-Key")) {
        return refuse(Status::BadRequest, "`Sec-WebSocket-Key` header missing");
    }
    const auto version = request.field("Sec-WebSocket-Version");
    if (version != "13") {
        return refuse(Status::BadRequest, "`Sec-WebSocket-Version` header did not include '13'");
    }
    if (request.version() != 11) {
        return refuse(Status::UpgradeRequired,
                      "WebSocket request couldn't be upgraded since no upgrade state was present");
    }
    return {};
}

asio::awaitable<Response> ws_upgrade(Request& request, HandlerContext context) {
    auto checked = check_ws_upgrade(request);
    if (!checked) co_return error_response(std::move(checked.error()));
    if (!upgrade_origin_allowed(request)) {
        co_return error_response({Status::Forbidden, "origin not allowed"});
    }

    // The WebSocket library completes the 101 (Upgrade, Connection, Sec-WebSocket-Accept) when it
    // accepts the request; the layers put their headers on this one, which it takes over.
    Response response = empty_response(Status::SwitchingProtocols);
    auto take_over = [context = std::move(context)](std::unique_ptr<TakenConnection> taken,
                                                    HeaderFields layer_fields) mutable {
        start_ws_connection(std::move(*taken), std::move(layer_fields), std::move(context));
    };
    response.take_over = std::move(take_over);
    co_return response;
}

}  // namespace parvello
