#include "lw550_job.hpp"

#include <cstdio>
#include <limits>

namespace pvo_client_delivery {
namespace {

constexpr std::uint8_t esc = 0x1B;

// ESC s and its four parameter bytes open every job.
constexpr std::size_t start_length = 6;

std::string expected_command(char letter, std::size_t offset) {
    return std::string("expected ESC ") + letter + " at offset " + std::to_string(offset);
}

std::uint32_t le32(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
           (static_cast<std::uint32_t>(b[at + 2]) << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> job) : job_(job) {}

    // Bytes from `at` to the end; none once a command has stepped past the end.
    std::size_t left(std::size_t at) const { return at < job_.size() ? job_.size() - at : 0; }
    bool command_at(std::size_t at, std::uint8_t letter) const {
        return left(at) >= 2 && job_[at] == esc && job_[at + 1] == letter;
    }
    std::uint8_t operator[](std::size_t at) const { return job_[at]; }
    std::vector<std::uint8_t> bytes(std::size_t from, std::size_t to) const {
        return {job_.begin() + static_cast<std::ptrdiff_t>(from), job_.begin() + static_cast<std::ptrdiff_t>(to)};
    }
    std::span<const std::uint8_t> span() const { return job_; }
    std::size_t size() const { return job_.size(); }

private:
    std::span<const std::uint8_t> job_;
};

// The header commands after ESC s (ESC C n and ESC T n, ESC L with four parameter bytes, ESC e,
// ESC h and ESC i): where the first label starts, or why the job is refused.
std::expected<std::size_t, std::string> skip_header(const Reader& job) {
    std::size_t at = start_length;
    while (job.left(at) >= 2 && job[at] == esc) {
        const std::uint8_t letter = job[at + 1];
        switch (letter) {
            case 'C':
            case 'T':
                at += 3;
                break;
            case 'L':
                at += 6;
                break;
            case 'e':
            case 'h':
            case 'i':
                at += 2;
                break;
            case 'D':
            case 'n':
                return at;
            case 'Q':
                return std::unexpected("job missing label data");
            default: {
                char hex[5];
                std::snprintf(hex, sizeof hex, "0x%02x", letter);
                return std::unexpected(std::string("unexpected header command ESC ") + hex);
            }
        }
    }
    return at;
}

// The label starting with ESC n at `at`: where it ends (after its ESC G), or why it is refused.
std::expected<std::size_t, std::string> label_end(const Reader& job, std::size_t at) {
    // ESC n nn, ESC D nn, then the raster's two dimensions.
    if (!job.command_at(at + 4, 'D')) return std::unexpected(expected_command('D', at + 4));
    const std::size_t raster = at + 16;
    if (job.left(at) < 16) return std::unexpected("field truncated");
    const std::uint64_t a = le32(job.span(), at + 8);
    const std::uint64_t b = le32(job.span(), at + 12);
    const std::uint64_t length = a * ((b + 7) / 8);
    if (length > std::numeric_limits<std::uint32_t>::max()) {
        return std::unexpected("label data length overflow");
    }
    if (job.left(raster) < length) return std::unexpected("label data truncated");
    const std::size_t end = raster + static_cast<std::size_t>(length);
    if (!job.command_at(end, 'G')) return std::unexpected(expected_command('G', end));
    return end + 2;
}

}  // namespace

std::expected<Lw550Job, std::string> parse_lw550_job(std::span<const std::uint8_t> bytes) {
    const Reader job(bytes);
    if (!job.command_at(0, 's')) return std::unexpected(expected_command('s', 0));
    const auto header_end = skip_header(job);
    if (!header_end) return std::unexpected(header_end.error());

    Lw550Job out;
    std::size_t at = *header_end;
    for (;;) {
        if (job.left(at) < 2) {
            if (out.labels.empty()) return std::unexpected("job missing label data");
            return std::unexpected(expected_command('E', at));
        }
        if (job[at] != esc) return std::unexpected(expected_command('n', at));
        switch (job[at + 1]) {
            case 'E': {
                if (out.labels.empty()) return std::unexpected("job missing label data");
                if (!job.command_at(at + 2, 'Q')) {
                    return std::unexpected(expected_command('Q', at + 2));
                }
                const std::size_t trailing = job.left(at + 4);
                if (trailing != 0) {
                    return std::unexpected(std::to_string(trailing) + " trailing bytes after ESC Q");
                }
                out.preamble = job.bytes(0, *header_end);
                out.trailer = job.bytes(at, job.size());
                return out;
            }
            case 'Q':
                return std::unexpected("job missing ESC E before ESC Q");
            case 'n': {
                const auto end = label_end(job, at);
                if (!end) return std::unexpected(end.error());
                out.labels.push_back(job.bytes(at, *end));
                at = *end;
                break;
            }
            default:
                return std::unexpected(expected_command('n', at));
        }
    }
}

}  // namespace pvo_client_delivery
