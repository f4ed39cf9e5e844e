// libFuzzer target for the strict base64 decoder. Three properties:
// - the input as text: decoding never crashes; what decodes is the one canonical encoding of
//   its bytes (encoding them again gives the input back); what is refused names its fault in
//   one of the decoder's four forms;
// - the input as bytes: encoding them and decoding the result gives them back;
// - the decoder gives exactly what the exact decoder behind its fault messages gives.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

#include "base64_encoder.hpp"
#include "job/base64_exact.hpp"
#include "parvello/base64.hpp"

namespace {

using parvello::test::encode_base64;

bool known_fault(std::string_view message) {
    return message == "Invalid padding" || message.starts_with("Invalid input length: ") ||
           message.starts_with("Invalid symbol ") || message.starts_with("Invalid last symbol ");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const auto decoded = parvello::decode_base64(text);
    if (decoded != parvello::decode_base64_exact(text)) std::abort();
    if (decoded) {
        if (encode_base64(*decoded) != text) std::abort();
    } else if (!known_fault(decoded.error())) {
        std::abort();
    }

    const auto round_trip = parvello::decode_base64(encode_base64(bytes));
    if (!round_trip || !std::equal(round_trip->begin(), round_trip->end(), bytes.begin(), bytes.end())) {
        std::abort();
    }
    return 0;
}
