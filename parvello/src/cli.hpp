#pragma once
// The command line: --port (PARVELLO_PORT fallback), --host, --no-tray, --tray, help, version.
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

namespace parvello {

struct Args {
    std::optional<std::uint16_t> port;
    std::string host = "127.0.0.1";
    bool no_tray = false;
    bool tray = false;
};

// Help and version requests: the text goes to standard output and the process ends with 0.
struct CliInfo {
    std::string text;
};

// A usage error: the library's text (for standard error) and the plain message.
struct CliUsageError {
    std::string text;
    std::string message;
};

using CliOutcome = std::variant<Args, CliInfo, CliUsageError>;

// Parses the process's arguments (argv[0] is the program path). PARVELLO_PORT is read from
// the environment and used only when --port is absent. Either is read as a decimal number from
// 0 to 65535 (leading zeros allowed); any other text, an empty one included, is a usage error.
CliOutcome parse_command_line(int argc, const char* const* argv);

}  // namespace parvello
