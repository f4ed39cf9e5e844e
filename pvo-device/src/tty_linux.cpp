// Terminal devices through termios and poll(): open raw, write with a stall limit, drain, read
// with a deadline.
#include "tty.hpp"

#include <cerrno>
#include <optional>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "fd_wait.hpp"
#include "tty_speed.hpp"
#include "pvo-util/posix_io.hpp"

namespace pvo_device::tty {
namespace {

using pvo_util::errno_text;

// The termios speed constant for a baud rate; none for a rate the terminal layer does not name
// (those are set through termios2) and for 0 (which would hang the line up).
std::optional<speed_t> speed_for(std::uint32_t baud) {
    static constexpr std::pair<std::uint32_t, speed_t> speeds[] = {
        {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
        {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
        {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
        {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
        {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
        {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
    };
    for (const auto& [rate, speed] : speeds) {
        if (rate == baud) return speed;
    }
    return std::nullopt;
}

// Raw 8N1 without flow control, at `speed`; without one the speed is left for set_any_speed.
std::expected<void, std::string> configure(int fd, std::optional<speed_t> speed) {
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) return std::unexpected(errno_text(errno));
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (speed && (::cfsetispeed(&tio, *speed) != 0 || ::cfsetospeed(&tio, *speed) != 0)) {
        return std::unexpected(errno_text(errno));
    }
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) return std::unexpected(errno_text(errno));
    return {};
}

// Waits for `events` until `deadline`. Returns the events that occurred, 0 when time ran out.
std::expected<short, std::string> wait_for(int fd, short events, const Deadline& deadline) {
    auto ready = wait_fd(fd, events, deadline);
    if (!ready) return std::unexpected(errno_text(ready.error()));
    return *ready;
}

// Bytes written but not yet transmitted; 0 where the device keeps no such count.
int output_queued(int fd) {
    int queued = 0;
    return ::ioctl(fd, TIOCOUTQ, &queued) == 0 ? queued : 0;
}

}  // namespace

std::expected<int, std::string> open_raw(const std::string& path, std::uint32_t baud) {
    if (baud == 0) return std::unexpected(std::string("unsupported baud rate 0"));
    const auto speed = speed_for(baud);

    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::unexpected(errno_text(errno));

    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        close(fd);
        return std::unexpected(errno_text(error));
    }
    if (!S_ISCHR(info.st_mode) || !::isatty(fd)) {
        close(fd);
        return std::unexpected("not a terminal device");
    }
    if (auto configured = configure(fd, speed); !configured) {
        close(fd);
        return std::unexpected(std::move(configured.error()));
    }
    if (!speed) {
        if (auto set = set_any_speed(fd, baud); !set) {
            close(fd);
            return std::unexpected(errno_text(set.error()));  // a rate the driver refuses
        }
    }
    return fd;
}

void close(int fd) noexcept {
    if (fd >= 0) ::close(fd);
}

std::expected<void, std::string> write_all(int fd, std::span<const std::uint8_t> bytes,
                                           std::chrono::milliseconds stall) {
    // Progress is a byte taken by write() or a shrinking output queue; a slow line that keeps
    // moving is waited for, however long the whole write takes.
    auto last_progress = Clock::now();
    int last_queued = output_queued(fd);
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written > 0) {
            bytes = bytes.subspan(static_cast<std::size_t>(written));
            last_progress = Clock::now();
            last_queued = output_queued(fd);
            continue;
        }
        if (written < 0 && errno == EINTR) continue;
        if (written < 0 && errno != EAGAIN) return std::unexpected(errno_text(errno));

        const auto events = wait_for(fd, POLLOUT, Deadline::after(stall, last_progress));
        if (!events) return std::unexpected(events.error());
        if (*events != 0) continue;  // room, or an error the next write() reports
        if (const int queued = output_queued(fd); queued < last_queued) {
            last_progress = Clock::now();
            last_queued = queued;
            continue;
        }
        return std::unexpected("timed out: the device took no byte for " + std::to_string(stall.count()) + " ms");
    }
    return {};
}

std::expected<void, std::string> drain(int fd) {
    while (::tcdrain(fd) != 0) {
        if (errno != EINTR) return std::unexpected(errno_text(errno));
    }
    return {};
}

std::expected<std::vector<std::uint8_t>, std::string> read_some(int fd, std::size_t max_len,
                                                                std::chrono::milliseconds wait) {
    const auto deadline = Deadline::after(wait);
    std::vector<std::uint8_t> buffer(max_len);
    for (;;) {
        const auto events = wait_for(fd, POLLIN, deadline);
        if (!events) return std::unexpected(events.error());
        if (*events == 0) return std::vector<std::uint8_t>{};

        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got > 0) {
            buffer.resize(static_cast<std::size_t>(got));
            return buffer;
        }
        if (got == 0) return std::unexpected("the device hung up");
        if (errno != EAGAIN && errno != EINTR) return std::unexpected(errno_text(errno));
    }
}

}  // namespace pvo_device::tty
