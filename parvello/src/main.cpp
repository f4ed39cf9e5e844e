// The agent's entry: console colour, logging, command line, bind-host check, settings, port,
// discovery made ready in the background, banner, shared state, then the headless server or
// the desktop run.
#include <pthread.h>

#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <variant>

#include <fmt/format.h>

#include "cli.hpp"
#include "desktop/autostart.hpp"
#include "desktop/desktop_module.hpp"
#include "fatal.hpp"
#include "log_buffer.hpp"
#include "logging.hpp"
#include "memory_policy.hpp"
#include "parvello/app_state.hpp"
#include "parvello/config.hpp"
#include "parvello/product.hpp"
#include "parvello/server.hpp"
#include "pvo-device/discovery.hpp"
#include "pvo-log/log.hpp"

namespace parvello {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFatal = 1;
constexpr int kExitUsage = 2;

// Discovery's one-time work (parsing the built-in catalog, milliseconds) done on a thread of
// its own beside the start-up, so that the first device listing finds it done; the parse's
// scratch memory then goes back to the system, so an idle agent does not hold it. A thread
// that cannot start leaves that work to the first listing.
std::jthread prepare_discovery_in_background() {
    try {
        return std::jthread([] {
            pvo_device::prepare_discovery();
            release_free_heap_memory();
        });
    } catch (const std::system_error&) {
        return {};
    }
}

// Body of the thread "parvello-http": a server failure is logged and ends only this thread.
void http_thread_main(AppState state) {
    auto result = run_server_blocking(state);
    if (!result) pvo_log::error("parvello", "HTTP server exited: {}", result.error().message);
}

int run(int argc, char** argv) {
    apply_allocator_policy();  // a refusal only costs memory, never correctness
    const bool ansi = console_wants_colour();
    auto log_buffer = std::make_shared<LogBuffer>();
    install_logging(ansi, log_buffer, log_file_path());

    const CliOutcome outcome = parse_command_line(argc, argv);
    if (const auto* info = std::get_if<CliInfo>(&outcome)) {
        std::fputs(info->text.c_str(), stdout);
        return kExitOk;
    }
    if (const auto* usage = std::get_if<CliUsageError>(&outcome)) {
        write_stderr(usage->text);
        report_fatal(usage->message);
        return kExitUsage;
    }
    const Args& args = std::get<Args>(outcome);

    if (auto host = check_bind_host(args.host); !host) {
        report_fatal(host.error().message);
        return kExitFatal;
    }
    // Missing and broken settings alike give the defaults, without a word.
    const BridgeConfig settings = load_config().value_or(BridgeConfig{});
    const std::uint16_t port = args.port.value_or(settings.port);
    if (port == 0) {
        report_fatal("port must be non-zero");
        return kExitFatal;
    }

    const std::jthread discovery_preparation = prepare_discovery_in_background();
    write_stderr(fmt::format("{} v{}\n", kProductName, kVersion));
    pvo_log::info("parvello", "{} v{}", kProductName, kVersion);

    AppState state(port, settings.autostart);

    if (args.no_tray) {
        auto result = run_server_blocking(state);
        if (!result) {
            report_fatal(result.error().message);
            return kExitFatal;
        }
        return kExitOk;
    }

    // Desktop mode: the server lives on its own thread.
    std::thread http;
    try {
        http = std::thread(http_thread_main, state);
    } catch (const std::system_error& e) {
        report_fatal(e.what());
        return kExitFatal;
    }
    ::pthread_setname_np(http.native_handle(), "parvello-http");
    http.detach();
    register_login_autostart_at_start(settings.autostart);

    // The main thread becomes the desktop's event loop (the desktop module's, loaded only now);
    // on success the loop ends the process.
    auto desktop = desktop::run_desktop(state.config, port, log_buffer, !args.tray);
    if (!desktop) {
        report_fatal(desktop.error().message);
        return kExitFatal;
    }
    return kExitOk;
}

}  // namespace
}  // namespace parvello

int main(int argc, char** argv) { return parvello::run(argc, argv); }
