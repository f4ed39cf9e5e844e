#pragma once
// The reply rule both USB roads share: wait for the first bytes up to the read time-out, then
// keep collecting until `max_len` bytes are in or the device pauses for the read gap.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <functional>
#include <string>
#include <vector>

#include "pvo-device/device_error.hpp"
#include "pvo-device/usb.hpp"

namespace pvo_device {

// How one wait for more bytes ended.
enum class ChunkEnd : std::uint8_t {
    Bytes,     // some bytes were appended
    TimedOut,  // nothing arrived within the wait
    Empty,     // the device answered with no bytes
};

// Appends what arrives within `wait` to `out`; `want` is how many bytes are still missing
// (a road may ask the device for more so that nothing it sends is cut).
using ReadChunk = std::function<std::expected<ChunkEnd, DeviceError>(
    std::vector<std::uint8_t>& out, std::chrono::milliseconds wait, std::size_t want)>;

// The texts of a read that got no bytes at all, by how its last wait ended.
struct NoReplyTexts {
    std::string timed_out;
    std::string empty;
};

std::expected<std::vector<std::uint8_t>, DeviceError> collect_reply(std::size_t max_len,
                                                                    const UsbTimings& timings,
                                                                    const NoReplyTexts& texts,
                                                                    const ReadChunk& read_chunk);

}  // namespace pvo_device
