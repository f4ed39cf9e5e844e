#include "server/router.hpp"

#include <array>
#include <memory>
#include <optional>
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

// No route for the path, or none for the method: 404, or 405 naming the methods there are.
asio::awaitable<Response> fallback_answer(const std::vector<Route>& routes, std::string_view path) {
    std::string allow;
    for (const Route& route : routes) {
        if (route.path != path) continue;
        if (!allow.empty()) allow += ',';
        allow += allow_text(route.method);
    }
    if (allow.empty()) co_return empty_response(Status::NotFound);
    Response response = empty_response(Status::MethodNotAllowed);
    response.fields.set("Allow", allow);
    co_return response;
}

// The end of the chain: the route for the request's path and method, or a fallback answer.
class RouteTable {
public:
    RouteTable(std::vector<Route> routes, HandlerContext context)
        : routes_(std::move(routes)), context_(std::move(context)) {}

    // Paths match exactly and case-sensitively; the query string takes no part. The route's
    // own coroutine is the answer, with none around it.
    asio::awaitable<Response> dispatch(Request& request) const {
        const std::string_view path = request.path();
        for (const Route& route : routes_) {
            if (route.path == path && serves(route, request.method())) return route.handler(request, context_);
        }
        return fallback_answer(routes_, path);
    }

private:
    std::vector<Route> routes_;
    HandlerContext context_;
};

// A plain layer linked behind an awaiting one.
asio::awaitable<Response> run_plain_layer(const PlainLayer& layer, const Next& next, Request& request) {
    LayerEntry entry = layer(request);
    if (Response* answer = std::get_if<Response>(&entry)) co_return std::move(*answer);
    Response response = co_await next(request);
    if (auto& edit = std::get<AnswerEdit>(entry)) edit(response);
    co_return response;
}

}  // namespace

// Each link owns the rest of the chain, and a layer is handed that rest by reference: the
// chain lives as long as the router, so every `next` outlives the requests that run through it.
Router::Router(std::vector<Route> routes, std::vector<Layer> layers, HandlerContext context) {
    auto table = std::make_shared<const RouteTable>(std::move(routes), std::move(context));
    chain_ = [table](Request& request) { return table->dispatch(request); };
    std::size_t front = 0;
    while (front < layers.size() && front < kFrontLayers && layers[front].plain()) ++front;
    for (std::size_t i = layers.size(); i-- > front;) {
        if (const PlainLayer* plain = layers[i].plain()) {
            chain_ = [layer = *plain, next = std::move(chain_)](Request& request) {
                return run_plain_layer(layer, next, request);
            };
        } else {
            chain_ = [layer = *layers[i].awaiting(), next = std::move(chain_)](Request& request) {
                return layer(request, next);
            };
        }
    }
    for (std::size_t i = 0; i < front; ++i) front_.push_back(*layers[i].plain());
}

asio::awaitable<Response> Router::handle(Request& request) const {
    std::array<AnswerEdit, kFrontLayers> edits;
    std::size_t entered = 0;
    std::optional<Response> early;
    for (const PlainLayer& layer : front_) {
        LayerEntry entry = layer(request);
        if (Response* answer = std::get_if<Response>(&entry)) {
            early = std::move(*answer);
            break;
        }
        edits[entered++] = std::move(std::get<AnswerEdit>(entry));
    }
    Response response;
    if (early) {
        response = std::move(*early);
    } else {
        response = co_await chain_(request);
    }
    // From the inside out, as each layer would see the answer come back.
    while (entered > 0) {
        if (auto& edit = edits[--entered]) edit(response);
    }
    co_return response;
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
