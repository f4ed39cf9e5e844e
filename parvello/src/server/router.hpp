#pragma once
// The route table and the layers around it.
#include <cstddef>
#include <string_view>
#include <vector>

#include "server/request.hpp"

namespace parvello {

struct Route {
    http::verb method;  // GET (which also answers HEAD) or POST
    std::string_view path;
    RouteHandler handler;
};

class Router {
public:
    // `layers` from the outside in; each wraps every route and both fallback answers.
    Router(std::vector<Route> routes, std::vector<Layer> layers, HandlerContext context);

    asio::awaitable<Response> handle(Request& request) const;

private:
    asio::awaitable<Response> through(std::size_t layer, Request& request) const;
    asio::awaitable<Response> dispatch(Request& request) const;

    std::vector<Route> routes_;
    std::vector<Layer> layers_;
    HandlerContext context_;
};

// The agent's routes inside the request-logging layer, the Host check and the CORS layer.
Router build_router(HandlerContext context);

}  // namespace parvello
