#pragma once
// A pseudo-terminal pair standing in for a serial device: the agent opens `path()` like any
// serial port, and the test plays the device on the other side.
#include <pty.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace pvo_device::testing {

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

}  // namespace pvo_device::testing
