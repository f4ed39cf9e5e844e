#include "desktop/shell/browser.hpp"

#include <glib.h>

namespace parvello::desktop {

std::expected<void, DesktopError> open_in_browser(const std::string& url) {
    gchar* argv[] = {const_cast<gchar*>("xdg-open"), const_cast<gchar*>(url.c_str()), nullptr};
    GPid pid = 0;
    GError* error = nullptr;
    const auto flags =
        static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_STDIN_FROM_DEV_NULL);
    if (!g_spawn_async(nullptr, argv, nullptr, flags, nullptr, nullptr, &pid, &error)) {
        DesktopError failure{error->message};
        g_error_free(error);
        return std::unexpected(failure);
    }
    g_child_watch_add(
        pid, [](GPid child, gint, gpointer) { g_spawn_close_pid(child); }, nullptr);
    return {};
}

}  // namespace parvello::desktop
