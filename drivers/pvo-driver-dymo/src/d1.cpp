#include "pvo-driver-dymo/d1.hpp"

#include <utility>

namespace pvo_driver_dymo {

std::vector<std::uint8_t> normalize_d1_job(std::span<const std::uint8_t> job) {
    std::vector<std::uint8_t> out(job.begin(), job.end());
    std::vector<std::size_t> commands;
    walk_d1_job(job, 0, [&](const D1Element& e) {
        if (e.kind == D1Element::Kind::Command) commands.push_back(e.position);
    });
    // Swapping the letters of two 2-byte commands moves no command, so the positions found
    // above stay valid; each pair looks at the letters as earlier swaps left them.
    for (std::size_t i = 0; i + 1 < commands.size(); ++i) {
        const std::size_t p = commands[i];
        const std::size_t q = commands[i + 1];
        if (q == p + 2 && out[p + 1] == 'A' && out[q + 1] == 'E') std::swap(out[p + 1], out[q + 1]);
    }
    return out;
}

std::vector<D1Chunk> split_d1_chunks(std::span<const std::uint8_t> job, std::size_t line_limit) {
    std::vector<D1Chunk> chunks;
    std::size_t start = 0;
    std::uint8_t start_line_length = 0;
    std::size_t lines = 0;  // raster lines in the chunk so far
    walk_d1_job(job, 0, [&](const D1Element& e) {
        if (e.kind != D1Element::Kind::Line) return;
        if (lines > 0 && lines + 1 >= line_limit) {
            chunks.push_back({{job.begin() + start, job.begin() + e.position}, start_line_length});
            start = e.position;
            start_line_length = e.value;
            lines = 0;
        }
        ++lines;
    });
    if (start < job.size()) chunks.push_back({{job.begin() + start, job.end()}, start_line_length});
    return chunks;
}

std::size_t count_status_requests(std::span<const std::uint8_t> chunk, std::uint8_t line_length) {
    std::size_t requests = 0;
    walk_d1_job(chunk, line_length, [&](const D1Element& e) {
        if (e.kind == D1Element::Kind::Command && e.value == 'A') ++requests;
    });
    return requests;
}

}  // namespace pvo_driver_dymo
