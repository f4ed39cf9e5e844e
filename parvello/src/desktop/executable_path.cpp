#include "desktop/executable_path.hpp"

#include <unistd.h>

#include <cerrno>

#include "pvo-util/posix_io.hpp"

namespace parvello {

std::expected<std::string, std::string> executable_path() {
    std::string path(256, '\0');
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
        if (n < 0) return std::unexpected("read /proc/self/exe: " + pvo_util::errno_text(errno));
        if (static_cast<std::size_t>(n) < path.size()) {
            path.resize(static_cast<std::size_t>(n));
            return path;
        }
        path.resize(path.size() * 2);  // possibly cut short: try again with more room
    }
}

}  // namespace parvello
