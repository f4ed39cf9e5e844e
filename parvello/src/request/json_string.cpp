// Strings: the scan for the end of a string runs sixteen bytes at a time, or sixty-four with
// AVX2, since request bodies are nearly all one long base64 string.
#include "json_cursor.hpp"

#include "pvo-util/cpu_features.hpp"
#include "pvo-util/text.hpp"

#include <cstdint>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define PVO_JSON_WIDE_SCAN 1
#endif

namespace parvello::json {
namespace {

#ifdef PVO_JSON_WIDE_SCAN
// Whole blocks of 64 bytes from `i` up to the first block that holds a quote, a backslash or
// a control byte; the narrow loop below goes on from there. `high` as in scan_plain.
__attribute__((target("avx2"))) std::size_t scan_wide(std::string_view s, std::size_t i, bool& high) noexcept {
    const __m256i quote = _mm256_set1_epi8('"');
    const __m256i backslash = _mm256_set1_epi8('\\');
    const __m256i last_control = _mm256_set1_epi8(0x1F);
    __m256i seen = _mm256_setzero_si256();
    for (; i + 64 <= s.size(); i += 64) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s.data() + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s.data() + i + 32));
        // A byte is at most 0x1F when the smaller of it and 0x1F is the byte itself.
        const __m256i stops = _mm256_or_si256(
            _mm256_or_si256(_mm256_or_si256(_mm256_cmpeq_epi8(a, quote), _mm256_cmpeq_epi8(a, backslash)),
                            _mm256_cmpeq_epi8(_mm256_min_epu8(a, last_control), a)),
            _mm256_or_si256(_mm256_or_si256(_mm256_cmpeq_epi8(b, quote), _mm256_cmpeq_epi8(b, backslash)),
                            _mm256_cmpeq_epi8(_mm256_min_epu8(b, last_control), b)));
        if (!_mm256_testz_si256(stops, stops)) break;
        seen = _mm256_or_si256(seen, _mm256_or_si256(a, b));
    }
    if (_mm256_movemask_epi8(seen) != 0) high = true;
    return i;
}
#endif

// Sixteen bytes as one vector: the compiler turns the lane-wise operations below into SIMD
// instructions where the target has them (SSE2 on every x86-64) and into plain code elsewhere.
using Lanes = unsigned char __attribute__((vector_size(16)));
using LaneMask = signed char __attribute__((vector_size(16)));  // a lane-wise comparison's result

bool any_lane(LaneMask mask) noexcept {
    std::uint64_t halves[2];
    std::memcpy(halves, &mask, sizeof halves);
    return (halves[0] | halves[1]) != 0;
}

bool is_special(unsigned char c) noexcept { return c == '"' || c == '\\' || c < 0x20; }

// The offset of the first quote, backslash or control byte at or after `i` (or the end).
// `high` is set when a byte above 0x7F was passed on the way.
std::size_t scan_plain(std::string_view s, std::size_t i, bool& high) noexcept {
#ifdef PVO_JSON_WIDE_SCAN
    if (s.size() - i >= 128 && pvo_util::has_avx2()) i = scan_wide(s, i, high);
#endif
    Lanes seen{};
    while (i + sizeof(Lanes) <= s.size()) {
        Lanes bytes;
        std::memcpy(&bytes, s.data() + i, sizeof bytes);
        if (any_lane((bytes == '"') | (bytes == '\\') | (bytes < 0x20))) break;
        seen |= bytes;
        i += sizeof(Lanes);
    }
    unsigned char seen_byte = 0;
    while (i < s.size() && !is_special(static_cast<unsigned char>(s[i]))) {
        seen_byte |= static_cast<unsigned char>(s[i]);
        ++i;
    }
    if (any_lane(seen >= 0x80) || seen_byte >= 0x80) high = true;
    return i;
}

int hex_value(char c) noexcept {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool Cursor::read_string(Text* out) {
    if (out) {
        out->raw = {};
        out->decoded.clear();
        out->escaped = false;
    }
    const std::size_t start = pos_;
    std::size_t copied_to = pos_;  // the first byte not yet copied into the decoded text
    bool high = false;
    for (;;) {
        pos_ = scan_plain(in_, pos_, high);
        if (pos_ == in_.size()) return syntax_read("EOF while parsing a string");
        const char c = in_[pos_];
        if (c == '"') {
            const std::string_view body = in_.substr(start, pos_ - start);
            ++pos_;
            // Escapes decode to whole characters, so the raw body is valid UTF-8 exactly when
            // the decoded text is.
            if (high && !pvo_util::is_valid_utf8(body)) {
                return syntax_read("invalid unicode code point");
            }
            if (out && out->escaped) {
                out->decoded.append(in_.substr(copied_to, pos_ - 1 - copied_to));
            } else if (out) {
                out->raw = body;
            }
            return true;
        }
        if (c == '\\') {
            std::string* decoded = nullptr;
            if (out) {
                out->escaped = true;
                out->decoded.append(in_.substr(copied_to, pos_ - copied_to));
                decoded = &out->decoded;
            }
            ++pos_;
            if (!read_escape(decoded)) return false;
            copied_to = pos_;
            continue;
        }
        ++pos_;
        return syntax_read("control character (\\u0000-\\u001F) found while parsing a string");
    }
}

bool Cursor::read_hex4(std::uint16_t& value) {
    if (in_.size() - pos_ < 4) {
        pos_ = in_.size();
        return syntax_read("EOF while parsing a string");
    }
    int v = 0;
    bool valid = true;
    for (int k = 0; k < 4; ++k) {
        const int digit = hex_value(in_[pos_ + static_cast<std::size_t>(k)]);
        valid = valid && digit >= 0;
        v = v * 16 + digit;
    }
    pos_ += 4;
    if (!valid) return syntax_read("invalid escape");
    value = static_cast<std::uint16_t>(v);
    return true;
}

bool Cursor::read_escape(std::string* out) {
    if (pos_ == in_.size()) return syntax_read("EOF while parsing a string");
    char plain;
    switch (in_[pos_++]) {
        case '"':
            plain = '"';
            break;
        case '\\':
            plain = '\\';
            break;
        case '/':
            plain = '/';
            break;
        case 'b':
            plain = '\b';
            break;
        case 'f':
            plain = '\f';
            break;
        case 'n':
            plain = '\n';
            break;
        case 'r':
            plain = '\r';
            break;
        case 't':
            plain = '\t';
            break;
        case 'u': {
            std::uint16_t unit;
            if (!read_hex4(unit)) return false;
            char32_t code_point = unit;
            if (unit >= 0xDC00 && unit <= 0xDFFF) {
                return syntax_read("lone leading surrogate in hex escape");
            }
            if (unit >= 0xD800 && unit <= 0xDBFF) {
                // A leading surrogate: a trailing one must follow as the next escape.
                for (const char expected : {'\\', 'u'}) {
                    if (pos_ == in_.size()) return syntax_read("EOF while parsing a string");
                    if (in_[pos_++] != expected) {
                        return syntax_read("unexpected end of hex escape");
                    }
                }
                std::uint16_t trail;
                if (!read_hex4(trail)) return false;
                if (trail < 0xDC00 || trail > 0xDFFF) {
                    return syntax_read("lone leading surrogate in hex escape");
                }
                code_point = 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (trail - 0xDC00);
            }
            if (out) pvo_util::append_utf8(*out, code_point);
            return true;
        }
        default:
            return syntax_read("invalid escape");
    }
    if (out) *out += plain;
    return true;
}

}  // namespace parvello::json
