#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "parvello/product.hpp"
#include "lock/async_lock.hpp"
#include "server/routes.hpp"

namespace parvello {

asio::awaitable<Response> get_status(Request&, HandlerContext context) {
    std::uint16_t port = 0;
    {
        auto config = co_await async_lock(*context.state.config);
        port = config->port;
    }
    const nlohmann::ordered_json reply{
        {"ok", true},
        {"version", std::string(kVersion)},
        {"api_version", kApiVersion},
        {"port", port},
    };
    co_return json_response(reply.dump());
}

}  // namespace parvello
