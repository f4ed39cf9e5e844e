#include "cli.hpp"

#include <charconv>
#include <cstdlib>
#include <expected>
#include <filesystem>
#include <sstream>
#include <string_view>

#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include "parvello/product.hpp"

namespace parvello {
namespace {

constexpr std::string_view kPortVariable = "PARVELLO_PORT";

// A port as the user wrote it: decimal digits only, leading zeros allowed ("041234" is 41234),
// 0 to 65535. No sign, no blanks, no "0x": the library's own integer conversion would read a
// leading zero as octal and "0x" as hexadecimal.
std::expected<std::uint16_t, std::string> parse_port(std::string_view text) {
    std::uint16_t port = 0;
    const char* const end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, port, 10);
    if (text.empty() || stop != end || error == std::errc::invalid_argument) {
        return std::unexpected(fmt::format("`{}` is not a decimal port number", text));
    }
    if (error == std::errc::result_out_of_range) {
        return std::unexpected(fmt::format("`{}` is out of range (0 to 65535)", text));
    }
    return port;
}

}  // namespace

CliOutcome parse_command_line(int argc, const char* const* argv) {
    CLI::App app{fmt::format("{} \u2014 localhost print agent", kProductName), std::string(kProductName)};
    if (argc > 0 && argv[0] != nullptr) app.name(std::filesystem::path(argv[0]).filename().string());
    app.set_version_flag("-V,--version", fmt::format("{} {}", kProductName, kVersion));

    Args args;
    std::string port_text;
    auto* port_option = app.add_option("--port", port_text, "Override listen port (still bound to 127.0.0.1 only)")
                            ->type_name("<PORT>")
                            ->check(CLI::Validator(
                                [](std::string& text) {
                                    auto port = parse_port(text);
                                    return port ? std::string() : port.error();
                                },
                                ""));
    // Read now, used only when --port is absent. The library is not given the variable to read
    // itself: it would skip an empty value instead of refusing it.
    const char* const port_variable = std::getenv(kPortVariable.data());
    app.add_option("--host", args.host, "Bind host (must be loopback). Default 127.0.0.1")
        ->type_name("<HOST>")
        ->capture_default_str();
    // Plain flags: "--no-tray=false" is a usage error, never a way to switch the flag off. The
    // library hands the check "true" for the bare flag (and for "=true"), else the value given.
    const CLI::Validator no_value(
        [](std::string& value) {
            return value == "true" ? std::string() : fmt::format("a flag takes no value (got `{}`)", value);
        },
        "");
    app.add_flag("--no-tray", args.no_tray, "Run without the system tray / desktop window (CI / headless)")
        ->check(no_value);
    app.add_flag("--tray", args.tray, "Start tray-only (no window). Used by login autostart")->check(no_value);

    // The help names the variable beside --port.
    const auto help = [&](CLI::AppFormatMode mode) {
        port_option->envname(std::string(kPortVariable));
        return app.help("", mode);
    };
    try {
        app.parse(argc, argv);
        if (port_option->count() > 0) {
            args.port = *parse_port(port_text);
        } else if (port_variable != nullptr) {
            auto port = parse_port(port_variable);
            if (!port) throw CLI::ValidationError(std::string(kPortVariable), port.error());
            args.port = *port;
        }
    } catch (const CLI::CallForHelp&) {
        return CliInfo{help(CLI::AppFormatMode::Normal)};
    } catch (const CLI::CallForAllHelp&) {
        return CliInfo{help(CLI::AppFormatMode::All)};
    } catch (const CLI::CallForVersion& e) {
        return CliInfo{std::string(e.what()) + "\n"};
    } catch (const CLI::ParseError& e) {
        std::ostringstream out, err;
        app.exit(e, out, err);
        return CliUsageError{err.str(), e.what()};
    }
    return args;
}

}  // namespace parvello
