#include "desktop/desktop_module.hpp"

#include <dlfcn.h>

#include <cstdlib>
#include <string>
#include <thread>

#include <fmt/format.h>

#include "desktop/autostart.hpp"
#include "desktop/executable_path.hpp"
#include "desktop/module_abi.h"
#include "desktop/tray_texts.hpp"
#include "pvo-log/log.hpp"

namespace parvello::desktop {
namespace {

DesktopError load_failure(std::string_view what) {
    return DesktopError{
        fmt::format("cannot load the desktop module: {}; use --no-tray to run without the desktop", what)};
}

// What the shell borrows from the agent for the rest of the process's life.
struct HostState {
    std::shared_ptr<Guarded<BridgeConfig>> config;
    std::shared_ptr<LogBuffer> log_buffer;
    std::string status_item;
    std::string tooltip;
    std::string designer_url;
    std::string webview_data_dir;
};

HostState& state_of(void* context) { return *static_cast<HostState*>(context); }

void host_log(void*, int level, const char* target, const char* message) {
    const auto as_level = level == PVO_DESKTOP_LOG_WARN ? pvo_log::Level::Warn : pvo_log::Level::Info;
    if (pvo_log::enabled(as_level, target)) pvo_log::emit(as_level, target, message);
}

std::uint64_t host_log_snapshot(void* context, void (*line)(void*, const char*, std::size_t), void* user) {
    const LogSnapshot snapshot = state_of(context).log_buffer->snapshot();
    for (const auto& text : snapshot.lines) line(user, text.data(), text.size());
    return snapshot.generation;
}

void host_log_clear(void* context) { state_of(context).log_buffer->clear(); }

int host_autostart(void* context) { return state_of(context).config->lock()->autostart ? 1 : 0; }

void host_start_at_login(void* context, int enabled) {
    std::thread(start_at_login_worker, state_of(context).config, enabled != 0).detach();
}

// A display the shell could open: X11 or Wayland. Without one, loading the module for the
// error box would only cost its start-up.
bool session_has_display() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 != nullptr && *x11 != '\0') || (wayland != nullptr && *wayland != '\0');
}

}  // namespace

std::expected<const pvo_desktop_module*, DesktopError> open_desktop_module(const std::filesystem::path& path) {
    // RTLD_NOW: a library or symbol the module lacks is named here, not at the first call.
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return std::unexpected(load_failure(::dlerror()));
    auto entry = reinterpret_cast<pvo_desktop_entry_fn>(::dlsym(handle, PVO_DESKTOP_ENTRY_SYMBOL));
    if (entry == nullptr)
        return std::unexpected(
            load_failure(fmt::format("{} has no entry point {}", path.string(), PVO_DESKTOP_ENTRY_SYMBOL)));
    const pvo_desktop_module* module = entry();
    if (module == nullptr || module->abi_version != PVO_DESKTOP_ABI_VERSION)
        return std::unexpected(load_failure(fmt::format("{} belongs to another version of the agent", path.string())));
    return module;
}

std::expected<const pvo_desktop_module*, DesktopError> desktop_module() {
    // Loaded by the main thread only: for the desktop, or for the box of a fatal error.
    static const auto module = []() -> std::expected<const pvo_desktop_module*, DesktopError> {
        auto program = executable_path();
        if (!program) return std::unexpected(load_failure(program.error()));
        return open_desktop_module(std::filesystem::path(*program).parent_path() / kDesktopModuleFile);
    }();
    return module;
}

std::expected<void, DesktopError> run_desktop(std::shared_ptr<Guarded<BridgeConfig>> config, std::uint16_t port,
                                              std::shared_ptr<LogBuffer> log_buffer, bool show_at_start) {
    auto module = desktop_module();
    if (!module) return std::unexpected(module.error());

    // Kept for the rest of the process: the loop that uses it ends the process itself.
    static HostState state;
    state.config = std::move(config);
    state.log_buffer = std::move(log_buffer);
    state.status_item = status_item_text(port);
    state.tooltip = tray_tooltip(port);
    state.designer_url = vestra_url();
    const auto data_dir = webview_data_dir();
    if (data_dir) state.webview_data_dir = data_dir->string();

    static pvo_desktop_host host{};
    host.context = &state;
    host.show_at_start = show_at_start ? 1 : 0;
    host.status_item = state.status_item.c_str();
    host.tooltip = state.tooltip.c_str();
    host.designer_url = state.designer_url.c_str();
    host.webview_data_dir = data_dir ? state.webview_data_dir.c_str() : nullptr;
    host.log = host_log;
    host.log_snapshot = host_log_snapshot;
    host.log_clear = host_log_clear;
    host.autostart = host_autostart;
    host.start_at_login = host_start_at_login;

    if (const char* failure = (*module)->run_desktop(&host); failure != nullptr)
        return std::unexpected(DesktopError{failure});
    return {};
}

void show_error_box(std::string_view text) {
    if (!session_has_display()) return;
    auto module = desktop_module();
    if (!module) return;  // the report on standard error and in the log stands alone
    const std::string message(text);
    (*module)->show_error_box(message.c_str());
}

}  // namespace parvello::desktop
