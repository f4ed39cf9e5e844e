#include <string>
#include <utility>

#include "pvo-device/discovery.hpp"
#include "server/blocking.hpp"
#include "server/routes.hpp"

namespace parvello {

std::string list_attached_devices() { return pvo_device::write_device_list(pvo_device::discover_devices()); }

// Listing opens no device, so it takes no lock: it answers while a job is printing. The
// listing blocks (it reads sysfs and parses the catalog), so it runs on the listing pool,
// never on the thread of the work under the job lock.
asio::awaitable<Response> get_devices(Request&, HandlerContext context) {
    auto list = [listing = context.blocking.device_listing] { return (*listing)(); };
    auto outcome = co_await run_blocking(context.blocking.listings, std::move(list));
    // A worker that failed lists nothing; this route never answers with an error status.
    co_return json_response(outcome ? std::move(*outcome) : pvo_device::write_device_list({}));
}

}  // namespace parvello
