#include "cli.hpp"

#include <filesystem>
#include <sstream>

#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include "parvello/product.hpp"

namespace parvello {

CliOutcome parse_command_line(int argc, const char* const* argv) {
    CLI::App app{fmt::format("{} \u2014 localhost print agent", kProductName), std::string(kProductName)};
    if (argc > 0 && argv[0] != nullptr) app.name(std::filesystem::path(argv[0]).filename().string());
    app.set_version_flag("-V,--version", fmt::format("{} {}", kProductName, kVersion));

    Args args;
    std::uint16_t port = 0;
    auto* port_option = app.add_option("--port", port, "Override listen port (still bound to 127.0.0.1 only)")
                            ->type_name("<PORT>")
                            ->envname("PARVELLO_PORT");
    app.add_option("--host", args.host, "Bind host (must be loopback). Default 127.0.0.1")
        ->type_name("<HOST>")
        ->capture_default_str();
    app.add_flag("--no-tray", args.no_tray, "Run without the system tray / desktop window (CI / headless)");
    app.add_flag("--tray", args.tray, "Start tray-only (no window). Used by login autostart");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        return CliInfo{app.help()};
    } catch (const CLI::CallForAllHelp&) {
        return CliInfo{app.help("", CLI::AppFormatMode::All)};
    } catch (const CLI::CallForVersion& e) {
        return CliInfo{std::string(e.what()) + "\n"};
    } catch (const CLI::ParseError& e) {
        std::ostringstream out, err;
        app.exit(e, out, err);
        return CliUsageError{err.str(), e.what()};
    }
    if (port_option->count() > 0) args.port = port;
    return args;
}

}  // namespace parvello
