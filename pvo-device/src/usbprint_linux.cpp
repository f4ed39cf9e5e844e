// The printer-class node's calls to the OS.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "fd_wait.hpp"
#include "usbprint_node.hpp"

namespace pvo_device {

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
    const auto limit = std::max(timeout, std::chrono::milliseconds{1});
    auto ready = wait_fd(fd_, events, Deadline::after(limit));
    if (!ready) return std::unexpected(ready.error());
    return *ready != 0;
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
