#include "pvo-client-delivery/delivery_error.hpp"

#include <cstdio>

#include "pvo-util/text.hpp"

namespace pvo_delivery {
namespace {

void append_code_point_escape(std::string& out, unsigned code_point) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "\\u{%x}", code_point);
    out += buf;
}

// The text in double quotes, with double quotes, backslashes and control characters (C0, DEL
// and C1) escaped by a backslash. Invalid UTF-8 is decoded lossily first, so the result is
// always printable text.
std::string quoted(std::string_view raw) {
    const std::string text = pvo_util::utf8_lossy(raw);
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        switch (c) {
            case '"': out += "\\\""; continue;
            case '\\': out += "\\\\"; continue;
            case '\t': out += "\\t"; continue;
            case '\r': out += "\\r"; continue;
            case '\n': out += "\\n"; continue;
            case '\0': out += "\\0"; continue;
            default: break;
        }
        if (c < 0x20 || c == 0x7F) {
            append_code_point_escape(out, c);
        } else if (c == 0xC2 && i + 1 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            // U+0080..U+009F: in valid UTF-8 a 0xC2 lead byte is always followed by 0x80..0xBF.
            append_code_point_escape(out, static_cast<unsigned char>(text[i + 1]));
            ++i;
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
    return out;
}

}  // namespace

std::string DeliveryError::message() const {
    switch (kind) {
        case Kind::EmptyPayload:
            return "empty label payload";
        case Kind::Malformed:
            return handshake + " job is malformed: " + detail;
        case Kind::UnsupportedDriverVariant:
            return "unsupported driver variant " + quoted(detail) + " for " + handshake;
        case Kind::InvalidCall:
            break;
    }
    return "invalid session call: " + detail;
}

}  // namespace pvo_delivery
