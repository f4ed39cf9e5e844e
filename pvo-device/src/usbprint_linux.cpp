#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <utility>

#include "usbprint_node.hpp"

namespace pvo_device {
namespace {

int poll_timeout(std::chrono::milliseconds timeout) {
    if (timeout <= std::chrono::milliseconds{0}) return 1;
    if (timeout.count() >= INT_MAX) return -1;  // no limit
    return static_cast<int>(timeout.count());
}

}  // namespace

std::expected<LpNode, int> LpNode::open(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return std::unexpected(errno);
    return LpNode(fd);
}

LpNode::LpNode(LpNode&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

LpNode& LpNode::operator=(LpNode&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

LpNode::~LpNode() {
    if (fd_ >= 0) ::close(fd_);
}

std::expected<bool, int> LpNode::wait(short events, std::chrono::milliseconds timeout) {
    using Clock = std::chrono::steady_clock;
    const int limit = poll_timeout(timeout);
    const auto deadline = Clock::now() + std::chrono::milliseconds(limit);
    int left = limit;
    for (;;) {
        pollfd p{fd_, events, 0};
        const int n = ::poll(&p, 1, left);
        if (n > 0) return true;
        if (n == 0) return false;
        if (errno != EINTR) return std::unexpected(errno);
        if (limit >= 0) {
            const auto rest = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            if (rest.count() <= 0) return false;
            left = static_cast<int>(rest.count());
        }
    }
}

std::expected<std::size_t, int> LpNode::write_some(std::span<const std::uint8_t> bytes) {
    for (;;) {
        const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno != EINTR) return std::unexpected(errno);
    }
}

std::expected<std::size_t, int> LpNode::read_some(std::span<std::uint8_t> buffer) {
    for (;;) {
        const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno != EINTR) return std::unexpected(errno);
    }
}

}  // namespace pvo_device
