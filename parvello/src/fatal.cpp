#include "fatal.hpp"

#include <unistd.h>

#include <cerrno>
#include <string>

#include <fmt/format.h>

#include "parvello/product.hpp"
#include "pvo-log/log.hpp"

namespace parvello {

void write_stderr(std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(STDERR_FILENO, text.data(), text.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        text.remove_prefix(static_cast<std::size_t>(n));
    }
}

void report_fatal(std::string_view text) {
    pvo_log::error("parvello", "{}", text);
    write_stderr(fmt::format("{} failed: {}\n", kProductName, text));
}

}  // namespace parvello
