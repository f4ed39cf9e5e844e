#include "desktop/autostart.hpp"

#include <exception>
#include <string>
#include <system_error>
#include <vector>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/thread_pool.hpp>

#include "desktop/executable_path.hpp"
#include "parvello/product.hpp"
#include "pvo-log/log.hpp"
#include "pvo-util/text.hpp"
#include "lock/async_lock.hpp"

namespace parvello {
namespace {

constexpr std::string_view kTarget = "parvello::desktop";
constexpr std::string_view kTrayArgument = "--tray";

}  // namespace

std::expected<void, AutostartError> set_login_autostart(bool enable) {
    auto path = executable_path();
    if (!path) return std::unexpected(AutostartError{path.error()});
    auto dirs = autostart_dirs_from_env();
    if (!dirs) return std::unexpected(AutostartError{"could not resolve the autostart directory"});
    const LoginEntry entry(std::string(kProductName), pvo_util::utf8_lossy(*path), {std::string(kTrayArgument)},
                           std::move(*dirs));
    if (enable) return entry.enable();
    // Only an entry known to be in effect is removed; an unreadable state leaves it alone.
    auto enabled = entry.is_enabled();
    if (!enabled || !*enabled) return {};
    return entry.disable();
}

void register_login_autostart_at_start(bool autostart) {
    if (!autostart) return;  // an existing entry is left alone
    if (auto result = set_login_autostart(true); !result)
        pvo_log::warn("parvello", "autostart enable: {}", result.error().message);
}

boost::asio::awaitable<void> persist_autostart(std::shared_ptr<Guarded<BridgeConfig>> config, bool enabled) {
    // Held across the save and the entry update, so both change as one step for every other
    // holder, and a later click applies its value after this one.
    auto guard = co_await async_lock(*config);
    guard->autostart = enabled;

    // The port in memory may be this run's override; the file keeps the port it stores.
    BridgeConfig stored = *guard;
    stored.port = load_config().value_or(BridgeConfig{}).port;
    if (auto saved = save_config(stored); !saved) pvo_log::warn(kTarget, "save config: {}", saved.error().message);
    if (auto applied = set_login_autostart(enabled); !applied)
        pvo_log::warn(kTarget, "autostart: {}", applied.error().message);
}

void start_at_login_worker(std::shared_ptr<Guarded<BridgeConfig>> config, bool enabled) {
    try {
        boost::asio::thread_pool runtime;
        boost::asio::co_spawn(runtime, persist_autostart(std::move(config), enabled), [](std::exception_ptr) {});
        runtime.join();  // returns once the work is done: nothing else runs on this runtime
    } catch (const std::system_error&) {
        // The runtime could not be built: the click changes nothing, and says nothing.
    }
}

}  // namespace parvello
