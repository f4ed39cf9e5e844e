#include "pvo-driver-niimbot/packet.hpp"

#include <stdexcept>

namespace pvo_driver_niimbot {
namespace {

constexpr std::uint8_t head = 0x55;
constexpr std::uint8_t tail = 0xAA;
// Two head bytes, the command and the length before the payload; checksum and two tail bytes
// after it.
constexpr std::size_t frame_size = 7;

struct Candidate {
    std::size_t start;
    std::size_t end;
};

// The next 55 55 head at or after `from` with its length byte inside the input, as the span its
// length gives it; none when no head remains or that span runs past the end of the input (the
// rest of the input cannot hold a whole packet).
std::optional<Candidate> next_candidate(std::span<const std::uint8_t> bytes, std::size_t from) {
    for (std::size_t p = from; p + 4 <= bytes.size(); ++p) {
        if (bytes[p] != head || bytes[p + 1] != head) continue;
        const std::size_t end = p + bytes[p + 3] + frame_size;
        if (end > bytes.size()) return std::nullopt;
        return Candidate{p, end};
    }
    return std::nullopt;
}

}  // namespace

Bytes build_packet(std::uint8_t command, std::span<const std::uint8_t> payload) {
    if (payload.size() > 0xFF) throw std::length_error("NIIMBOT payload longer than 255 bytes");
    const auto n = static_cast<std::uint8_t>(payload.size());
    Bytes packet{head, head, command, n};
    std::uint8_t checksum = command ^ n;
    for (std::uint8_t b : payload) {
        packet.push_back(b);
        checksum ^= b;
    }
    packet.insert(packet.end(), {checksum, tail, tail});
    return packet;
}

Bytes status_request() {
    const std::uint8_t payload[] = {0x01};
    return build_packet(status_request_command, payload);
}

std::vector<Bytes> scan_packets(std::span<const std::uint8_t> bytes) {
    std::vector<Bytes> packets;
    // A candidate without its trailer is skipped whole: its length byte is all there is to go
    // by, and a 55 55 inside its payload is payload, not a packet.
    for (auto c = next_candidate(bytes, 0); c; c = next_candidate(bytes, c->end)) {
        if (bytes[c->end - 2] == tail && bytes[c->end - 1] == tail) {
            packets.emplace_back(bytes.begin() + c->start, bytes.begin() + c->end);
        }
    }
    if (packets.empty() && !bytes.empty()) packets.emplace_back(bytes.begin(), bytes.end());
    return packets;
}

std::optional<PrintProgress> find_print_status(std::span<const std::uint8_t> bytes) {
    for (auto c = next_candidate(bytes, 0); c; c = next_candidate(bytes, c->end)) {
        const auto packet = bytes.subspan(c->start, c->end - c->start);
        if (packet[2] == print_status_command && packet[3] >= 4) {
            return PrintProgress{static_cast<std::uint16_t>(packet[4] << 8 | packet[5]), packet[6], packet[7]};
        }
    }
    return std::nullopt;
}

SplitJob split_final_packet(std::span<const std::uint8_t> job) {
    std::vector<Bytes> pieces = scan_packets(job);
    if (pieces.empty() || pieces.back().size() <= 3 || pieces.back()[2] != print_end_command) {
        return {Bytes(job.begin(), job.end()), std::nullopt};
    }
    SplitJob split;
    split.final_packet = std::move(pieces.back());
    pieces.pop_back();
    for (const auto& piece : pieces) split.rest.insert(split.rest.end(), piece.begin(), piece.end());
    return split;
}

std::vector<Bytes> repack_packets(const std::vector<Bytes>& packets, std::size_t limit) {
    std::vector<Bytes> writes;
    Bytes buffer;
    for (const auto& packet : packets) {
        if (packet.empty()) continue;
        if (!buffer.empty() && buffer.size() + packet.size() > limit) {
            writes.push_back(std::move(buffer));
            buffer.clear();
        }
        buffer.insert(buffer.end(), packet.begin(), packet.end());
    }
    if (!buffer.empty()) writes.push_back(std::move(buffer));
    return writes;
}

}  // namespace pvo_driver_niimbot
