// The seam of SysfsDir: opendir/readdir, openat and readlinkat.
#include "sysfs_dir.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace pvo_device {

namespace {

// Reads a file descriptor to its end into `text` (replacing what it held). A read returning
// less than was asked for ends it: the kernel hands out an attribute (at most a page) whole on
// the first read, and a regular file (an emulated attribute) reads short only at its end, so one
// read is enough where reading until a read returns nothing would take two.
bool read_to_end(int fd, std::string& text) {
    text.clear();
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        text.append(buffer, static_cast<std::size_t>(n));
        if (static_cast<std::size_t>(n) < sizeof buffer) return true;
    }
}

}  // namespace

SysfsDir::SysfsDir(const std::filesystem::path& path) {
    DIR* dir = ::opendir(path.c_str());
    if (!dir) {
        open_error_ = errno;
        return;
    }
    dir_ = dir;
    fd_ = ::dirfd(dir);
}

SysfsDir::~SysfsDir() {
    if (dir_) ::closedir(static_cast<DIR*>(dir_));
}

std::optional<SysfsDir::Entry> SysfsDir::next_entry() {
    if (!dir_) return std::nullopt;
    while (const dirent* entry = ::readdir(static_cast<DIR*>(dir_))) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        bool is_link = entry->d_type == DT_LNK;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat status {};
            is_link = ::fstatat(fd_, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(status.st_mode);
        }
        return Entry{name, is_link};
    }
    return std::nullopt;
}

const char* SysfsDir::relative_path(std::string_view relative) {
    path_.assign(relative);
    return path_.c_str();
}

std::optional<std::string_view> SysfsDir::read(std::string_view relative) {
    if (fd_ < 0) return std::nullopt;
    const int fd = ::openat(fd_, relative_path(relative), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    const bool whole = read_to_end(fd, text_);
    ::close(fd);
    if (!whole) return std::nullopt;
    return std::string_view(text_);
}

std::optional<std::string_view> SysfsDir::read_attribute(std::string_view relative) {
    auto text = read(relative);
    if (text && text->ends_with('\n')) text->remove_suffix(1);
    return text;
}

std::optional<std::string_view> SysfsDir::read_link(std::string_view relative) {
    if (fd_ < 0) return std::nullopt;
    text_.resize(PATH_MAX);
    const ssize_t n = ::readlinkat(fd_, relative_path(relative), text_.data(), text_.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= text_.size() - 1) return std::nullopt;
    return std::string_view(text_.data(), static_cast<std::size_t>(n));
}

}  // namespace pvo_device
