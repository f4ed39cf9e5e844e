#pragma once
// The tray: a StatusNotifierItem on the session bus with its menu exported as
// com.canonical.dbusmenu. Used only by the desktop shell, on the main thread.
#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "desktop/desktop_error.hpp"

namespace parvello::desktop {

// The tray picture as the item's pixmap: 32 x 32 pixels, ARGB32 in network byte order.
struct TrayPixmap {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> argb;
};

// Decodes the picture built into the program.
std::expected<TrayPixmap, DesktopError> load_tray_icon();

// What the menu and the item ask the shell to do.
struct TrayActions {
    std::function<void()> show_window;         // "Show window" and a left click (Activate)
    std::function<void()> open_vestra;         // "Open Vestra in browser"
    std::function<void(bool)> start_at_login;  // the check state after the click
    std::function<void()> quit;                // "Quit"
    // A tray host appeared (true) or went away (false) since the last call, or since `create`.
    std::function<void(bool)> tray_host_changed;
};

// The texts of the item, made by the agent.
struct TrayTexts {
    std::string status_item;  // the first, disabled line of the menu
    std::string tooltip;
};

class Tray {
public:
    // Builds the menu and the item, puts them on the session bus and follows the owner of the
    // StatusNotifierWatcher name: whenever a watcher appears (at start or later, and again
    // after it went away) the item registers with it. Returns none when there is no session
    // bus. Errors of building the menu or the picture are returned.
    static std::expected<std::unique_ptr<Tray>, DesktopError> create(const TrayTexts& texts, bool autostart,
                                                                     TrayActions actions);

    // Whether a tray host is registered with the current watcher, as last known. At `create`
    // it is asked of the bus at once; later changes reach `tray_host_changed`.
    bool host_present() const;

    ~Tray();
    Tray(const Tray&) = delete;
    Tray& operator=(const Tray&) = delete;

    struct Impl;

private:
    explicit Tray(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace parvello::desktop
