#include "server/router.hpp"

#include <string>

#include "server/cors.hpp"
#include "server/host_check.hpp"
#include "server/routes.hpp"
#include "server/ws.hpp"

namespace parvello {

namespace {

bool serves(const Route& route, http::verb method) {
    return method == route.method || (route.method == http::verb::get && method == http::verb::head);
}

std::string_view allow_text(http::verb method) {
    return method == http::verb::get ? "GET,HEAD" : http::to_string(method);
}

}  // namespace

Router::Router(std::vector<Route> routes, std::vector<Layer> layers, HandlerContext context)
    : routes_(std::move(routes)), layers_(std::move(layers)), context_(std::move(context)) {}

asio::awaitable<Response> Router::handle(Request& request) const { return through(0, request); }

// A coroutine of its own, so the `next` that a layer holds by reference outlives the layer.
asio::awaitable<Response> Router::through(std::size_t layer, Request& request) const {
    if (layer == layers_.size()) co_return co_await dispatch(request);
    const Next next = [this, layer](Request& r) { return through(layer + 1, r); };
    co_return co_await layers_[layer](request, next);
}

// Paths match exactly and case-sensitively; the query string takes no part.
asio::awaitable<Response> Router::dispatch(Request& request) const {
    const std::string_view path = request.path();
    std::string allow;
    for (const Route& route : routes_) {
        if (route.path != path) continue;
        if (serves(route, request.method())) co_return co_await route.handler(request, context_);
        if (!allow.empty()) allow += ',';
        allow += allow_text(route.method);
    }
    if (allow.empty()) co_return empty_response(http::status::not_found);
    Response response = empty_response(http::status::method_not_allowed);
    response.message.set(http::field::allow, allow);
    co_return response;
}

Router build_router(HandlerContext context) {
    std::vector<Route> routes{
        {http::verb::get, "/status", get_status},
        {http::verb::get, "/devices", get_devices},
        {http::verb::post, "/print", post_print},
        {http::verb::post, "/status/query", post_status_query},
        {http::verb::post, "/soft-reboot", post_soft_reboot},
        {http::verb::get, "/ws", ws_upgrade},
    };
    // The Host check sits outside the CORS layer so that OPTIONS is checked too; its refusal
    // carries the CORS headers itself.
    std::vector<Layer> layers{request_logging_layer, host_check_layer, cors_middleware};
    return Router(std::move(routes), std::move(layers), std::move(context));
}

}  // namespace parvello
