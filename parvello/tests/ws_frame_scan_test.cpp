// Frames followed header by header as their bytes arrive, in chunks of any size: a frame over
// the limit is found on its header, with the bytes before it still passed on.
#include "server/ws_frame_scan.hpp"

#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

namespace parvello {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A masked text frame's header for a payload of `length` bytes, in its shortest form.
Bytes header(std::uint64_t length) {
    Bytes bytes{0x81};
    if (length < 126) {
        bytes.push_back(static_cast<std::uint8_t>(0x80 | length));
    } else if (length <= 0xffff) {
        bytes.insert(bytes.end(), {0xfe, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)});
    } else {
        bytes.push_back(0xff);
        for (int shift = 56; shift >= 0; shift -= 8) bytes.push_back(static_cast<std::uint8_t>(length >> shift));
    }
    bytes.insert(bytes.end(), {0x11, 0x22, 0x33, 0x44});
    return bytes;
}

// A whole frame: its header and `length` payload bytes that would read as a huge header.
Bytes frame(std::uint64_t length) {
    Bytes bytes = header(length);
    bytes.insert(bytes.end(), length, 0xff);
    return bytes;
}

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// The bytes cut into chunks at these offsets.
std::vector<Bytes> chunks(const Bytes& bytes, std::initializer_list<std::size_t> cuts) {
    std::vector<Bytes> out;
    std::size_t from = 0;
    for (const std::size_t cut : cuts) {
        out.emplace_back(bytes.begin() + from, bytes.begin() + cut);
        from = cut;
    }
    out.emplace_back(bytes.begin() + from, bytes.end());
    return out;
}

TEST(FrameScan, FindsTheFirstFrameOverTheLimitOnItsHeader) {
    constexpr std::uint64_t kLimit = 300;
    const Bytes small_then_big = join({frame(10), header(301)});  // 16 + 8 bytes
    struct Case {
        const char* what;
        std::vector<Bytes> chunks;
        std::vector<std::size_t> passed;  // what each chunk gives
        bool refused;
    };
    const Case cases[] = {
        {"frames up to the limit, in every length form",
         {join({frame(125), frame(126), frame(300)})},
         {131 + 134 + 308},
         false},
        {"a frame over the limit", {header(301)}, {0}, true},
        {"the bytes before it are passed", {small_then_big}, {16}, true},
        // The header's first bytes pass before the frame's length is known; the WebSocket
        // waits for the rest of it, which never comes.
        {"its header cut into pieces", chunks(small_then_big, {16, 17, 18}), {16, 1, 1, 0}, true},
        {"a payload that looks like a header is skipped",
         chunks(join({frame(200), frame(1)}), {50, 150}),
         {50, 100, 65},
         false},
        {"nothing is passed once a frame is refused", {header(5000), frame(1)}, {0, 0}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FrameScan scan(kLimit);
        std::vector<std::size_t> passed;
        for (const Bytes& chunk : c.chunks) passed.push_back(scan.take(chunk));
        EXPECT_EQ(passed, c.passed);
        EXPECT_EQ(scan.refused(), c.refused);
    }
}

TEST(FrameScan, SixteenMebibytesIsTheLastLengthTaken) {
    constexpr std::uint64_t kLimit = 16 * 1024 * 1024;
    FrameScan at_limit(kLimit);
    EXPECT_EQ(at_limit.take(header(kLimit)), 14u);
    EXPECT_FALSE(at_limit.refused());
    FrameScan over(kLimit);
    EXPECT_EQ(over.take(header(kLimit + 1)), 0u);
    EXPECT_TRUE(over.refused());
}

}  // namespace
}  // namespace parvello
