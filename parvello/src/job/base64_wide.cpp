// Base64 in AVX2 registers: each symbol's value comes from its high and low nibbles by table
// look-ups within the register (vpshufb), a byte outside the alphabet shows in the same
// look-ups, and multiply-adds pack four 6-bit values into three bytes.
#include "job/base64_wide.hpp"

#include "pvo-util/cpu_features.hpp"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define PVO_BASE64_WIDE 1
#endif

namespace parvello {

#ifdef PVO_BASE64_WIDE
namespace {

// A byte is a symbol when its low-nibble class and its high-nibble class share no bit:
//   high nibble 2: "+" (0x2B) and "/" (0x2F) only;  3: "0"-"9";  4: "A"-"O";  5: "P"-"Z";
//   6: "a"-"o";  7: "p"-"z";  0, 1 and 8-15: nothing.
// `add` is what turns a symbol into its value, by its high nibble, with "/" one row lower.
__attribute__((target("avx2"))) std::size_t decode_avx2(const unsigned char* in, std::size_t blocks,
                                                        std::uint8_t* out) noexcept {
    const __m256i low_class = _mm256_setr_epi8(  //
        0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A, 0x15, 0x11,
        0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A);
    const __m256i high_class = _mm256_setr_epi8(  //
        0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10,
        0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10);
    const __m256i add = _mm256_setr_epi8(                          //
        0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0,  //
        0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0);
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    const __m256i slash = _mm256_set1_epi8('/');
    // Values a, b, c, d of a group (a first): a<<6|b and c<<6|d in 16 bits, then the 24 bits
    // a<<18|b<<12|c<<6|d in 32; the three bytes are then taken high byte first.
    const __m256i pair_weights = _mm256_set1_epi32(0x01400140);
    const __m256i quad_weights = _mm256_set1_epi32(0x00011000);
    const __m256i group_bytes = _mm256_setr_epi8(                //
        2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1,  //
        2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
    const __m256i packed_lanes = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7);

    std::size_t done = 0;
    for (; done < blocks; ++done, in += kWideBlockSymbols, out += kWideBlockBytes) {
        const __m256i text = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
        const __m256i high = _mm256_and_si256(_mm256_srli_epi32(text, 4), nibble);
        // A byte above 0x7F has a high nibble of 8 or more, whose class (0x10) every low class
        // shares.
        const __m256i low = _mm256_and_si256(text, nibble);
        const __m256i classes =
            _mm256_and_si256(_mm256_shuffle_epi8(low_class, low), _mm256_shuffle_epi8(high_class, high));
        if (!_mm256_testz_si256(classes, classes)) break;
        const __m256i row = _mm256_add_epi8(high, _mm256_cmpeq_epi8(text, slash));
        const __m256i values = _mm256_add_epi8(text, _mm256_shuffle_epi8(add, row));
        const __m256i pairs = _mm256_maddubs_epi16(values, pair_weights);
        const __m256i groups = _mm256_madd_epi16(pairs, quad_weights);
        const __m256i packed = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(groups, group_bytes), packed_lanes);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(packed));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), _mm256_extracti128_si256(packed, 1));
    }
    return done;
}

}  // namespace

std::size_t decode_wide_blocks(const unsigned char* in, std::size_t blocks, std::uint8_t* out) noexcept {
    return pvo_util::has_avx2() ? decode_avx2(in, blocks, out) : 0;
}

#else

std::size_t decode_wide_blocks(const unsigned char*, std::size_t, std::uint8_t*) noexcept { return 0; }

#endif

}  // namespace parvello
