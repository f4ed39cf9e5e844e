#pragma once
// Small POSIX helpers every layer needs the same way: the text of an errno value, and writing
// a whole buffer to a blocking descriptor.
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>

namespace pvo_util {

// The system's text for an errno value, such as "No such file or directory".
std::string errno_text(int error);

// Writes every byte to `fd`, going on after partial writes and interrupted calls. Fails with
// the errno value of the first failed write (EIO for a write that takes nothing).
std::expected<void, int> write_all(int fd, std::span<const std::uint8_t> bytes);
std::expected<void, int> write_all(int fd, std::string_view text);

}  // namespace pvo_util
