#include "server/json_body.hpp"

#include <algorithm>

#include "pvo-util/text.hpp"

namespace parvello {

namespace {

constexpr std::string_view kNotJsonType = "Expected request with `Content-Type: application/json`";
constexpr std::string_view kUnreadable = "Failed to buffer the request body";
constexpr std::string_view kNotJson = "Failed to parse the request body as JSON";
constexpr std::string_view kWrongShape = "Failed to deserialize the JSON body into the target type";

// A token character of HTTP (RFC 9110): the letters allowed in a type or subtype.
bool is_token_char(char c) {
    static constexpr std::string_view kSymbols = "!#$%&'*+-.^_`|~";
    const auto byte = static_cast<unsigned char>(c);
    return (byte >= '0' && byte <= '9') || (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
           kSymbols.find(c) != std::string_view::npos;
}

bool is_token(std::string_view text) { return !text.empty() && std::ranges::all_of(text, is_token_char); }

bool is_header_text(std::string_view value) {
    return std::ranges::all_of(value, [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte == '\t' || (byte >= 32 && byte <= 126);
    });
}

std::string with_reason(std::string_view rule, std::string_view reason) {
    return std::string(rule) + ": " + std::string(reason);
}

}  // namespace

bool is_json_content_type(std::string_view value) {
    if (!is_header_text(value)) return false;
    const std::string_view media_type = pvo_util::trim_blanks(value.substr(0, value.find(';')));
    const auto slash = media_type.find('/');
    if (slash == std::string_view::npos) return false;
    const std::string_view type = media_type.substr(0, slash);
    const std::string subtype = pvo_util::ascii_lower(media_type.substr(slash + 1));
    if (!is_token(type) || !is_token(subtype)) return false;
    return pvo_util::ascii_iequals(type, "application") &&
           (subtype == "json" || (subtype.size() > 5 && subtype.ends_with("+json")));
}

asio::awaitable<std::expected<std::string, ErrorReply>> read_json_body(Request& request, std::size_t limit) {
    const auto content_type = request.field("Content-Type");
    if (!content_type || !is_json_content_type(*content_type)) {
        co_return std::unexpected(ErrorReply{Status::UnsupportedMediaType, std::string(kNotJsonType)});
    }
    auto body = co_await request.read_body(limit);
    if (body) co_return std::move(*body);
    if (body.error().kind == BodyError::Kind::TooLarge) {
        co_return std::unexpected(
            ErrorReply{Status::PayloadTooLarge, with_reason(kUnreadable, "length limit exceeded")});
    }
    co_return std::unexpected(ErrorReply{Status::BadRequest, with_reason(kUnreadable, body.error().text)});
}

ErrorReply body_fault_reply(const RequestError& error) {
    if (error.kind == RequestError::Kind::Syntax) {
        return {Status::BadRequest, with_reason(kNotJson, error.message())};
    }
    return {Status::UnprocessableEntity, with_reason(kWrongShape, error.message())};
}

}  // namespace parvello
