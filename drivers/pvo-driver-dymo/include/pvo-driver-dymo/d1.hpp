#pragma once
// D1 tape-printer jobs: a byte stream of ESC commands and raster lines, each line a SYN byte
// followed by as many data bytes as the last ESC D set. These helpers reorder the one command
// pair the printer needs the other way round, cut a job into chunks of whole raster lines and
// count the status requests (ESC A) a chunk holds.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace pvo_driver_dymo {

inline constexpr std::uint8_t d1_syn = 0x16;
inline constexpr std::uint8_t d1_esc = 0x1B;

// A chunk holds at most this many raster lines less one: the line that would reach the limit
// starts the next chunk.
inline constexpr std::size_t d1_chunk_line_limit = 64;

// One element of a job found by the command walk.
struct D1Element {
    enum class Kind : std::uint8_t { Command, Line };
    Kind kind;
    // Where the ESC or the SYN stands.
    std::size_t position;
    // Line: its data length. Command: its letter.
    std::uint8_t value;
};

// Walks the job from its start and calls `visit` with each element in order. ESC B, C and D
// take one parameter byte (ESC D's sets the line length), every other ESC command none; a SYN
// is followed by one raster line; any other byte is skipped. A command whose parameter is
// missing ends the walk after it is visited. `line_length` is the one in effect at the start.
template <typename Visit>
void walk_d1_job(std::span<const std::uint8_t> job, std::uint8_t line_length, Visit&& visit) {
    std::size_t p = 0;
    while (p < job.size()) {
        const std::uint8_t byte = job[p];
        if (byte == d1_syn) {
            visit(D1Element{D1Element::Kind::Line, p, line_length});
            p += 1 + std::size_t{line_length};
        } else if (byte == d1_esc) {
            if (p + 1 >= job.size()) return;
            const std::uint8_t letter = job[p + 1];
            visit(D1Element{D1Element::Kind::Command, p, letter});
            if (letter == 'B' || letter == 'C' || letter == 'D') {
                if (p + 2 >= job.size()) return;
                if (letter == 'D') line_length = job[p + 2];
                p += 3;
            } else {
                p += 2;
            }
        } else {
            ++p;
        }
    }
}

// A copy of the job in which every ESC A directly followed by ESC E is moved behind it; a swap
// is seen by the next pair, so ESC A moves behind a whole run of ESC E. Only letters change.
std::vector<std::uint8_t> normalize_d1_job(std::span<const std::uint8_t> job);

struct D1Chunk {
    std::vector<std::uint8_t> bytes;
    // The line length in effect where the chunk starts: its lines are read with it.
    std::uint8_t line_length = 0;
    bool operator==(const D1Chunk&) const = default;
};

// Cuts the job into chunks of fewer than `line_limit` raster lines each (a limit below 2 gives
// one line per chunk). A chunk ends only right before a SYN that starts a raster line, so a cut
// never falls inside a line's data, where the byte 16 hex may stand too, nor inside an ESC
// parameter. The chunks are never empty and together are the job; an empty job gives none.
std::vector<D1Chunk> split_d1_chunks(std::span<const std::uint8_t> job, std::size_t line_limit = d1_chunk_line_limit);

// The number of ESC A commands in a chunk, walked with the line length in effect at its start
// (its `D1Chunk::line_length`), so raster data is never taken for a command.
std::size_t count_status_requests(std::span<const std::uint8_t> chunk, std::uint8_t line_length = 0);

}  // namespace pvo_driver_dymo
