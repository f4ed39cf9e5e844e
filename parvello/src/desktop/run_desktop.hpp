#pragma once
// The desktop shell: the window with the designer above the live log, the tray item and its
// menu, on the main thread's event loop. GTK stays behind this header.
#include <cstdint>
#include <expected>
#include <memory>
#include <string>
#include <string_view>

#include "parvello/config.hpp"
#include "lock/fair_mutex.hpp"
#include "log_buffer.hpp"

namespace parvello::desktop {

struct DesktopError {
    std::string message;
};

// Builds the shell and runs its loop on the calling thread, which must be the process's main
// thread. On success it does not return: Quit (or closing the window when there is no tray)
// ends the process with exit code 0. A set-up failure is returned.
std::expected<void, DesktopError> run_desktop(std::shared_ptr<Guarded<BridgeConfig>> config,
                                              std::uint16_t port,
                                              std::shared_ptr<LogBuffer> log_buffer,
                                              bool show_at_start);

// A modal error dialog titled "parvello" with the text and one OK button, when a display can be
// opened; returns once it is dismissed. Without a display it shows nothing and returns at once.
void show_error_box(std::string_view text);

}  // namespace parvello::desktop
