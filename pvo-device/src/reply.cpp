#include "reply.hpp"

#include <algorithm>

#include "deadline.hpp"

namespace pvo_device {

using std::chrono::milliseconds;

std::expected<Gathered, DeviceError> gather_reply(std::size_t max_len, milliseconds limit, milliseconds gap,
                                                  const ReadChunk& read_chunk) {
    Gathered got;
    if (max_len == 0) return got;

    const auto deadline = Deadline::after(limit);
    while (got.bytes.size() < max_len) {
        const auto left = deadline.left();
        // The first bytes may take the whole limit; after them only a short pause is allowed,
        // so a reply shorter than asked comes back soon after its last byte.
        milliseconds wait = left;
        if (!got.bytes.empty()) {
            wait = std::min(gap, left);
            if (wait <= milliseconds{0}) break;
        }
        auto end = read_chunk(got.bytes, wait, max_len - got.bytes.size());
        if (!end) return std::unexpected(std::move(end.error()));
        got.last = *end;
        if (*end != ChunkEnd::Bytes) break;
    }
    return got;
}

std::expected<std::vector<std::uint8_t>, DeviceError> collect_reply(std::size_t max_len, const UsbTimings& timings,
                                                                    const NoReplyTexts& texts,
                                                                    const ReadChunk& read_chunk) {
    auto got = gather_reply(max_len, timings.read_timeout, timings.read_gap, read_chunk);
    if (!got) return std::unexpected(std::move(got.error()));
    if (got->bytes.empty() && max_len != 0) {
        return std::unexpected(DeviceError::transport(got->last == ChunkEnd::TimedOut ? texts.timed_out : texts.empty));
    }
    return std::move(got->bytes);
}

}  // namespace pvo_device
