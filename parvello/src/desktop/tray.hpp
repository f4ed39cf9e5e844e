#pragma once
// The tray: a StatusNotifierItem on the session bus with its menu exported as
// com.canonical.dbusmenu. Used only by the desktop shell, on the main thread.
#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "desktop/run_desktop.hpp"

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
    std::function<void()> show_window;        // "Show window" and a left click (Activate)
    std::function<void()> open_vestra;        // "Open Vestra in browser"
    std::function<void(bool)> start_at_login; // the check state after the click
    std::function<void()> quit;               // "Quit"
};

class Tray {
public:
    // Builds the menu and the item and offers the item to the StatusNotifierWatcher. Returns
    // none when the session has no tray host (no bus, no watcher, or no host registered with
    // it): then nothing is put on the bus. Errors of building the menu or the picture are
    // returned.
    static std::expected<std::unique_ptr<Tray>, DesktopError> create(std::uint16_t port, bool autostart,
                                                                     TrayActions actions);

    ~Tray();
    Tray(const Tray&) = delete;
    Tray& operator=(const Tray&) = delete;

    struct Impl;

private:
    explicit Tray(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace parvello::desktop
