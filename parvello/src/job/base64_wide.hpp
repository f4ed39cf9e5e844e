#pragma once
// The bulk of a valid base64 text decoded 32 symbols at a time in AVX2 registers, on processors
// that have them. decode_base64 uses it for the groups before the closing ones.
#include <cstddef>
#include <cstdint>

namespace parvello {

inline constexpr std::size_t kWideBlockSymbols = 32;
inline constexpr std::size_t kWideBlockBytes = 24;

// Decodes up to `blocks` blocks of 32 symbols from `in` into 24 bytes each at `out`, writing
// nothing beyond them, and stops before the first block that holds a byte outside the
// alphabet ("=" included). Returns the blocks decoded: all of them for valid text, none where
// the processor lacks AVX2. The caller goes on from there with its own loop, which finds the
// fault that stopped this one.
std::size_t decode_wide_blocks(const unsigned char* in, std::size_t blocks, std::uint8_t* out) noexcept;

}  // namespace parvello
