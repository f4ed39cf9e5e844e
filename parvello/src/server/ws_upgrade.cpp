#include "server/ws.hpp"

#include <array>
#include <cstdint>
#include <optional>

#include <boost/beast/core/detail/base64.hpp>
#include <boost/beast/core/detail/sha1.hpp>

#include "pvo-util/text.hpp"
#include "server/cors.hpp"

namespace parvello {

namespace {

constexpr std::string_view kWebSocketGuid = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";

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

std::unexpected<ErrorReply> refuse(http::status status, std::string_view text) {
    return std::unexpected(ErrorReply{status, std::string(text)});
}

}  // namespace

std::expected<std::string, ErrorReply> check_ws_upgrade(const http::request_header<>& header) {
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
    const auto key = first_value(header, http::field::sec_websocket_key);
    if (!key) return refuse(http::status::bad_request, "`Sec-WebSocket-Key` header missing");
    const auto version = first_value(header, http::field::sec_websocket_version);
    if (version != "13") {
        return refuse(http::status::bad_request, "`Sec-WebSocket-Version` header did not include '13'");
    }
    if (header.version() != 11) {
        return refuse(http::status::upgrade_required,
                      "WebSocket request couldn't be upgraded since no upgrade state was present");
    }
    return std::string(*key);
}

std::string ws_accept_value(std::string_view key) {
    namespace detail = beast::detail;
    detail::sha1_context context;
    detail::init(context);
    detail::update(context, key.data(), key.size());
    detail::update(context, kWebSocketGuid.data(), kWebSocketGuid.size());
    std::array<std::uint8_t, detail::sha1_context::digest_size> digest{};
    detail::finish(context, digest.data());
    std::string accept(detail::base64::encoded_size(digest.size()), '\0');
    accept.resize(detail::base64::encode(accept.data(), digest.data(), digest.size()));
    return accept;
}

asio::awaitable<Response> ws_upgrade(Request& request, HandlerContext context) {
    auto key = check_ws_upgrade(request.header());
    if (!key) co_return error_response(std::move(key.error()));
    const auto origin = request_origin(request.header());
    if (origin && !origin_allowed(*origin)) {
        co_return error_response({http::status::forbidden, "origin not allowed"});
    }

    Response response = empty_response(http::status::switching_protocols);
    response.message.version(11);
    response.message.set(http::field::connection, "upgrade");
    response.message.set(http::field::upgrade, "websocket");
    response.message.set(http::field::sec_websocket_accept, ws_accept_value(*key));
    auto take_over = [context = std::move(context)](Connection connection, http::request<http::empty_body>,
                                                   HttpResponse answer) mutable {
        start_ws_connection(std::move(connection), std::move(answer), std::move(context));
    };
    response.take_over = std::move(take_over);
    co_return response;
}

}  // namespace parvello
