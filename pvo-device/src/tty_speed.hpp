#pragma once
// Setting a terminal's line speed to any rate, beyond the fixed rates termios names. Its own
// file because the kernel's termios2 header cannot be included beside the C library's termios.h.
#include <cstdint>
#include <expected>

namespace pvo_device::tty {

// Sets the input and output speed of the terminal `fd` to `baud` bits per second (termios2
// with BOTHER), leaving every other setting as it is. The errno value of a rate the driver
// refuses.
std::expected<void, int> set_any_speed(int fd, std::uint32_t baud);

}  // namespace pvo_device::tty
