#pragma once
// Small POSIX helpers every layer needs the same way: the text of an errno value, and writing
// a whole buffer to a blocking descriptor.
#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace pvo_util {

// The system's text for an errno value, such as "No such file or directory".
std::string errno_text(int error);

// The value of an environment variable that holds an absolute path (as the XDG base directory
// variables must); nothing when it is unset, empty or relative.
std::optional<std::filesystem::path> absolute_env(const char* name);

// Writes every byte to `fd`, going on after partial writes and interrupted calls. Fails with
// the errno value of the first failed write (EIO for a write that takes nothing).
std::expected<void, int> write_all(int fd, std::span<const std::uint8_t> bytes);
std::expected<void, int> write_all(int fd, std::string_view text);

// Why a file could not be replaced: the step ("create", "write" or "rename"), the path it
// concerned and the errno value.
struct ReplaceFileError {
    std::string_view step;
    std::filesystem::path path;
    int error = 0;
};

// Replaces `file` with `contents` (mode 0644) through a temporary file in the same folder that
// is flushed to disk and then renamed over it: a reader, or the next start after a crash, sees
// the old file or the new one, never a part. The temporary file is removed on every failure.
// The folder must exist.
std::expected<void, ReplaceFileError> replace_file(const std::filesystem::path& file, std::string_view contents);

}  // namespace pvo_util
