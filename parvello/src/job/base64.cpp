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

// The first byte outside the alphabet at or after `from`; the caller knows there is one.
std::string first_invalid_symbol(std::string_view text, std::size_t from) {
    while (symbol_value(text[from]) != kNotASymbol) ++from;
    return symbol_fault("Invalid symbol", text[from], from);
}

}  // namespace

std::expected<std::vector<std::uint8_t>, std::string> decode_base64(std::string_view text) {
    // The closing run of "=" is the padding; any "=" before it is an invalid symbol.
    std::size_t padding = 0;
    while (padding < text.size() && text[text.size() - 1 - padding] == '=') ++padding;
    const std::size_t symbols = text.size() - padding;
    const std::size_t groups = symbols / 4;
    const std::size_t rest = symbols % 4;

    // Label payloads run to megabytes, so the bytes are written into a buffer of their final
    // size, a whole group of four symbols (three bytes) at a time, checking the symbols on the
    // way. Faults are still reported in text order: an invalid symbol anywhere comes before
    // the length and the padding, which come before the last symbol's unused bits.
    std::vector<std::uint8_t> out(groups * 3 + (rest > 1 ? rest - 1 : 0));
    std::uint8_t* next = out.data();
    for (std::size_t g = 0; g < groups; ++g) {
        const std::size_t at = g * 4;
        const std::uint32_t a = symbol_value(text[at]), b = symbol_value(text[at + 1]),
                            c = symbol_value(text[at + 2]), d = symbol_value(text[at + 3]);
        if (((a | b | c | d) & kNotASymbol & ~0x3fu) != 0) {  // a value beyond 6 bits
            return std::unexpected(first_invalid_symbol(text, at));
        }
        const std::uint32_t bits = a << 18 | b << 12 | c << 6 | d;
        next[0] = static_cast<std::uint8_t>(bits >> 16);
        next[1] = static_cast<std::uint8_t>(bits >> 8);
        next[2] = static_cast<std::uint8_t>(bits);
        next += 3;
    }
    const std::size_t tail = groups * 4;
    for (std::size_t i = tail; i < symbols; ++i) {
        if (symbol_value(text[i]) == kNotASymbol) return std::unexpected(first_invalid_symbol(text, i));
    }
    // 2 or 3 symbols left over give 1 or 2 more bytes; a single one gives none.
    if (rest == 1) return std::unexpected("Invalid input length: " + std::to_string(symbols));
    if (padding != (4 - rest) % 4) return std::unexpected(std::string("Invalid padding"));
    if (rest == 0) return out;

    std::uint32_t bits = 0;
    for (std::size_t i = tail; i < symbols; ++i) bits = bits << 6 | symbol_value(text[i]);
    // 12 bits carry one byte and 18 bits two; the low 4 or 2 bits left over must be zero.
    const int unused = rest == 2 ? 4 : 2;
    if ((bits & ((1u << unused) - 1)) != 0) {
        const std::size_t last = symbols - 1;
        return std::unexpected(symbol_fault("Invalid last symbol", text[last], last));
    }
    bits >>= unused;
    if (rest == 3) *next++ = static_cast<std::uint8_t>(bits >> 8);
    *next = static_cast<std::uint8_t>(bits);
    return out;
}

}  // namespace parvello
