// Writing to and reading from a printer-class node with deadlines.
//
// The node is non-blocking: usblp then queues one chunk per write() and returns, and reports
// POLLOUT again once that chunk has left, and POLLIN once a read transfer has completed. A
// time-out leaves the queued transfer to the driver, which cancels it when the node is closed.
#include "usbprint.hpp"

#include <poll.h>

#include <algorithm>
#include <cerrno>

#include "deadline.hpp"
#include "pvo-util/posix_io.hpp"
#include "reply.hpp"

namespace pvo_device {
namespace {

using std::chrono::milliseconds;

constexpr std::size_t kReadChunk = 4096;
constexpr const char* kNoStatus = "bulk in: printer returned no status bytes";

DeviceError poll_failed(int err) { return DeviceError::transport("poll(USBPRINT I/O)" + os_error_suffix(err)); }

// True when the node is ready for `events`, false when `wait` ran out.
std::expected<bool, DeviceError> wait_ready(LpNode& node, short events, milliseconds wait) {
    auto ready = node.wait(events, wait);
    if (!ready) return std::unexpected(poll_failed(ready.error()));
    return *ready;
}

}  // namespace

std::string os_error_suffix(int err) { return " (" + pvo_util::errno_text(err) + ")"; }

std::expected<std::size_t, DeviceError> usbprint_write_once(LpNode& node, std::span<const std::uint8_t> bytes,
                                                            milliseconds timeout) {
    const auto deadline = Deadline::after(timeout);
    const auto timed_out = [] { return DeviceError::transport("USBPRINT write timed out"); };
    milliseconds wait = timeout;
    for (;;) {
        auto ready = wait_ready(node, POLLOUT, wait);
        if (!ready) return std::unexpected(std::move(ready.error()));
        if (!*ready) return std::unexpected(timed_out());
        auto written = node.write_some(bytes);
        if (!written && written.error() == EAGAIN) {
            if (deadline.passed()) return std::unexpected(timed_out());
            wait = deadline.left();
            continue;
        }
        if (!written)
            return std::unexpected(DeviceError::transport("USBPRINT write" + os_error_suffix(written.error())));
        // The call is done when what was queued has gone out to the printer.
        auto done = wait_ready(node, POLLOUT, deadline.left());
        if (!done) return std::unexpected(std::move(done.error()));
        if (!*done) return std::unexpected(timed_out());
        return *written;
    }
}

std::expected<void, DeviceError> usbprint_write(LpNode& node, std::span<const std::uint8_t> bytes,
                                                milliseconds timeout_per_call) {
    while (!bytes.empty()) {
        auto written = usbprint_write_once(node, bytes, timeout_per_call);
        if (!written) return std::unexpected(std::move(written.error()));
        if (*written == 0) return std::unexpected(DeviceError::transport("USBPRINT write returned 0 bytes"));
        bytes = bytes.subspan(std::min(*written, bytes.size()));
    }
    return {};
}

std::expected<std::vector<std::uint8_t>, DeviceError> usbprint_read(LpNode& node, std::size_t max_len,
                                                                    const UsbTimings& timings) {
    const auto read_chunk = [&node](std::vector<std::uint8_t>& out, milliseconds wait,
                                    std::size_t want) -> std::expected<ChunkEnd, DeviceError> {
        const auto deadline = Deadline::after(wait);
        std::vector<std::uint8_t> buffer(std::max(want, kReadChunk));
        for (;;) {
            auto ready = wait_ready(node, POLLIN, wait);
            if (!ready) return std::unexpected(std::move(ready.error()));
            if (!*ready) return ChunkEnd::TimedOut;
            auto got = node.read_some(buffer);
            if (!got && got.error() == EAGAIN) {
                if (deadline.passed()) return ChunkEnd::TimedOut;
                wait = deadline.left();
                continue;
            }
            if (!got) return std::unexpected(DeviceError::transport("USBPRINT read" + os_error_suffix(got.error())));
            if (*got == 0) return ChunkEnd::Empty;
            out.insert(out.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(*got));
            return ChunkEnd::Bytes;
        }
    };
    return collect_reply(max_len, timings, {kNoStatus, kNoStatus}, read_chunk);
}

}  // namespace pvo_device
