#include "tty_speed_probe.hpp"

#include <asm/termbits.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace pvo_device::test {

std::uint32_t output_speed(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return 0;
    termios2 tio{};
    const bool read = ::ioctl(fd, TCGETS2, &tio) == 0;
    ::close(fd);
    return read ? tio.c_ospeed : 0;
}

}  // namespace pvo_device::test
