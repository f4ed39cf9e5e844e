#pragma once
// LabelWriter 550 jobs and status answers for the delivery tests.
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "byte_builders.hpp"

namespace pvo_client_delivery::test {

using Bytes = std::vector<std::uint8_t>;

inline const Bytes lw_start{0x1B, 's', 0x01, 0x00, 0x00, 0x00};
inline const Bytes lw_trailer{0x1B, 'E', 0x1B, 'Q'};

inline void put_le32(Bytes& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// ESC n, ESC D, the raster's dimensions A and B, the raster as given (which need not fit the
// dimensions), ESC G.
inline Bytes lw_label(std::uint32_t a, std::uint32_t b, const Bytes& raster) {
    Bytes out{0x1B, 'n', 0x00, 0x00, 0x1B, 'D', 0x00, 0x00};
    put_le32(out, a);
    put_le32(out, b);
    out.insert(out.end(), raster.begin(), raster.end());
    out.insert(out.end(), {0x1B, 'G'});
    return out;
}

inline Bytes lw_job(std::initializer_list<Bytes> labels) {
    Bytes out = lw_start;
    for (const auto& l : labels) out.insert(out.end(), l.begin(), l.end());
    out.insert(out.end(), lw_trailer.begin(), lw_trailer.end());
    return out;
}

// A 32-byte print-engine status: print state, media bay, a good head with its voltage ok.
inline Bytes lw_status(std::uint8_t print_state, std::uint8_t bay) {
    Bytes out(32, 0);
    out[0] = print_state;
    out[10] = bay;
    out[30] = 1;
    return out;
}

}  // namespace pvo_client_delivery::test
