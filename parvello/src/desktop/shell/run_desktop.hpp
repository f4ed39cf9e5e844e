#pragma once
// The desktop shell: the window with the designer above the live log, the tray item and its
// menu, on the main thread's event loop. GTK stays behind this header. What the shell needs of
// the agent (its texts, log buffer, settings and logging) comes through the host it is given.
#include <expected>
#include <string_view>

#include "desktop/desktop_error.hpp"
#include "desktop/module_abi.h"

namespace parvello::desktop {

// Builds the shell and runs its loop on the calling thread, which must be the process's main
// thread. On success it does not return: Quit (or closing the window while there is no tray)
// ends the process with exit code 0. A set-up failure is returned. `host` must outlive the
// process's run.
std::expected<void, DesktopError> run_desktop(const pvo_desktop_host& host);

// A modal error dialog titled "parvello" with the text and one OK button, when a display can be
// opened; returns once it is dismissed. Without a display it shows nothing and returns at once.
void show_error_box(std::string_view text);

}  // namespace parvello::desktop
