// libFuzzer target for the strict base64 decoder. Two properties:
// - the input as text: decoding never crashes; what decodes is the one canonical encoding of
//   its bytes (encoding them again gives the input back); what is refused names its fault in
//   one of the decoder's four forms;
// - the input as bytes: encoding them and decoding the result gives them back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

#include "parvello/base64.hpp"

namespace {

std::string encode(std::span<const std::uint8_t> in) {
    constexpr std::string_view alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (std::size_t i = 0; i < in.size(); i += 3) {
        const bool second = i + 1 < in.size();
        const bool third = i + 2 < in.size();
        const std::uint32_t n = (std::uint32_t{in[i]} << 16) |
                                (second ? std::uint32_t{in[i + 1]} << 8 : 0) | (third ? in[i + 2] : 0);
        text += alphabet[n >> 18 & 63];
        text += alphabet[n >> 12 & 63];
        text += second ? alphabet[n >> 6 & 63] : '=';
        text += third ? alphabet[n & 63] : '=';
    }
    return text;
}

bool known_fault(std::string_view message) {
    return message == "Invalid padding" || message.starts_with("Invalid input length: ") ||
           message.starts_with("Invalid symbol ") || message.starts_with("Invalid last symbol ");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const auto decoded = parvello::decode_base64(text);
    if (decoded) {
        if (encode(*decoded) != text) std::abort();
    } else if (!known_fault(decoded.error())) {
        std::abort();
    }

    const auto round_trip = parvello::decode_base64(encode(bytes));
    if (!round_trip || !std::equal(round_trip->begin(), round_trip->end(), bytes.begin(), bytes.end())) {
        std::abort();
    }
    return 0;
}
