#include "shape_messages.hpp"

#include <charconv>
#include <cstdlib>

namespace parvello::request {
namespace {

// Characters shown as an escape inside a quoted text: controls and the invisible format
// characters, so the text stays on one line and nothing hides in it.
bool shown_escaped(char32_t c) noexcept {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0xAD || (c >= 0x200B && c <= 0x200F) ||
           (c >= 0x2028 && c <= 0x202E) || (c >= 0x2060 && c <= 0x2064) || c == 0xFEFF;
}

// Decodes one character of valid UTF-8 at `i` and moves past it.
char32_t next_char(std::string_view s, std::size_t& i) noexcept {
    const auto lead = static_cast<unsigned char>(s[i++]);
    if (lead < 0x80) return lead;
    const int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
    char32_t c = lead & (0x3F >> extra);
    for (int k = 0; k < extra && i < s.size(); ++k) {
        c = (c << 6) | (static_cast<unsigned char>(s[i++]) & 0x3F);
    }
    return c;
}

// The text between double quotes, with quote, backslash and hidden characters escaped.
std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t start = i;
        const char32_t c = next_char(text, i);
        switch (c) {
            case '"': out += "\\\""; continue;
            case '\\': out += "\\\\"; continue;
            case '\n': out += "\\n"; continue;
            case '\r': out += "\\r"; continue;
            case '\t': out += "\\t"; continue;
            case 0: out += "\\0"; continue;
            default: break;
        }
        if (shown_escaped(c)) {
            char hex[8];
            const auto end = std::to_chars(hex, hex + sizeof hex, static_cast<unsigned>(c), 16).ptr;
            out += "\\u{";
            out.append(hex, end);
            out += '}';
        } else {
            out.append(text.substr(start, i - start));
        }
    }
    out += '"';
    return out;
}

}  // namespace

std::string float_text(double value) {
    // The shortest round-trip digits come from the scientific form "d.ddde±x"; they are laid
    // out as plain decimals for exponents up to 16 and down to -5, else as "d.ddde{x}".
    char buffer[40];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value,
                                   std::chars_format::scientific).ptr;
    std::string_view text(buffer, static_cast<std::size_t>(end - buffer));
    std::string out;
    if (!text.empty() && text.front() == '-') {
        out += '-';
        text.remove_prefix(1);
    }
    const std::size_t e = text.find('e');
    std::string digits;
    for (const char c : text.substr(0, e)) {
        if (c != '.') digits += c;
    }
    const int exponent = std::atoi(std::string(text.substr(e + 1)).c_str());
    const int length = static_cast<int>(digits.size());
    const int point = exponent + 1;  // digits before the decimal point
    if (digits == "0") {
        out += "0.0";
    } else if (point >= length && point <= 16) {
        out += digits;
        out.append(static_cast<std::size_t>(point - length), '0');
        out += ".0";
    } else if (point > 0 && point <= 16) {
        out += digits.substr(0, static_cast<std::size_t>(point));
        out += '.';
        out += digits.substr(static_cast<std::size_t>(point));
    } else if (point > -5 && point <= 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-point), '0');
        out += digits;
    } else {
        out += digits.front();
        if (length > 1) {
            out += '.';
            out += digits.substr(1);
        }
        out += 'e';
        out += std::to_string(point - 1);
    }
    return out;
}

std::string describe(const json::Scalar& value) {
    switch (value.kind) {
        case json::Kind::Null: return "null";
        case json::Kind::Boolean: return value.boolean ? "boolean `true`" : "boolean `false`";
        case json::Kind::String: return "string " + quoted(value.text.view());
        case json::Kind::Object: return "map";
        case json::Kind::Array: return "sequence";
        case json::Kind::Number: break;
    }
    switch (value.number.kind) {
        case json::Number::Kind::Unsigned:
            return "integer `" + std::to_string(value.number.unsigned_value) + "`";
        case json::Number::Kind::Negative:
            return "integer `" + std::to_string(value.number.negative_value) + "`";
        case json::Number::Kind::Float:
            break;
    }
    return "floating point `" + float_text(value.number.float_value) + "`";
}

std::string invalid_type(const json::Scalar& found, std::string_view expected) {
    return "invalid type: " + describe(found) + ", expected " + std::string(expected);
}

std::string invalid_value(const json::Scalar& found, std::string_view expected) {
    return "invalid value: " + describe(found) + ", expected " + std::string(expected);
}

std::string missing_field(std::string_view name) {
    return "missing field `" + std::string(name) + "`";
}

std::string duplicate_field(std::string_view name) {
    return "duplicate field `" + std::string(name) + "`";
}

std::string invalid_length(std::size_t count, std::string_view expected) {
    return "invalid length " + std::to_string(count) + ", expected " + std::string(expected);
}

}  // namespace parvello::request
