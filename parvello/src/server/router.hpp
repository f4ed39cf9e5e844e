#pragma once
// The route table and the layers around it.
#include <cstddef>
#include <string_view>
#include <vector>

#include "server/request.hpp"
#include "server/response.hpp"

namespace parvello {

struct Route {
    Method method;  // GET (which also answers HEAD) or POST
    std::string_view path;
    RouteHandler handler;
};

class Router {
public:
    // `layers` from the outside in; each wraps every route and both fallback answers. The
    // chain of layers is put together here, once, and every request goes through it.
    Router(std::vector<Route> routes, std::vector<Layer> layers, HandlerContext context);

    asio::awaitable<Response> handle(Request& request) const;

private:
    // The plain layers in front of the first awaiting one (at most kFrontLayers) run as calls in
    // `handle`; the rest of the chain is linked as coroutines.
    static constexpr std::size_t kFrontLayers = 4;
    std::vector<PlainLayer> front_;
    Next chain_;
};

// The agent's routes inside the request-logging layer, the Host check and the CORS layer.
Router build_router(HandlerContext context);

}  // namespace parvello
