#pragma once
// A pseudo-terminal pair standing in for a serial device: the agent opens `path()` like any
// serial port, and the test plays the device on the other side.
#include <fcntl.h>
#include <pty.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace pvo_device::test {

class PtyDevice {
public:
    PtyDevice() {
        termios raw{};
        ::cfmakeraw(&raw);
        char name[256] = {};
        if (::openpty(&device_, &port_, name, &raw, nullptr) != 0) throw std::runtime_error("openpty failed");
        path_ = name;
    }
    ~PtyDevice() {
        hang_up();
        ::close(port_);
    }
    PtyDevice(const PtyDevice&) = delete;
    PtyDevice& operator=(const PtyDevice&) = delete;

    const std::string& path() const { return path_; }

    void send(std::span<const std::uint8_t> bytes) {
        while (!bytes.empty()) {
            const ssize_t n = ::write(device_, bytes.data(), bytes.size());
            if (n <= 0) throw std::runtime_error("device write failed");
            bytes = bytes.subspan(static_cast<std::size_t>(n));
        }
    }
    void send(std::string_view text) {
        send(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    }

    // Reads until `count` bytes have arrived or the line stays quiet for `quiet_ms`.
    std::vector<std::uint8_t> receive(std::size_t count, int quiet_ms = 5000) {
        std::vector<std::uint8_t> got;
        std::uint8_t chunk[4096];
        while (got.size() < count) {
            pollfd entry{device_, POLLIN, 0};
            if (::poll(&entry, 1, quiet_ms) <= 0) break;
            const ssize_t n = ::read(device_, chunk, sizeof chunk);
            if (n <= 0) break;
            got.insert(got.end(), chunk, chunk + n);
        }
        return got;
    }

    // The device's end, for a test that plays the device from another thread.
    int device_fd() const { return device_; }

    // The device goes away: the agent's side of the line is hung up.
    void hang_up() {
        if (device_ >= 0) ::close(device_);
        device_ = -1;
    }

private:
    int device_ = -1;  // the device's end
    int port_ = -1;    // kept open so the line exists before and after the agent opens it
    std::string path_;
};

// The byte at `position` of what a `StreamingDevice` sends.
inline std::uint8_t stream_byte(std::size_t position) { return static_cast<std::uint8_t>(position % 251); }

// A device that talks without ever pausing: from its start it keeps the line full with the
// bytes `stream_byte` gives, until it is stopped, or until `safety_net` passes so that a reader
// which never stops cannot hang the test (`gave_up()` then tells).
class StreamingDevice {
public:
    explicit StreamingDevice(PtyDevice& pty, std::chrono::milliseconds safety_net = std::chrono::seconds(5))
        : thread_([this, fd = pty.device_fd(), safety_net] { run(fd, safety_net); }) {
        while (sent_.load() == 0) std::this_thread::yield();  // the line holds bytes from here on
    }
    ~StreamingDevice() { stop(); }
    StreamingDevice(const StreamingDevice&) = delete;
    StreamingDevice& operator=(const StreamingDevice&) = delete;

    void stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    bool gave_up() const { return gave_up_; }

private:
    void run(int fd, std::chrono::milliseconds safety_net) {
        // Non-blocking, so that a full line never keeps the device from seeing `stop`.
        const int flags = ::fcntl(fd, F_GETFL);
        ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
        const auto until = std::chrono::steady_clock::now() + safety_net;
        std::uint8_t chunk[4096];
        std::size_t position = 0;
        while (!stop_) {
            if (std::chrono::steady_clock::now() > until) {
                gave_up_ = true;
                break;
            }
            pollfd entry{fd, POLLOUT, 0};
            if (::poll(&entry, 1, 10) <= 0) continue;
            for (std::size_t i = 0; i < sizeof chunk; ++i) chunk[i] = stream_byte(position + i);
            const ssize_t n = ::write(fd, chunk, sizeof chunk);
            if (n < 0 && errno != EAGAIN && errno != EINTR) break;
            if (n <= 0) continue;
            position += static_cast<std::size_t>(n);
            sent_ = position;
        }
        ::fcntl(fd, F_SETFL, flags);
    }

    std::atomic<bool> stop_{false};
    std::atomic<bool> gave_up_{false};
    std::atomic<std::size_t> sent_{0};
    std::thread thread_;
};

}  // namespace pvo_device::test
