#pragma once
#include <string_view>

namespace parvello {

// Reports a fatal start-up error once: to the log at ERROR, to standard error as
// "parvello failed: <text>", and in an error box naming the log file, which waits for the
// user when a display can be opened and the desktop module loaded (a headless agent loads it
// only here). The caller then ends the process.
void report_fatal(std::string_view text);

// Writes the whole text to standard error in one call; a closed stream drops it.
void write_stderr(std::string_view text);

}  // namespace parvello
