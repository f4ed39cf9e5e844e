#pragma once
// A sysfs directory held open while a listing reads below it. Its entries and the files and
// links under them are reached by paths relative to it, so each access walks only the rest of
// its path and the directory is opened once per listing; one buffer serves every read.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace pvo_device {

class SysfsDir {
public:
    // Opens the directory; when it cannot, `open_error()` is the errno of the failure.
    explicit SysfsDir(const std::filesystem::path& path);
    ~SysfsDir();
    SysfsDir(const SysfsDir&) = delete;
    SysfsDir& operator=(const SysfsDir&) = delete;

    int open_error() const { return open_error_; }

    struct Entry {
        std::string_view name;  // valid until the next call of `next_entry`
        bool is_link = false;
    };
    // The next entry in the order the system lists them ("." and ".." left out); none at the
    // end or when the directory could not be opened.
    std::optional<Entry> next_entry();

    // The whole content of the file at `relative`, valid until the next `read` or `read_link`;
    // none when it is missing or unreadable.
    std::optional<std::string_view> read(std::string_view relative);

    // A sysfs attribute's text as the kernel wrote it, without the line break that closes it,
    // valid until the next `read` or `read_link`; none when the file is missing or unreadable.
    // Nothing else is trimmed: a serial number keeps every character its device gives, so what
    // discovery lists is what opening a device matches.
    std::optional<std::string_view> read_attribute(std::string_view relative);

    // Where the symbolic link at `relative` points, valid until the next `read` or `read_link`;
    // none when it is no link, cannot be read or (nearly) fills a whole path buffer.
    std::optional<std::string_view> read_link(std::string_view relative);

private:
    const char* relative_path(std::string_view relative);

    void* dir_ = nullptr;  // the DIR of <dirent.h>
    int fd_ = -1;
    int open_error_ = 0;
    std::string path_;  // the NUL-terminated relative path of the current access
    std::string text_;  // the content of the last read, or the last link's target
};

}  // namespace pvo_device
