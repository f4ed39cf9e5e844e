#pragma once
// The one place the printer-class road touches the OS: a /dev/usb/lpN node opened for
// non-blocking I/O, waited on with poll(). Failures carry the errno value.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <span>

namespace pvo_device {

class LpNode {
public:
    // Opens read-write, non-blocking, close-on-exec.
    static std::expected<LpNode, int> open(const std::filesystem::path& path);

    LpNode(LpNode&& other) noexcept;
    LpNode& operator=(LpNode&& other) noexcept;
    LpNode(const LpNode&) = delete;
    LpNode& operator=(const LpNode&) = delete;
    ~LpNode();

    // Waits until the node is ready for `events` (POLLIN, POLLOUT), at most `timeout`
    // (zero waits 1 ms, as a zero wait would never see a pending transfer finish). False
    // when the time ran out. A hang-up or error condition counts as ready: the following
    // read or write reports it.
    std::expected<bool, int> wait(short events, std::chrono::milliseconds timeout);
    // One non-blocking write or read; EAGAIN is returned as an error like any other.
    std::expected<std::size_t, int> write_some(std::span<const std::uint8_t> bytes);
    std::expected<std::size_t, int> read_some(std::span<std::uint8_t> buffer);

private:
    explicit LpNode(int fd) noexcept : fd_(fd) {}
    int fd_ = -1;
};

}  // namespace pvo_device
