#pragma once
// The operating-system side of the serial transport: a terminal device opened raw, with every
// wait bounded by poll() deadlines. Errors are the reason text only; callers add their prefix.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <vector>

namespace pvo_device::tty {

// Opens `path` without making it the controlling terminal and sets it to raw 8N1 at `baud` with
// no flow control. Any rate but 0 is asked of the driver (those termios does not name, through
// termios2); a rate the driver refuses fails with the system's text. Refuses anything that is not a terminal device (regular file, directory, FIFO,
// socket, other devices) and never creates a file. Returns the descriptor, in non-blocking mode.
std::expected<int, std::string> open_raw(const std::string& path, std::uint32_t baud);

void close(int fd) noexcept;

// Writes every byte. Fails when the line has taken no byte for `stall` (a port nobody drains).
std::expected<void, std::string> write_all(int fd, std::span<const std::uint8_t> bytes,
                                           std::chrono::milliseconds stall);

// Waits until every written byte has been transmitted; nothing is discarded.
std::expected<void, std::string> drain(int fd);

// Waits up to `wait` for bytes and reads at most `max_len` of them. An empty result means the
// line stayed quiet; a hung-up device is an error.
std::expected<std::vector<std::uint8_t>, std::string> read_some(int fd, std::size_t max_len,
                                                                std::chrono::milliseconds wait);

}  // namespace pvo_device::tty
