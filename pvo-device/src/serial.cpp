// The serial target: open on first use, write then drain, read a reply by the shared reply rule.
#include "pvo-device/serial.hpp"

#include <utility>

#include "reply.hpp"
#include "tty.hpp"

namespace pvo_device {
namespace {

constexpr std::size_t kReadChunk = 256;

std::unexpected<DeviceError> failure(std::string_view prefix, const std::string& reason) {
    return std::unexpected(DeviceError::transport(std::string(prefix) + reason));
}

}  // namespace

struct SerialPortAccess {
    // The open port, opening it now if it is not open yet. A failed open leaves the target
    // closed so that the next operation tries again.
    static std::expected<int, DeviceError> port(SerialTarget& target) {
        if (!target.is_open()) {
            auto fd = tty::open_raw(target.path, target.baud);
            if (!fd) return failure("open serial " + target.path + ": ", fd.error());
            target.fd_ = *fd;
        }
        return target.fd_;
    }
};

SerialTarget::SerialTarget(std::string path, std::uint32_t baud, SerialTimings timings)
    : path(std::move(path)), baud(baud), timings(timings) {}

SerialTarget::SerialTarget(SerialTarget&& other) noexcept
    : path(std::move(other.path)), baud(other.baud), timings(other.timings), fd_(std::exchange(other.fd_, -1)) {}

SerialTarget& SerialTarget::operator=(SerialTarget&& other) noexcept {
    if (this != &other) {
        close();
        path = std::move(other.path);
        baud = other.baud;
        timings = other.timings;
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

SerialTarget::~SerialTarget() { close(); }

void SerialTarget::close() noexcept { tty::close(std::exchange(fd_, -1)); }

std::expected<void, DeviceError> serial_write(SerialTarget& target, std::span<const std::uint8_t> bytes) {
    const auto fd = SerialPortAccess::port(target);
    if (!fd) return std::unexpected(fd.error());
    if (auto written = tty::write_all(*fd, bytes, target.timings.write_stall); !written) {
        return failure("serial write: ", written.error());
    }
    if (auto drained = tty::drain(*fd); !drained) return failure("serial flush: ", drained.error());
    return {};
}

std::expected<std::vector<std::uint8_t>, DeviceError> serial_read(SerialTarget& target, std::size_t max_len,
                                                                  std::chrono::milliseconds limit) {
    const auto fd = SerialPortAccess::port(target);
    if (!fd) return std::unexpected(fd.error());
    // Whole chunks, as the USB roads keep whole packets: a packet that arrived in one piece is
    // not cut where the caller's length falls (a NIIMBOT print-status packet is 11 bytes, its
    // poll asks for 8). Only the chunk that completes the length can run past it.
    const auto read_chunk = [fd = *fd](std::vector<std::uint8_t>& out, std::chrono::milliseconds wait,
                                       std::size_t) -> std::expected<ChunkEnd, DeviceError> {
        auto chunk = tty::read_some(fd, kReadChunk, wait);
        if (!chunk) return failure("serial read: ", chunk.error());
        if (chunk->empty()) return ChunkEnd::TimedOut;
        out.insert(out.end(), chunk->begin(), chunk->end());
        return ChunkEnd::Bytes;
    };
    auto reply = gather_reply(max_len, limit, target.timings.read_gap, read_chunk);
    if (!reply) return std::unexpected(std::move(reply.error()));
    return std::move(reply->bytes);
}

}  // namespace pvo_device
