#pragma once
// Starting the agent at login: the login entry ("parvello", this executable, "--tray") and
// the work behind the tray's "Start at login" switch.
//
// The entry is an XDG autostart file, parvello.desktop, in the system autostart directory
// when that can be written, else in the user's (see login_entry.hpp).
#include <expected>
#include <memory>

#include <boost/asio/awaitable.hpp>

#include "desktop/login_entry.hpp"
#include "parvello/config.hpp"
#include "lock/fair_mutex.hpp"

namespace parvello {

// Writes the login entry (enable) or removes it when it is in effect (disable). Switching
// off when the entry's state cannot be read removes nothing and succeeds.
std::expected<void, AutostartError> set_login_autostart(bool enable);

// Start-up in desktop mode: registers the login entry again while the settings want it, so
// an entry removed by hand comes back; a failure is logged as a warning and start-up goes on.
void register_login_autostart_at_start(bool autostart);

// One click on "Start at login": holds the settings lock while it records `enabled` in
// memory, saves the settings file and updates the login entry, logging a warning for each
// step that fails. The file keeps its stored port: a port given for this run alone (command
// line or environment) is not written.
boost::asio::awaitable<void> persist_autostart(std::shared_ptr<Guarded<BridgeConfig>> config, bool enabled);

// Body of the thread the tray starts per click: runs `persist_autostart` to completion on a
// short-lived runtime of its own. When that runtime cannot be built the click does nothing.
void start_at_login_worker(std::shared_ptr<Guarded<BridgeConfig>> config, bool enabled);

}  // namespace parvello
