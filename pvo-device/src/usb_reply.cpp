#include "usb_reply.hpp"

#include <algorithm>

#include "deadline.hpp"

namespace pvo_device {

std::expected<std::vector<std::uint8_t>, DeviceError> collect_reply(std::size_t max_len,
                                                                    const UsbTimings& timings,
                                                                    const NoReplyTexts& texts,
                                                                    const ReadChunk& read_chunk) {
    using std::chrono::milliseconds;
    std::vector<std::uint8_t> out;
    if (max_len == 0) return out;

    const auto deadline = Deadline::after(timings.read_timeout);
    while (out.size() < max_len) {
        const auto left = deadline.left();
        // The first bytes may take the whole time-out; after them only a short pause is
        // allowed, so a reply shorter than asked comes back soon after its last byte.
        milliseconds wait = left;
        if (!out.empty()) {
            wait = std::min(timings.read_gap, left);
            if (wait <= milliseconds{0}) break;
        }
        auto end = read_chunk(out, wait, max_len - out.size());
        if (!end) return std::unexpected(std::move(end.error()));
        if (*end == ChunkEnd::Bytes) continue;
        if (out.empty()) {
            return std::unexpected(DeviceError::transport(*end == ChunkEnd::TimedOut ? texts.timed_out
                                                                                     : texts.empty));
        }
        break;
    }
    return out;
}

}  // namespace pvo_device
