#include "server/response.hpp"

#include <algorithm>

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

std::optional<std::string_view> HeaderFields::get(std::string_view name) const noexcept {
    for (const Field& field : fields_) {
        if (pvo_util::ascii_iequals(field.name, name)) return field.value;
    }
    return std::nullopt;
}

std::size_t HeaderFields::count(std::string_view name) const noexcept {
    return static_cast<std::size_t>(std::ranges::count_if(
        fields_, [name](const Field& field) { return pvo_util::ascii_iequals(field.name, name); }));
}

void HeaderFields::set(std::string_view name, std::string_view value) {
    erase(name);
    add(name, value);
}

void HeaderFields::add(std::string_view name, std::string_view value) {
    fields_.push_back({std::string(name), std::string(value)});
}

void HeaderFields::erase(std::string_view name) {
    std::erase_if(fields_, [name](const Field& field) { return pvo_util::ascii_iequals(field.name, name); });
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
