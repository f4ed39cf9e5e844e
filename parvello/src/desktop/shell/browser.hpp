#pragma once
#include <expected>
#include <string>

#include "desktop/desktop_error.hpp"

namespace parvello::desktop {

// Opens `url` in the user's default browser: starts `xdg-open <url>` from an argument vector
// (no shell ever sees the URL) and returns without waiting; the main loop reaps the child when
// it ends. Needs the GLib main loop to be running for the reaping.
std::expected<void, DesktopError> open_in_browser(const std::string& url);

}  // namespace parvello::desktop
