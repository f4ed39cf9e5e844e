#include <utility>
#include <vector>

#include "pvo-device/discovery.hpp"
#include "server/blocking.hpp"
#include "server/routes.hpp"

namespace parvello {

// Listing opens no device, so it takes no lock: it answers while a job is printing. The
// listing blocks (it reads sysfs and parses the catalog), so it runs on the blocking pool.
asio::awaitable<Response> get_devices(Request&, HandlerContext context) {
    auto discover = [] { return pvo_device::discover_devices(); };
    auto outcome = co_await run_blocking(context.blocking, std::move(discover));
    // A worker that failed lists nothing; this route never answers with an error status.
    std::vector<pvo_device::DiscoveredDevice> devices;
    if (outcome) devices = std::move(*outcome);
    co_return json_response(pvo_device::write_device_list(devices));
}

}  // namespace parvello
