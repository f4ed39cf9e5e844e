#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

#include "tty_speed.hpp"

namespace pvo_device::tty {

std::expected<void, int> set_any_speed(int fd, std::uint32_t baud) {
    termios2 tio{};
    if (::ioctl(fd, TCGETS2, &tio) != 0) return std::unexpected(errno);
    tio.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    tio.c_ispeed = baud;
    tio.c_ospeed = baud;
    if (::ioctl(fd, TCSETS2, &tio) != 0) return std::unexpected(errno);
    return {};
}

}  // namespace pvo_device::tty
