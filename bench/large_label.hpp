#pragma once
// The large label of the print benchmarks: 1,500,000 bytes, whose base64 text (2,000,000
// symbols) and the rest of a job stay under the agent's 2 MiB body limit.
#include <cstddef>
#include <string>

namespace bench {

inline constexpr std::size_t kLabelBytes = 1'500'000;

// Valid base64 text of `bytes` / 3 whole groups, every symbol of the alphabet in use.
inline std::string base64_label(std::size_t bytes) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve((bytes + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes / 3 * 4; ++i) text += kAlphabet[(i * 7 + i / 64) % 64];
    return text;
}

}  // namespace bench
