#include "server/cors.hpp"

#include <algorithm>

#include "parvello/product.hpp"

namespace parvello {

namespace {

// The host part of an origin's authority: a bracketed literal up to its "]", else the text
// up to the first ":". Empty when there is none.
std::string_view origin_host(std::string_view authority) {
    if (authority.starts_with('[')) {
        const auto close = authority.find(']');
        return close == std::string_view::npos ? std::string_view{} : authority.substr(0, close + 1);
    }
    return authority.substr(0, authority.find(':'));
}

bool is_maker_origin(std::string_view origin) {
    const std::string host(maker_host());
    return origin == "https://" + host || origin == "https://www." + host;
}

bool is_local_host(std::string_view host) {
    static constexpr std::string_view kSuffix = ".localhost";
    return host == "localhost" || host == "127.0.0.1" || host == "[::1]" || host.ends_with(kSuffix);
}

bool readable_origin_byte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte == '\t' || (byte >= 32 && byte <= 126);
}

}  // namespace

bool origin_allowed(std::string_view origin) {
    if (is_maker_origin(origin)) return true;
    std::string_view rest;
    if (origin.starts_with("https://")) {
        rest = origin.substr(8);
    } else if (origin.starts_with("http://")) {
        rest = origin.substr(7);
    } else {
        return false;
    }
    const std::string_view host = origin_host(rest.substr(0, rest.find('/')));
    return !host.empty() && is_local_host(host);
}

std::optional<std::string> request_origin(const Request& request) {
    const auto value = request.field("Origin");
    if (!value || !std::ranges::all_of(*value, readable_origin_byte)) return std::nullopt;
    return std::string(*value);
}

std::optional<std::string> trusted_origin(const Request& request) {
    auto origin = request_origin(request);
    if (origin && !origin_allowed(*origin)) origin.reset();
    return origin;
}

void apply_cors_headers(HeaderFields& fields, const std::optional<std::string>& trusted) {
    if (trusted) {
        fields.set("Access-Control-Allow-Origin", *trusted);
        fields.set("Access-Control-Allow-Credentials", "true");
        fields.set("Vary", "Origin");
    }
    fields.set("Access-Control-Allow-Methods", "GET, POST, OPTIONS");
    fields.set("Access-Control-Allow-Headers", "content-type, authorization");
    fields.set("access-control-allow-private-network", "true");
    fields.set("x-parvello-version", kVersion);
    fields.set("Access-Control-Expose-Headers", "x-parvello-version");
}

LayerEntry cors_middleware(Request& request) {
    if (request.method() == Method::Options) {
        Response preflight = empty_response(Status::NoContent);
        apply_cors_headers(preflight.fields, trusted_origin(request));
        return preflight;
    }
    return AnswerEdit([&request](Response& response) { apply_cors_headers(response.fields, trusted_origin(request)); });
}

}  // namespace parvello
