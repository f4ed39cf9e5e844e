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

std::optional<std::string> request_origin(const http::request_header<>& header) {
    const auto field = header.find(http::field::origin);
    if (field == header.end()) return std::nullopt;
    const std::string_view value = field->value();
    if (!std::ranges::all_of(value, readable_origin_byte)) return std::nullopt;
    return std::string(value);
}

std::optional<std::string> trusted_origin(const http::request_header<>& header) {
    auto origin = request_origin(header);
    if (origin && !origin_allowed(*origin)) origin.reset();
    return origin;
}

void apply_cors_headers(HttpResponse& response, const std::optional<std::string>& trusted) {
    if (trusted) {
        response.set(http::field::access_control_allow_origin, *trusted);
        response.set(http::field::access_control_allow_credentials, "true");
        response.set(http::field::vary, "Origin");
    }
    response.set(http::field::access_control_allow_methods, "GET, POST, OPTIONS");
    response.set(http::field::access_control_allow_headers, "content-type, authorization");
    response.set("access-control-allow-private-network", "true");
    response.set("x-parvello-version", std::string(kVersion));
    response.set(http::field::access_control_expose_headers, "x-parvello-version");
}

asio::awaitable<Response> cors_middleware(Request& request, const Next& next) {
    const std::optional<std::string> trusted = trusted_origin(request.header());
    Response response;
    if (request.method() == http::verb::options) {
        response = empty_response(http::status::no_content);
    } else {
        response = co_await next(request);
    }
    apply_cors_headers(response.message, trusted);
    co_return response;
}

}  // namespace parvello
