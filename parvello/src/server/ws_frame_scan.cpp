#include "server/ws_frame_scan.hpp"

#include <algorithm>

namespace parvello {

std::size_t FrameScan::header_size() const noexcept {
    const std::uint8_t length = header_[1] & 0x7f;
    const std::size_t extended = length == 126 ? 2 : length == 127 ? 8 : 0;
    const std::size_t mask = (header_[1] & 0x80) ? 4 : 0;
    return 2 + extended + mask;
}

std::uint64_t FrameScan::payload_length() const noexcept {
    const std::uint8_t length = header_[1] & 0x7f;
    if (length < 126) return length;
    const std::size_t bytes = length == 126 ? 2 : 8;
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < bytes; ++i) value = (value << 8) | header_[2 + i];  // network order
    return value;
}

std::size_t FrameScan::take(std::span<const std::uint8_t> bytes) noexcept {
    if (refused_) return 0;
    std::size_t at = 0;
    std::size_t header_start = 0;  // where the header being read began in these bytes
    while (at < bytes.size()) {
        if (payload_left_ > 0) {
            const std::size_t skipped =
                static_cast<std::size_t>(std::min<std::uint64_t>(payload_left_, bytes.size() - at));
            at += skipped;
            payload_left_ -= skipped;
            continue;
        }
        if (header_taken_ == 0) header_start = at;
        header_[header_taken_++] = bytes[at++];
        if (header_taken_ < 2 || header_taken_ < header_size()) continue;
        header_taken_ = 0;
        payload_left_ = payload_length();
        if (payload_left_ > limit_) {
            refused_ = true;
            return header_start;
        }
    }
    return bytes.size();
}

}  // namespace parvello
