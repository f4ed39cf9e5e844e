#include "pvo-util/posix_io.hpp"

#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace pvo_util {

std::string errno_text(int error) { return std::generic_category().message(error); }

std::expected<void, int> write_all(int fd, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) return std::unexpected(errno);
        // A write that takes nothing would make this loop spin for ever.
        if (written == 0) return std::unexpected(EIO);
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return {};
}

std::expected<void, int> write_all(int fd, std::string_view text) {
    return write_all(fd, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

}  // namespace pvo_util
