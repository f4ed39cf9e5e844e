#pragma once
// The reply rule every device read shares: wait up to the read's limit for the first bytes,
// then keep collecting while more follow within the gap, until `max_len` bytes are in. The limit
// bounds the whole read, so a device that never pauses cannot hold it past the limit, and one
// that keeps sending is cut off at `max_len`.
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
    Empty,     // the device answered with no bytes (or ended its side)
};

// Appends what arrives within `wait` to `out`; `want` is how many bytes are still missing
// (a road may ask the device for more so that nothing it sends is cut).
using ReadChunk = std::function<std::expected<ChunkEnd, DeviceError>(std::vector<std::uint8_t>& out,
                                                                     std::chrono::milliseconds wait, std::size_t want)>;

struct Gathered {
    std::vector<std::uint8_t> bytes;
    ChunkEnd last = ChunkEnd::TimedOut;  // how the last wait ended
};

// The reply by the rule above; no bytes when `max_len` is 0 (without reading) or when nothing
// came. A failed chunk read ends it with that error.
std::expected<Gathered, DeviceError> gather_reply(std::size_t max_len, std::chrono::milliseconds limit,
                                                  std::chrono::milliseconds gap, const ReadChunk& read_chunk);

// The texts of a USB read that got no bytes at all, by how its last wait ended.
struct NoReplyTexts {
    std::string timed_out;
    std::string empty;
};

// A USB reply: the rule above with the read time-out and gap of `timings`, where no bytes at
// all is an error.
std::expected<std::vector<std::uint8_t>, DeviceError> collect_reply(std::size_t max_len, const UsbTimings& timings,
                                                                    const NoReplyTexts& texts,
                                                                    const ReadChunk& read_chunk);

}  // namespace pvo_device
