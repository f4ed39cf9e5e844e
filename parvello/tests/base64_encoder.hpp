#pragma once
// A plain standard base64 encoder, to make test inputs from bytes.
#include <cstdint>
#include <span>
#include <string>

namespace parvello::test {

inline std::string encode_base64(std::span<const std::uint8_t> in) {
    constexpr std::string_view alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (std::size_t i = 0; i < in.size(); i += 3) {
        const bool second = i + 1 < in.size();
        const bool third = i + 2 < in.size();
        const std::uint32_t n =
            (std::uint32_t{in[i]} << 16) | (second ? std::uint32_t{in[i + 1]} << 8 : 0) | (third ? in[i + 2] : 0);
        text += alphabet[n >> 18 & 63];
        text += alphabet[n >> 12 & 63];
        text += second ? alphabet[n >> 6 & 63] : '=';
        text += third ? alphabet[n & 63] : '=';
    }
    return text;
}

}  // namespace parvello::test
