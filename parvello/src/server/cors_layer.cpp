#include <string>

#include "parvello/product.hpp"
#include "server/layers.hpp"

namespace parvello {

asio::awaitable<Response> cors_layer(Request& request, const Next& next) {
    Response response;
    if (request.method() == http::verb::options) {
        response = empty_response(http::status::no_content);
    } else {
        response = co_await next(request);
    }
    response.message.set("x-parvello-version", std::string(kVersion));
    co_return response;
}

}  // namespace parvello
