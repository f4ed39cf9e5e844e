#include "parvello/base64.hpp"

#include <array>
#include <optional>

#include "job/base64_exact.hpp"
#include "job/base64_wide.hpp"

namespace parvello {
namespace {

constexpr std::uint8_t kNotASymbol = 0xff;

constexpr std::array<std::uint8_t, 256> make_symbol_values() {
    std::array<std::uint8_t, 256> values{};
    values.fill(kNotASymbol);
    constexpr std::string_view alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
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

// Each symbol's bits already in place in the three bytes of its group (the first byte lowest),
// one table per position in the group, so a group is four look-ups ORed together. A byte
// outside the alphabet sets a bit above the three bytes in all four tables.
constexpr std::uint32_t kNotInGroup = 1u << 24;

struct GroupTables {
    std::array<std::uint32_t, 256> at[4];
};

constexpr GroupTables make_group_tables() {
    GroupTables t{};
    for (std::size_t c = 0; c < 256; ++c) {
        const std::uint32_t v = kSymbolValues[c];
        if (v == kNotASymbol) {
            for (auto& table : t.at) table[c] = kNotInGroup;
            continue;
        }
        t.at[0][c] = v << 2;                           // 6 high bits of byte 0
        t.at[1][c] = v >> 4 | (v & 0xf) << 12;         // 2 low bits of byte 0, 4 high of byte 1
        t.at[2][c] = (v >> 2) << 8 | (v & 0x3) << 22;  // 4 low bits of byte 1, 2 high of byte 2
        t.at[3][c] = v << 16;                          // 6 low bits of byte 2
    }
    return t;
}

constexpr GroupTables kGroupTables = make_group_tables();

std::uint32_t group_bytes(const unsigned char* in) {
    return kGroupTables.at[0][in[0]] | kGroupTables.at[1][in[1]] | kGroupTables.at[2][in[2]] |
           kGroupTables.at[3][in[3]];
}

void put_group(std::uint8_t* out, std::uint32_t bytes) {
    out[0] = static_cast<std::uint8_t>(bytes);
    out[1] = static_cast<std::uint8_t>(bytes >> 8);
    out[2] = static_cast<std::uint8_t>(bytes >> 16);
}

// The bytes of a text without any fault, or none at the first sign of one. Whole groups go
// eight at a time in AVX2 registers where the processor has them, else four at a time with
// one check for all sixteen symbols; the closing symbols and the padding are checked by the
// rules of the exact decoder.
std::optional<std::vector<std::uint8_t>> decode_faultless(std::string_view text) {
    std::size_t padding = 0;
    while (padding < text.size() && text[text.size() - 1 - padding] == '=') ++padding;
    const std::size_t symbols = text.size() - padding;
    const std::size_t groups = symbols / 4;
    const std::size_t rest = symbols % 4;
    if (rest == 1 || padding != (4 - rest) % 4) return std::nullopt;

    std::vector<std::uint8_t> out(groups * 3 + (rest > 1 ? rest - 1 : 0));
    const auto* in = reinterpret_cast<const unsigned char*>(text.data());
    std::uint8_t* next = out.data();
    // The wide road takes what it can; the loops below go on from where it stopped.
    const std::size_t wide = decode_wide_blocks(in, groups * 4 / kWideBlockSymbols, next);
    std::size_t g = wide * (kWideBlockSymbols / 4);
    in += wide * kWideBlockSymbols;
    next += wide * kWideBlockBytes;
    for (; g + 4 <= groups; g += 4, in += 16, next += 12) {
        const std::uint32_t a = group_bytes(in), b = group_bytes(in + 4), c = group_bytes(in + 8),
                            d = group_bytes(in + 12);
        if ((a | b | c | d) & kNotInGroup) return std::nullopt;
        put_group(next, a);
        put_group(next + 3, b);
        put_group(next + 6, c);
        put_group(next + 9, d);
    }
    for (; g < groups; ++g, in += 4, next += 3) {
        const std::uint32_t a = group_bytes(in);
        if (a & kNotInGroup) return std::nullopt;
        put_group(next, a);
    }
    if (rest == 0) return out;

    // 2 or 3 symbols give 1 or 2 bytes; the low 4 or 2 bits left over must be zero.
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < rest; ++i) {
        const std::uint32_t v = kSymbolValues[in[i]];
        if (v == kNotASymbol) return std::nullopt;
        bits = bits << 6 | v;
    }
    const int unused = rest == 2 ? 4 : 2;
    if ((bits & ((1u << unused) - 1)) != 0) return std::nullopt;
    bits >>= unused;
    if (rest == 3) *next++ = static_cast<std::uint8_t>(bits >> 8);
    *next = static_cast<std::uint8_t>(bits);
    return out;
}

}  // namespace

std::expected<std::vector<std::uint8_t>, std::string> decode_base64(std::string_view text) {
    // Label payloads run to megabytes and are nearly always valid: they take the fast road,
    // and only a text with a fault is decoded again by the exact decoder, which names it.
    if (auto bytes = decode_faultless(text)) return std::move(*bytes);
    return decode_base64_exact(text);
}

std::expected<std::vector<std::uint8_t>, std::string> decode_base64_exact(std::string_view text) {
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
        const std::uint32_t a = symbol_value(text[at]), b = symbol_value(text[at + 1]), c = symbol_value(text[at + 2]),
                            d = symbol_value(text[at + 3]);
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
