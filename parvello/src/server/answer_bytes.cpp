#include "server/answer_bytes.hpp"

#include <algorithm>
#include <charconv>

#include "pvo-util/text.hpp"

namespace parvello {

namespace {

bool framing_field(std::string_view name) {
    return pvo_util::ascii_iequals(name, "Connection") || pvo_util::ascii_iequals(name, "Content-Length") ||
           pvo_util::ascii_iequals(name, "Transfer-Encoding");
}

bool bodiless(Status status) {
    const unsigned code = status_code(status);
    return code / 100 == 1 || code == 204 || code == 304;
}

void append_number(std::string& out, std::size_t number) {
    char digits[20];
    const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
    out.append(digits, end);
}

void append_field(std::string& out, std::string_view name, std::string_view value) {
    out.append(name).append(": ").append(value).append("\r\n");
}

}  // namespace

void append_answer_head(std::string& out, const Response& response, AnswerFraming framing) {
    out += "HTTP/";
    out += static_cast<char>('0' + framing.version / 10 % 10);
    out += '.';
    out += static_cast<char>('0' + framing.version % 10);
    out += ' ';
    append_number(out, status_code(response.status));
    out += ' ';
    out += reason_phrase(response.status);
    out += "\r\n";
    const auto& fields = response.fields;
    // The fields are kept in their wire form: they go as they are unless one of them is the
    // framing's own.
    if (std::none_of(fields.begin(), fields.end(), [](const auto& field) { return framing_field(field.name); })) {
        out += fields.wire();
    } else {
        for (const auto& field : fields) {
            if (!framing_field(field.name)) append_field(out, field.name, field.value);
        }
    }
    if (framing.version < 11 && framing.keep_alive) append_field(out, "Connection", "keep-alive");
    if (framing.version >= 11 && !framing.keep_alive) append_field(out, "Connection", "close");
    if (!bodiless(response.status)) {
        out += "Content-Length: ";
        append_number(out, response.body.size());
        out += "\r\n";
    }
    out += "\r\n";
}

std::string_view answer_body(const Response& response, AnswerFraming framing) noexcept {
    if (bodiless(response.status) || framing.head) return {};
    return response.body;
}

std::string answer_bytes(const Response& response, AnswerFraming framing) {
    const std::string_view body = answer_body(response, framing);
    std::string out;
    out.reserve(256 + response.fields.wire().size() + body.size());
    append_answer_head(out, response, framing);
    out += body;
    return out;
}

}  // namespace parvello
