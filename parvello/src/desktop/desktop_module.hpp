#pragma once
// The desktop shell as the agent reaches it: the module parvello-desktop.so beside the
// executable, opened the first time it is needed, so the headless agent never maps GTK or
// WebKitGTK.
#include <cstdint>
#include <expected>
#include <filesystem>
#include <memory>
#include <string_view>

#include "desktop/desktop_error.hpp"
#include "lock/fair_mutex.hpp"
#include "log_buffer.hpp"
#include "parvello/config.hpp"

struct pvo_desktop_module;

namespace parvello::desktop {

inline constexpr std::string_view kDesktopModuleFile = "parvello-desktop.so";

// Opens the module at `path` and checks its entry point. The error names what is missing (the
// module, a library it needs, or its entry point) and says how to run without the desktop.
std::expected<const pvo_desktop_module*, DesktopError> open_desktop_module(const std::filesystem::path& path);

// The module beside the running executable, opened once per process.
std::expected<const pvo_desktop_module*, DesktopError> desktop_module();

// Runs the desktop shell on the calling thread, the process's main thread. On success it does
// not return: Quit ends the process. A failure to load the module or to set up the shell is
// returned.
std::expected<void, DesktopError> run_desktop(std::shared_ptr<Guarded<BridgeConfig>> config, std::uint16_t port,
                                              std::shared_ptr<LogBuffer> log_buffer, bool show_at_start);

// The error box of a fatal error, when the session has a display and the module can be
// loaded; otherwise nothing, and the report on standard error and in the log stands alone.
void show_error_box(std::string_view text);

}  // namespace parvello::desktop
