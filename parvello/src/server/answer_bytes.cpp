#include "server/answer_bytes.hpp"

#include <string_view>

#include "pvo-util/text.hpp"

namespace parvello {

namespace {

bool framing_field(std::string_view name) {
    return pvo_util::ascii_iequals(name, "Connection") || pvo_util::ascii_iequals(name, "Content-Length") ||
           pvo_util::ascii_iequals(name, "Transfer-Encoding");
}

void append_field(std::string& out, std::string_view name, std::string_view value) {
    out += name;
    out += ": ";
    out += value;
    out += "\r\n";
}

}  // namespace

std::string answer_bytes(const Response& response, AnswerFraming framing) {
    const unsigned code = status_code(response.status);
    const bool bodiless = code / 100 == 1 || code == 204 || code == 304;
    const bool with_body = !bodiless && !framing.head;

    std::string out;
    out.reserve(256 + (with_body ? response.body.size() : 0));
    out += "HTTP/";
    out += static_cast<char>('0' + framing.version / 10 % 10);
    out += '.';
    out += static_cast<char>('0' + framing.version % 10);
    out += ' ';
    out += std::to_string(code);
    out += ' ';
    out += reason_phrase(response.status);
    out += "\r\n";
    for (const auto& field : response.fields) {
        if (!framing_field(field.name)) append_field(out, field.name, field.value);
    }
    if (framing.version < 11 && framing.keep_alive) append_field(out, "Connection", "keep-alive");
    if (framing.version >= 11 && !framing.keep_alive) append_field(out, "Connection", "close");
    if (!bodiless) append_field(out, "Content-Length", std::to_string(response.body.size()));
    out += "\r\n";
    if (with_body) out += response.body;
    return out;
}

}  // namespace parvello
