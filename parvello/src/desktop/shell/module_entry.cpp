// The module's one exported symbol: the agent finds the shell's two operations through it.
#include <string>

#include "desktop/module_abi.h"
#include "desktop/shell/run_desktop.hpp"

namespace {

const char* run(const pvo_desktop_host* host) {
    // Returned to the agent, which reports it before the process ends.
    static std::string failure;
    auto result = parvello::desktop::run_desktop(*host);
    if (result) return nullptr;
    failure = result.error().message;
    return failure.c_str();
}

void error_box(const char* text) { parvello::desktop::show_error_box(text); }

}  // namespace

extern "C" __attribute__((visibility("default"))) const pvo_desktop_module* pvo_desktop_entry(void) {
    static const pvo_desktop_module module{PVO_DESKTOP_ABI_VERSION, run, error_box};
    return &module;
}
