// libFuzzer target for what the agent reads out of printer and cutter bytes: the NIIMBOT
// packet scan, print-status search, final-packet split and regrouping, and the GPGL status
// line. Beyond never crashing, each must keep its promises on any input:
// - every piece the scan returns is a whole framed packet of the input, in input order, unless
//   it found none and returned the input whole;
// - a print-status packet that the scan finds is never missed by the print-status search;
// - splitting off the final packet and regrouping the rest into writes loses no byte of the
//   scanned packets and never splits one;
// - a GPGL state is read only from valid UTF-8 holding that state's digit.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string_view>
#include <vector>

#include "pvo-status/gpgl_status.hpp"
#include "pvo-driver-niimbot/packet.hpp"
#include "pvo-util/text.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;

void check(bool holds) {
    if (!holds) std::abort();
}

bool is_framed(const Bytes& p) {
    return p.size() >= 7 && p[0] == 0x55 && p[1] == 0x55 && p.size() == p[3] + 7u && p[p.size() - 2] == 0xAA &&
           p.back() == 0xAA;
}

Bytes joined(const std::vector<Bytes>& pieces) {
    Bytes out;
    for (const auto& p : pieces) out.insert(out.end(), p.begin(), p.end());
    return out;
}

void check_scan(std::span<const std::uint8_t> input, const std::vector<Bytes>& pieces) {
    check(input.empty() == pieces.empty());
    if (pieces.size() == 1 && std::ranges::equal(pieces[0], input) && !is_framed(pieces[0])) return;
    auto from = input.begin();
    for (const auto& piece : pieces) {
        check(is_framed(piece));
        from = std::search(from, input.end(), piece.begin(), piece.end());
        check(from != input.end());
        from += static_cast<std::ptrdiff_t>(piece.size());
    }
}

void check_print_status(std::span<const std::uint8_t> input, const std::vector<Bytes>& pieces) {
    const auto found = pvo_driver_niimbot::find_print_status(input);
    if (found) {
        const Bytes head{0x55, 0x55, 0xB3};
        const std::uint8_t values[] = {static_cast<std::uint8_t>(found->page >> 8),
                                       static_cast<std::uint8_t>(found->page), found->progress1, found->progress2};
        bool seen = false;
        for (auto at = std::search(input.begin(), input.end(), head.begin(), head.end()); at != input.end() && !seen;
             at = std::search(at + 1, input.end(), head.begin(), head.end())) {
            const auto left = input.end() - at;
            seen = left >= 8 && at[3] >= 4 && std::equal(values, values + 4, at + 4);
        }
        check(seen);
    }
    const bool scanned_status =
        std::ranges::any_of(pieces, [](const Bytes& p) { return is_framed(p) && p[2] == 0xB3 && p[3] >= 4; });
    if (scanned_status) check(found.has_value());
}

void check_split_and_repack(std::span<const std::uint8_t> input, const std::vector<Bytes>& pieces) {
    const auto split = pvo_driver_niimbot::split_final_packet(input);
    if (split.final_packet) {
        check(split.final_packet->size() > 3 && (*split.final_packet)[2] == 0xF3);
        Bytes all = split.rest;
        all.insert(all.end(), split.final_packet->begin(), split.final_packet->end());
        check(all == joined(pieces));
    } else {
        check(std::ranges::equal(split.rest, input));
    }

    const auto packets = pvo_driver_niimbot::scan_packets(split.rest);
    const auto writes = pvo_driver_niimbot::repack_packets(packets);
    check(joined(writes) == joined(packets));
    // A write over the limit is exactly one packet.
    for (const auto& w : writes) {
        if (w.size() > pvo_driver_niimbot::write_limit) {
            check(std::ranges::any_of(packets, [&](const Bytes& p) { return p == w; }));
        }
    }
}

void check_gpgl_line(std::span<const std::uint8_t> input) {
    const auto state = pvo_status::parse_gpgl_status_line(input);
    if (!state) return;
    const std::string_view text(reinterpret_cast<const char*>(input.data()), input.size());
    check(static_cast<std::size_t>(*state) <= 4);
    check(pvo_util::is_valid_utf8(text));
    check(text.find(static_cast<char>('0' + static_cast<int>(*state))) != std::string_view::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    const auto pieces = pvo_driver_niimbot::scan_packets(input);
    check_scan(input, pieces);
    check_print_status(input, pieces);
    check_split_and_repack(input, pieces);
    check_gpgl_line(input);
    return 0;
}
