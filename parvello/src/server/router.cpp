#include "server/router.hpp"

#include <memory>
#include <ranges>
#include <string>
#include <utility>

#include "server/cors.hpp"
#include "server/host_check.hpp"
#include "server/routes.hpp"

namespace parvello {

namespace {

bool serves(const Route& route, Method method) {
    return method == route.method || (route.method == Method::Get && method == Method::Head);
}

std::string_view allow_text(Method method) {
    switch (method) {
        case Method::Get:
            return "GET,HEAD";
        case Method::Head:
            return "HEAD";
        case Method::Post:
            return "POST";
        case Method::Options:
            return "OPTIONS";
        case Method::Other:
            break;
    }
    return {};
}

// The end of the chain: the route for the request's path and method, or a fallback answer.
class RouteTable {
public:
    RouteTable(std::vector<Route> routes, HandlerContext context)
        : routes_(std::move(routes)), context_(std::move(context)) {}

    // Paths match exactly and case-sensitively; the query string takes no part.
    asio::awaitable<Response> dispatch(Request& request) const {
        const std::string_view path = request.path();
        std::string allow;
        for (const Route& route : routes_) {
            if (route.path != path) continue;
            if (serves(route, request.method())) co_return co_await route.handler(request, context_);
            if (!allow.empty()) allow += ',';
            allow += allow_text(route.method);
        }
        if (allow.empty()) co_return empty_response(Status::NotFound);
        Response response = empty_response(Status::MethodNotAllowed);
        response.fields.set("Allow", allow);
        co_return response;
    }

private:
    std::vector<Route> routes_;
    HandlerContext context_;
};

}  // namespace

// Each link owns the rest of the chain, and a layer is handed that rest by reference: the
// chain lives as long as the router, so every `next` outlives the requests that run through it.
Router::Router(std::vector<Route> routes, std::vector<Layer> layers, HandlerContext context) {
    auto table = std::make_shared<const RouteTable>(std::move(routes), std::move(context));
    chain_ = [table](Request& request) { return table->dispatch(request); };
    for (Layer& layer : std::views::reverse(layers)) {
        chain_ = [layer = std::move(layer), next = std::move(chain_)](Request& request) {
            return layer(request, next);
        };
    }
}

Router build_router(HandlerContext context) {
    std::vector<Route> routes{
        {Method::Get, "/status", get_status},
        {Method::Get, "/devices", get_devices},
        {Method::Post, "/print", post_print},
        {Method::Post, "/status/query", post_status_query},
        {Method::Post, "/soft-reboot", post_soft_reboot},
        {Method::Get, "/ws", ws_upgrade},
    };
    // The Host check sits outside the CORS layer so that OPTIONS is checked too; its refusal
    // carries the CORS headers itself.
    std::vector<Layer> layers{request_logging_layer, host_check_layer, cors_middleware};
    return Router(std::move(routes), std::move(layers), std::move(context));
}

}  // namespace parvello
