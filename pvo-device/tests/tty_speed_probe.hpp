#pragma once
// The line speed a terminal is set to, as its driver reports it (termios2), read apart from the
// C library's termios.h, which cannot be included beside the kernel's header.
#include <cstdint>
#include <string>

namespace pvo_device::test {

// The output speed of the terminal at `path` in bits per second; 0 when it cannot be read.
std::uint32_t output_speed(const std::string& path);

}  // namespace pvo_device::test
