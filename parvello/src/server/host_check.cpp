#include "server/host_check.hpp"

#include <algorithm>
#include <string>

#include "pvo-util/text.hpp"
#include "server/cors.hpp"
#include "server/routes.hpp"

namespace parvello {

namespace {

bool is_port(std::string_view text) {
    return std::ranges::all_of(text, [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

bool host_allowed(std::string_view value) {
    const std::string host_and_port = pvo_util::ascii_lower(value);
    const std::string_view text = host_and_port;
    // A bracketed IPv6 literal keeps its colons; otherwise the port starts at the first one.
    const std::size_t host_end = text.starts_with('[') ? text.find(']') + 1 : text.find(':');
    if (host_end == 0) return false;  // "[" without its "]"
    const std::string_view host = text.substr(0, host_end);
    const std::string_view rest = host_end < text.size() ? text.substr(host_end) : std::string_view{};
    if (!rest.empty() && !(rest.front() == ':' && is_port(rest.substr(1)))) return false;
    return host == "127.0.0.1" || host == "localhost" || host == "[::1]" || host.ends_with(".localhost");
}

LayerEntry host_check_layer(Request& request) {
    // An absolute-form target names its host too; both must be loopback names.
    const auto authority = request.target_authority();
    const bool allowed = request.every_field("Host", host_allowed) && (!authority || host_allowed(*authority));
    if (allowed) return AnswerEdit();
    Response refusal = error_response({Status::Forbidden, "host not allowed"});
    apply_cors_headers(refusal.fields, trusted_origin(request));
    return refusal;
}

}  // namespace parvello
