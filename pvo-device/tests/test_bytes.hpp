#pragma once
// Payloads for transport tests.
#include <cstdint>
#include <string_view>
#include <vector>

namespace pvo_device::test {

// `size` bytes that do not repeat with any short period, so a lost or doubled chunk shows.
inline std::vector<std::uint8_t> pattern(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    return bytes;
}

inline std::vector<std::uint8_t> bytes_of(std::string_view text) { return {text.begin(), text.end()}; }

}  // namespace pvo_device::test
