#include "pvo-util/posix_io.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include <cerrno>
#include <system_error>

namespace pvo_util {

std::string errno_text(int error) { return std::generic_category().message(error); }

std::optional<std::filesystem::path> absolute_env(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || value[0] != '/') return std::nullopt;
    return std::filesystem::path(value);
}

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

std::expected<void, ReplaceFileError> replace_file(const std::filesystem::path& file, std::string_view contents) {
    std::string temp = (file.parent_path() / ("." + file.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return std::unexpected(ReplaceFileError{"create", temp, errno});

    auto abandon = [&](std::string_view step, int error) {
        ::unlink(temp.c_str());
        return std::unexpected(ReplaceFileError{step, file, error});
    };
    if (auto written = write_all(fd, contents); !written) {
        ::close(fd);
        return abandon("write", written.error());
    }
    if (::fchmod(fd, 0644) != 0 || ::fsync(fd) != 0) {
        const int error = errno;
        ::close(fd);
        return abandon("write", error);
    }
    if (::close(fd) != 0) return abandon("write", errno);
    if (::rename(temp.c_str(), file.c_str()) != 0) return abandon("rename", errno);
    return {};
}

}  // namespace pvo_util
