#include "parvello/base64.hpp"

#include <array>

namespace parvello {
namespace {

constexpr std::uint8_t kNotASymbol = 0xff;

constexpr std::array<std::uint8_t, 256> make_symbol_values() {
    std::array<std::uint8_t, 256> values{};
    values.fill(kNotASymbol);
    constexpr std::string_view alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (std::size_t i = 0; i < alphabet.size(); ++i) {
        values[static_cast<unsigned char>(alphabet[i])] = static_cast<std::uint8_t>(i);
    }
    return values;
}

constexpr std::array<std::uint8_t, 256> kSymbolValues = make_symbol_values();

std::uint8_t symbol_value(char c) { return kSymbolValues[static_cast<unsigned char>(c)]; }

// "{what} {byte}, offset {offset}." with the byte in decimal.
std::string symbol_fault(std::string_view what, char byte, std::size_t offset) {
    return std::string(what) + " " + std::to_string(static_cast<unsigned char>(byte)) + ", offset " +
           std::to_string(offset) + ".";
}

}  // namespace

std::expected<std::vector<std::uint8_t>, std::string> decode_base64(std::string_view text) {
    // The closing run of "=" is the padding; any "=" before it is an invalid symbol.
    std::size_t padding = 0;
    while (padding < text.size() && text[text.size() - 1 - padding] == '=') ++padding;
    const std::size_t symbols = text.size() - padding;

    for (std::size_t i = 0; i < symbols; ++i) {
        if (symbol_value(text[i]) == kNotASymbol) {
            return std::unexpected(symbol_fault("Invalid symbol", text[i], i));
        }
    }
    // Every 4 symbols give 3 bytes; 2 or 3 left over give 1 or 2 more, a single one gives none.
    const std::size_t rest = symbols % 4;
    if (rest == 1) return std::unexpected("Invalid input length: " + std::to_string(symbols));
    if (padding != (4 - rest) % 4) return std::unexpected(std::string("Invalid padding"));

    std::vector<std::uint8_t> out;
    out.reserve(symbols / 4 * 3 + (rest == 0 ? 0 : rest - 1));
    std::uint32_t bits = 0;
    int bit_count = 0;
    for (std::size_t i = 0; i < symbols; ++i) {
        bits = (bits << 6) | symbol_value(text[i]);
        bit_count += 6;
        if (bit_count >= 8) {
            bit_count -= 8;
            out.push_back(static_cast<std::uint8_t>(bits >> bit_count));
            bits &= (1u << bit_count) - 1;
        }
    }
    // What remains are the unused low bits of the last symbol (2 or 4 of them, or none).
    if (bits != 0) {
        const std::size_t last = symbols - 1;
        return std::unexpected(symbol_fault("Invalid last symbol", text[last], last));
    }
    return out;
}

}  // namespace parvello
