#include "server/ws.hpp"

#include <optional>

#include "pvo-util/text.hpp"
#include "server/cors.hpp"

namespace parvello {

namespace {

// The value of the request's first header of that name.
std::optional<std::string_view> first_value(const http::request_header<>& header, http::field name) {
    const auto field = header.find(name);
    if (field == header.end()) return std::nullopt;
    return field->value();
}

bool mentions_upgrade(std::string_view connection) {
    return pvo_util::is_valid_utf8(connection) &&
           pvo_util::ascii_lower(connection).find("upgrade") != std::string::npos;
}

// A page may connect when it sends no Origin (a client that is not a browser page) or one
// trusted origin. More than one Origin header, or one with a byte outside visible ASCII, names
// no origin the agent could trust: refused as an untrusted origin is.
bool upgrade_origin_allowed(const http::request_header<>& header) {
    const std::size_t origins = header.count(http::field::origin);
    if (origins == 0) return true;
    if (origins > 1) return false;
    const auto origin = request_origin(header);
    return origin && origin_allowed(*origin);
}

std::unexpected<ErrorReply> refuse(http::status status, std::string_view text) {
    return std::unexpected(ErrorReply{status, std::string(text)});
}

}  // namespace

std::expected<void, ErrorReply> check_ws_upgrade(const http::request_header<>& header) {
    if (header.method() != http::verb::get) {
        return refuse(http::status::method_not_allowed, "Request method must be `GET`");
    }
    const auto connection = first_value(header, http::field::connection);
    if (!connection || !mentions_upgrade(*connection)) {
        return refuse(http::status::bad_request, "Connection header did not include 'upgrade'");
    }
    const auto upgrade = first_value(header, http::field::upgrade);
    if (!upgrade || !pvo_util::ascii_iequals(*upgrade, "websocket")) {
        return refuse(http::status::bad_request, "`Upgrade` header did not include 'websocket'");
    }
    if (!first_value(header, http::field::sec_websocket_key)) {
        return refuse(http::status::bad_request, "`Sec-WebSocket-Key` header missing");
    }
    const auto version = first_value(header, http::field::sec_websocket_version);
    if (version != "13") {
        return refuse(http::status::bad_request, "`Sec-WebSocket-Version` header did not include '13'");
    }
    if (header.version() != 11) {
        return refuse(http::status::upgrade_required,
                      "WebSocket request couldn't be upgraded since no upgrade state was present");
    }
    return {};
}

asio::awaitable<Response> ws_upgrade(Request& request, HandlerContext context) {
    auto checked = check_ws_upgrade(request.header());
    if (!checked) co_return error_response(std::move(checked.error()));
    if (!upgrade_origin_allowed(request.header())) {
        co_return error_response({http::status::forbidden, "origin not allowed"});
    }

    // The WebSocket library completes the 101 (Upgrade, Connection, Sec-WebSocket-Accept) when it
    // accepts the request; the layers put their headers on this one, which it takes over.
    Response response = empty_response(http::status::switching_protocols);
    response.message.version(11);
    auto take_over = [context = std::move(context)](Connection connection, http::request<http::empty_body> upgrade,
                                                   HttpResponse answer) mutable {
        start_ws_connection(std::move(connection), std::move(upgrade), std::move(answer), std::move(context));
    };
    response.take_over = std::move(take_over);
    co_return response;
}

}  // namespace parvello
