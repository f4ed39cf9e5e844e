#include "shape_messages.hpp"

#include <charconv>
#include <cstdlib>

#include "pvo-util/text.hpp"

namespace parvello::request {

std::string float_text(double value) {
    // The shortest round-trip digits come from the scientific form "d.ddde±x"; they are laid
    // out as plain decimals for exponents up to 16 and down to -5, else as "d.ddde{x}".
    char buffer[40];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific).ptr;
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
        case json::Kind::Null:
            return "null";
        case json::Kind::Boolean:
            return value.boolean ? "boolean `true`" : "boolean `false`";
        case json::Kind::String:
            return "string " + pvo_util::quoted(value.text.view());
        case json::Kind::Object:
            return "map";
        case json::Kind::Array:
            return "sequence";
        case json::Kind::Number:
            break;
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

std::string missing_field(std::string_view name) { return "missing field `" + std::string(name) + "`"; }

std::string duplicate_field(std::string_view name) { return "duplicate field `" + std::string(name) + "`"; }

std::string invalid_length(std::size_t count, std::string_view expected) {
    return "invalid length " + std::to_string(count) + ", expected " + std::string(expected);
}

}  // namespace parvello::request
