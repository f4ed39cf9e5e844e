#pragma once
// Installing the program's logging stack: the filter from PARVELLO_LOG plus "parvello=info",
// then the writers in order: console (standard error), log file, in-memory buffer.
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "log_buffer.hpp"
#include "pvo-log/output.hpp"
#include "pvo-log/stack.hpp"
#include "pvo-log/writer.hpp"

namespace parvello {

// The environment variable holding the filter directives.
inline constexpr std::string_view kLogFilterVariable = "PARVELLO_LOG";

// Colour on the console only when standard error is a terminal, NO_COLOR is absent (any value,
// even empty, turns colour off) and standard output is a terminal too.
bool console_wants_colour(bool stderr_is_terminal, bool no_color_present, bool stdout_is_terminal) noexcept;
// The same decision from the process's own streams and environment.
bool console_wants_colour();

// The filter text of the variable's raw value: empty when unset or not valid UTF-8.
std::string filter_text(const char* variable_value);

struct LoggingSetup {
    bool ansi = false;
    std::shared_ptr<LogBuffer> buffer;
    std::optional<std::filesystem::path> log_file;  // none: no file writer
    std::string filter;                             // the directives, e.g. "pvo_device=warn"
    pvo_log::Clock clock = pvo_log::system_clock();
    pvo_log::FdOutput console = pvo_log::FdOutput::standard_error();
};

// Builds the stack without installing it. A directive that does not parse is skipped after
// "ignoring `<piece>`: <reason>" on the console output; a log file that cannot be opened (its
// folder is created with parents first) leaves the stack without a file writer, silently.
std::unique_ptr<pvo_log::Stack> build_logging_stack(LoggingSetup setup);

// Builds the stack from the process's environment and installs it for the rest of the run.
// Called once, before anything logs; a second call is an internal error that ends the program.
void install_logging(bool ansi, std::shared_ptr<LogBuffer> buffer, std::optional<std::filesystem::path> log_file);

}  // namespace parvello
