#include "pvo-driver-dymo/d1.hpp"

#include <gtest/gtest.h>

#include <string>

using namespace pvo_driver_dymo;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes repeat(const Bytes& part, std::size_t times) {
    Bytes out;
    for (std::size_t i = 0; i < times; ++i) out.insert(out.end(), part.begin(), part.end());
    return out;
}

// Where the walk of the whole job finds raster lines.
std::vector<std::size_t> line_starts(const Bytes& job) {
    std::vector<std::size_t> out;
    walk_d1_job(job, 0, [&](const D1Element& e) {
        if (e.kind == D1Element::Kind::Line) out.push_back(e.position);
    });
    return out;
}

std::vector<std::size_t> chunk_sizes(const std::vector<D1Chunk>& chunks) {
    std::vector<std::size_t> sizes;
    for (const auto& c : chunks) sizes.push_back(c.bytes.size());
    return sizes;
}

}  // namespace

TEST(D1Normalize, MovesEscABehindFollowingEscE) {
    struct Case {
        const char* name;
        Bytes job;
        Bytes normalized;
    };
    const Case cases[] = {
        {"one pair", {0x1B, 'A', 0x1B, 'E'}, {0x1B, 'E', 0x1B, 'A'}},
        {"behind a run of ESC E", {0x1B, 'A', 0x1B, 'E', 0x1B, 'E'}, {0x1B, 'E', 0x1B, 'E', 0x1B, 'A'}},
        {"the second ESC A of two moves", {0x1B, 'A', 0x1B, 'A', 0x1B, 'E'}, {0x1B, 'A', 0x1B, 'E', 0x1B, 'A'}},
        {"not adjacent", {0x1B, 'A', 0x00, 0x1B, 'E'}, {0x1B, 'A', 0x00, 0x1B, 'E'}},
        {"ESC E before ESC A stays", {0x1B, 'E', 0x1B, 'A'}, {0x1B, 'E', 0x1B, 'A'}},
        {"inside a raster line: data, not commands",
         {0x1B, 'D', 0x04, 0x16, 0x1B, 'A', 0x1B, 'E'},
         {0x1B, 'D', 0x04, 0x16, 0x1B, 'A', 0x1B, 'E'}},
        {"after the raster line",
         {0x1B, 'D', 0x01, 0x16, 0x1B, 0x1B, 'A', 0x1B, 'E'},
         {0x1B, 'D', 0x01, 0x16, 0x1B, 0x1B, 'E', 0x1B, 'A'}},
        {"ESC at the end", {0x1B, 'A', 0x1B}, {0x1B, 'A', 0x1B}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(normalize_d1_job(c.job), c.normalized);
    }
}

TEST(D1StatusRequests, CountsEscAFoundByTheWalk) {
    struct Case {
        const char* name;
        Bytes chunk;
        std::uint8_t line_length;
        std::size_t requests;
    };
    const Case cases[] = {
        {"two", {0x1B, 'A', 0x16, 0x1B, 'A'}, 0, 2},
        {"ESC A inside a raster line is data", {0x1B, 'D', 0x03, 0x16, 0x1B, 'A', 0x00}, 0, 0},
        {"ESC A right after the line", {0x1B, 'D', 0x03, 0x16, 0x1B, 'A', 0x00, 0x1B, 'A'}, 0, 1},
        {"the line length in effect at the chunk's start", {0x16, 0x1B, 'A', 0x00, 0x1B, 'A'}, 3, 1},
        {"ESC D's parameter may be ESC", {0x1B, 'D', 0x1B, 'A'}, 0, 0},
        {"ESC C's parameter is skipped", {0x1B, 'C', 0x1B, 0x1B, 'A'}, 0, 1},
        {"a lone ESC at the end", {0x1B, 'A', 0x1B}, 0, 1},
        {"ESC D without its parameter ends the walk", {0x1B, 'A', 0x1B, 'D'}, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(count_status_requests(c.chunk, c.line_length), c.requests);
    }
}

TEST(D1Chunks, CutBeforeTheSixtyFourthLine) {
    EXPECT_EQ(chunk_sizes(split_d1_chunks(Bytes(130, 0x16))), (std::vector<std::size_t>{63, 63, 4}));
    EXPECT_EQ(chunk_sizes(split_d1_chunks(Bytes(63, 0x16))), (std::vector<std::size_t>{63}));
    EXPECT_EQ(chunk_sizes(split_d1_chunks(Bytes(64, 0x16))), (std::vector<std::size_t>{63, 1}));
    // Bytes before the first line belong to the first chunk.
    EXPECT_EQ(chunk_sizes(split_d1_chunks(cat({{0x1B, 'A'}, Bytes(64, 0x16)}))), (std::vector<std::size_t>{65, 1}));
    EXPECT_EQ(chunk_sizes(split_d1_chunks(Bytes{0x1B, 'A', 0x00})), (std::vector<std::size_t>{3}));
    EXPECT_TRUE(split_d1_chunks(Bytes{}).empty());
    // A limit too small to hold a line still gives one line per chunk, never an empty chunk.
    EXPECT_EQ(chunk_sizes(split_d1_chunks(Bytes{0x00, 0x16, 0x16}, 1)), (std::vector<std::size_t>{2, 1}));
}

// Raster data holding 16 hex: chunks still hold 63 whole lines each, every cut falls on a
// line start, each chunk carries the line length its lines are read with, and the status
// requests of the chunks add up to those of the job.
TEST(D1Chunks, RasterDataHoldingSynNeverMovesACut) {
    const Bytes line{0x16, 0x16, 0x1B, 'A', 0x16};  // a line whose data looks like SYN ESC A SYN
    const Bytes job = cat({{0x1B, 'D', 0x16, 0x1B, 'D', 0x04, 0x1B, 'A'}, repeat(line, 130), {0x1B, 'A', 0x1B, 'E'}});

    const auto chunks = split_d1_chunks(job);

    ASSERT_EQ(chunks.size(), 3u);
    Bytes joined;
    std::size_t requests = 0;
    for (const auto& chunk : chunks) {
        joined.insert(joined.end(), chunk.bytes.begin(), chunk.bytes.end());
        requests += count_status_requests(chunk.bytes, chunk.line_length);
    }
    EXPECT_EQ(joined, job);
    EXPECT_EQ(requests, 2u);
    EXPECT_EQ(requests, count_status_requests(job));

    const auto lines = line_starts(job);
    ASSERT_EQ(lines.size(), 130u);
    EXPECT_EQ(chunk_sizes(chunks), (std::vector<std::size_t>{8 + 63 * 5, 63 * 5, 4 * 5 + 4}));
    EXPECT_EQ(chunks[0].line_length, 0);
    for (std::size_t i = 1; i < chunks.size(); ++i) {
        EXPECT_EQ(chunks[i].bytes.front(), 0x16);
        EXPECT_EQ(chunks[i].line_length, 4) << i;
        EXPECT_EQ(count_status_requests(chunks[i].bytes, chunks[i].line_length), i == 2 ? 1u : 0u);
    }
}
