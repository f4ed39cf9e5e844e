#pragma once
// Building byte strings for test jobs.
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace pvo_client_delivery::test {

inline std::vector<std::uint8_t> cat(std::initializer_list<std::vector<std::uint8_t>> parts) {
    std::vector<std::uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline std::vector<std::uint8_t> repeat(const std::vector<std::uint8_t>& part, std::size_t times) {
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < times; ++i) out.insert(out.end(), part.begin(), part.end());
    return out;
}

}  // namespace pvo_client_delivery::test
