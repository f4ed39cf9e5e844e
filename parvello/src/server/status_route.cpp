#include <cstdint>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "parvello/product.hpp"
#include "lock/async_lock.hpp"
#include "server/routes.hpp"

namespace parvello {

namespace {

// The answer only changes with the port in effect, so each connection thread builds it once
// per port value and copies it from then on.
const std::string& status_body(std::uint16_t port) {
    struct Built {
        std::uint16_t port;
        std::string body;
    };
    thread_local std::optional<Built> built;
    if (!built || built->port != port) {
        const nlohmann::ordered_json reply{
            {"ok", true},
            {"version", std::string(kVersion)},
            {"api_version", kApiVersion},
            {"port", port},
        };
        built = Built{port, reply.dump()};
    }
    return built->body;
}

}  // namespace

asio::awaitable<Response> get_status(Request&, HandlerContext context) {
    // The port in effect, read straight away unless a save holds the settings; then the read
    // waits its turn like any other, so it never sees a half-made change.
    auto& config = *context.state.config;
    std::uint16_t port = 0;
    if (const auto free = config.copy_if_free([](const BridgeConfig& c) { return c.port; })) {
        port = *free;
    } else {
        auto held = co_await async_lock(config);
        port = held->port;
    }
    co_return json_response(status_body(port));
}

}  // namespace parvello
