#include "pvo-util/text.hpp"

#include <charconv>
#include <optional>

namespace pvo_util {
namespace {

// Length of the well-formed UTF-8 sequence starting at `pos`, or the length of the maximal
// invalid subpart (at least 1) with `valid` set to false. Follows the Unicode "maximal
// subpart" practice: a truncated but otherwise valid prefix counts as one invalid unit.
struct Step {
    std::size_t length;
    bool valid;
    char32_t code_point;
};

Step decode_step(std::string_view s, std::size_t pos) noexcept {
    const auto b0 = static_cast<unsigned char>(s[pos]);
    if (b0 < 0x80) return {1, true, b0};
    std::size_t need = 0;
    char32_t cp = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 1;
        cp = b0 & 0x1F;
    } else if (b0 == 0xE0) {
        need = 2;
        cp = b0 & 0x0F;
        lo = 0xA0;
    } else if (b0 >= 0xE1 && b0 <= 0xEC) {
        need = 2;
        cp = b0 & 0x0F;
    } else if (b0 == 0xED) {
        need = 2;
        cp = b0 & 0x0F;
        hi = 0x9F;
    } else if (b0 >= 0xEE && b0 <= 0xEF) {
        need = 2;
        cp = b0 & 0x0F;
    } else if (b0 == 0xF0) {
        need = 3;
        cp = b0 & 0x07;
        lo = 0x90;
    } else if (b0 >= 0xF1 && b0 <= 0xF3) {
        need = 3;
        cp = b0 & 0x07;
    } else if (b0 == 0xF4) {
        need = 3;
        cp = b0 & 0x07;
        hi = 0x8F;
    } else
        return {1, false, 0};
    std::size_t i = 1;
    for (; i <= need; ++i) {
        if (pos + i >= s.size()) return {i, false, 0};
        const auto b = static_cast<unsigned char>(s[pos + i]);
        const unsigned char l = (i == 1) ? lo : 0x80, h = (i == 1) ? hi : 0xBF;
        if (b < l || b > h) return {i, false, 0};
        cp = (cp << 6) | (b & 0x3F);
    }
    return {need + 1, true, cp};
}

// The code point ending just before `end`, if the bytes there form a valid sequence.
std::optional<Step> decode_last(std::string_view s, std::size_t end) noexcept {
    for (std::size_t len = 1; len <= 4 && len <= end; ++len) {
        const auto b = static_cast<unsigned char>(s[end - len]);
        if ((b & 0xC0) == 0x80) continue;  // continuation byte: look further back
        Step step = decode_step(s, end - len);
        if (step.valid && step.length == len) return step;
        return std::nullopt;
    }
    return std::nullopt;
}

// Characters written as an escape so that a text stays on one line and nothing hides in
// it: the controls (C0, DEL, C1) and the invisible format characters, among them the
// direction overrides and isolates that would make a text read differently than it is.
bool shown_escaped(char32_t c) noexcept {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0xAD || (c >= 0x200B && c <= 0x200F) ||
           (c >= 0x2028 && c <= 0x202E) || (c >= 0x2060 && c <= 0x2064) || (c >= 0x2066 && c <= 0x2069) || c == 0xFEFF;
}

enum class Escaping {
    Quoted,      // inside double quotes: quote, backslash and tab escaped too
    SingleLine,  // running text: quotes, backslashes and tabs stay as they are
};

void append_escaped(std::string& out, std::string_view text, Escaping escaping) {
    const bool quoted = escaping == Escaping::Quoted;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const Step step = decode_step(text, pos);
        const std::string_view bytes = text.substr(pos, step.length);
        pos += step.length;
        if (!step.valid) {
            out += "\xEF\xBF\xBD";
            continue;
        }
        switch (step.code_point) {
            case '"':
                out += quoted ? "\\\"" : "\"";
                continue;
            case '\\':
                out += quoted ? "\\\\" : "\\";
                continue;
            case '\t':
                out += quoted ? "\\t" : "\t";
                continue;
            case '\r':
                out += "\\r";
                continue;
            case '\n':
                out += "\\n";
                continue;
            case 0:
                out += "\\0";
                continue;
            default:
                break;
        }
        if (shown_escaped(step.code_point)) {
            char hex[8];
            const auto end = std::to_chars(hex, hex + sizeof hex, static_cast<std::uint32_t>(step.code_point), 16).ptr;
            out += "\\u{";
            out.append(hex, end);
            out += '}';
        } else {
            out += bytes;
        }
    }
}

}  // namespace

bool is_unicode_white_space(char32_t c) noexcept {
    switch (c) {
        case 0x09:
        case 0x0A:
        case 0x0B:
        case 0x0C:
        case 0x0D:
        case 0x20:
        case 0x85:
        case 0xA0:
        case 0x1680:
        case 0x2028:
        case 0x2029:
        case 0x202F:
        case 0x205F:
        case 0x3000:
            return true;
        default:
            return c >= 0x2000 && c <= 0x200A;
    }
}

std::string_view trim_blanks(std::string_view text) noexcept {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string_view trim_unicode_white_space(std::string_view text) noexcept {
    std::size_t begin = 0;
    while (begin < text.size()) {
        Step step = decode_step(text, begin);
        if (!step.valid || !is_unicode_white_space(step.code_point)) break;
        begin += step.length;
    }
    std::size_t end = text.size();
    while (end > begin) {
        auto step = decode_last(text, end);
        if (!step || !is_unicode_white_space(step->code_point)) break;
        end -= step->length;
    }
    return text.substr(begin, end - begin);
}

std::string utf8_lossy(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        Step step = decode_step(bytes, pos);
        if (step.valid)
            out.append(bytes.substr(pos, step.length));
        else
            out.append("\xEF\xBF\xBD");
        pos += step.length;
    }
    return out;
}

std::string utf8_lossy(std::span<const std::uint8_t> bytes) {
    return utf8_lossy(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

bool is_valid_utf8(std::string_view bytes) noexcept {
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        // Fast path over ASCII runs: request bodies are mostly base64 text.
        if (static_cast<unsigned char>(bytes[pos]) < 0x80) {
            ++pos;
            continue;
        }
        Step step = decode_step(bytes, pos);
        if (!step.valid) return false;
        pos += step.length;
    }
    return true;
}

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string quoted(std::string_view text) {
    std::string out = "\"";
    append_escaped(out, text, Escaping::Quoted);
    out += '"';
    return out;
}

void append_single_line(std::string& out, std::string_view text) { append_escaped(out, text, Escaping::SingleLine); }

std::string ascii_lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool ascii_iequals(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

}  // namespace pvo_util
