#include "server/response.hpp"

#include <algorithm>
#include <string>

#include "pvo-util/text.hpp"

namespace parvello {

std::string_view reason_phrase(Status status) noexcept {
    switch (status) {
        case Status::SwitchingProtocols:
            return "Switching Protocols";
        case Status::Ok:
            return "OK";
        case Status::NoContent:
            return "No Content";
        case Status::BadRequest:
            return "Bad Request";
        case Status::Forbidden:
            return "Forbidden";
        case Status::NotFound:
            return "Not Found";
        case Status::MethodNotAllowed:
            return "Method Not Allowed";
        case Status::PayloadTooLarge:
            return "Payload Too Large";
        case Status::UnsupportedMediaType:
            return "Unsupported Media Type";
        case Status::UnprocessableEntity:
            return "Unprocessable Entity";
        case Status::UpgradeRequired:
            return "Upgrade Required";
        case Status::HeaderFieldsTooLarge:
            return "Request Header Fields Too Large";
        case Status::InternalServerError:
            return "Internal Server Error";
        case Status::BadGateway:
            return "Bad Gateway";
    }
    return {};
}

namespace {

// Room for an answer's usual fields (a content type and the CORS headers) in one allocation.
constexpr std::size_t kUsualFieldBytes = 384;

}  // namespace

void HeaderFields::Iterator::read() noexcept {
    const std::size_t colon = rest_.find(':');
    const std::size_t end = rest_.find("\r\n");
    if (colon == std::string_view::npos || end == std::string_view::npos) {
        field_ = {};
        line_ = rest_.size();
        return;
    }
    field_ = {rest_.substr(0, colon), rest_.substr(colon + 2, end - colon - 2)};
    line_ = end + 2;
}

std::optional<std::string_view> HeaderFields::get(std::string_view name) const noexcept {
    for (const Field& field : *this) {
        if (pvo_util::ascii_iequals(field.name, name)) return field.value;
    }
    return std::nullopt;
}

std::size_t HeaderFields::count(std::string_view name) const noexcept {
    return static_cast<std::size_t>(
        std::ranges::count_if(*this, [name](const Field& field) { return pvo_util::ascii_iequals(field.name, name); }));
}

void HeaderFields::set(std::string_view name, std::string_view value) {
    erase(name);
    add(name, value);
}

void HeaderFields::add(std::string_view name, std::string_view value) {
    if (lines_.capacity() < kUsualFieldBytes) lines_.reserve(kUsualFieldBytes);
    lines_.append(name).append(": ").append(value).append("\r\n");
}

void HeaderFields::erase(std::string_view name) {
    // Kept lines move to the front, over the erased ones.
    std::size_t kept = 0;
    for (std::size_t at = 0; at < lines_.size();) {
        const std::string_view rest = std::string_view(lines_).substr(at);
        const std::size_t end = rest.find("\r\n");
        const std::size_t length = end == std::string_view::npos ? rest.size() : end + 2;
        if (!pvo_util::ascii_iequals(rest.substr(0, std::min(rest.find(':'), length)), name)) {
            if (kept != at) std::char_traits<char>::move(lines_.data() + kept, lines_.data() + at, length);
            kept += length;
        }
        at += length;
    }
    lines_.resize(kept);
}

Response empty_response(Status status) {
    Response response;
    response.status = status;
    return response;
}

Response json_response(std::string body) {
    Response response;
    response.fields.set("Content-Type", "application/json");
    response.body = std::move(body);
    return response;
}

}  // namespace parvello
