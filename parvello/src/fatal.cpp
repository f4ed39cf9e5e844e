#include "fatal.hpp"

#include <unistd.h>

#include <string>

#include <fmt/format.h>

#include "desktop/desktop_module.hpp"
#include "parvello/config.hpp"
#include "parvello/product.hpp"
#include "pvo-log/log.hpp"
#include "pvo-util/posix_io.hpp"

namespace parvello {

void write_stderr(std::string_view text) {
    // Nothing is left to report a failure to.
    (void)pvo_util::write_all(STDERR_FILENO, text);
}

void report_fatal(std::string_view text) {
    pvo_log::error("parvello", "{}", text);
    write_stderr(fmt::format("{} failed: {}\n", kProductName, text));
    // The box also names the log file, whether or not it could be opened.
    std::string box(text);
    if (const auto log = log_file_path()) box += fmt::format("\n\nLog: {}", log->string());
    desktop::show_error_box(box);
}

}  // namespace parvello
