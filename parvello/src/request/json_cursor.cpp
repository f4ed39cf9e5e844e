#include "json_cursor.hpp"

#include <algorithm>

namespace parvello::json {

int Cursor::peek() noexcept {
    while (pos_ < in_.size()) {
        const char c = in_[pos_];
        if (c != ' ' && c != '\n' && c != '\t' && c != '\r') return static_cast<unsigned char>(c);
        ++pos_;
    }
    return -1;
}

bool Cursor::fail(bool syntax, std::string text, std::size_t at) {
    if (!fault_) {
        fault_ = Fault{syntax, track_path_ ? render_path() : std::string(), std::move(text), at};
    }
    return false;
}

bool Cursor::syntax_read(std::string_view text) { return fail(true, std::string(text), pos_); }

bool Cursor::syntax_peeked(std::string_view text) {
    return fail(true, std::string(text), std::min(pos_ + 1, in_.size()));
}

bool Cursor::shape(std::string text, std::size_t at) { return fail(false, std::move(text), at); }

std::string Cursor::render_path() const {
    std::string out;
    for (const Segment& segment : path_) {
        if (segment.is_index) {
            out += '[';
            out += std::to_string(segment.index);
            out += ']';
        } else {
            if (!out.empty()) out += '.';
            out += segment.key;
        }
    }
    return out;
}

std::pair<std::size_t, std::size_t> Cursor::position(std::size_t at) const noexcept {
    const std::string_view before = in_.substr(0, at);
    const std::size_t line = 1 + static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n'));
    const std::size_t last_break = before.rfind('\n');
    const std::size_t column = last_break == std::string_view::npos ? at : at - last_break - 1;
    return {line, column};
}

bool Cursor::open() {
    if (depth_ >= kMaxDepth) return syntax_read("recursion limit exceeded");
    ++depth_;
    ++pos_;
    return true;
}

void Cursor::close() noexcept {
    ++pos_;
    --depth_;
}

Cursor::Step Cursor::next_member(bool& first) {
    int c = peek();
    if (c < 0) return syntax_peeked("EOF while parsing an object"), Step::Failed;
    if (c == '}') return Step::End;
    if (first) {
        first = false;
        if (c == '"') return Step::Item;
        return syntax_peeked("key must be a string"), Step::Failed;
    }
    if (c != ',') return syntax_peeked("expected `,` or `}`"), Step::Failed;
    ++pos_;
    c = peek();
    if (c == '"') return Step::Item;
    if (c == '}') return syntax_peeked("trailing comma"), Step::Failed;
    if (c < 0) return syntax_peeked("EOF while parsing a value"), Step::Failed;
    return syntax_peeked("key must be a string"), Step::Failed;
}

Cursor::Step Cursor::next_element(bool& first) {
    int c = peek();
    if (c < 0) return syntax_peeked("EOF while parsing a list"), Step::Failed;
    if (c == ']') return Step::End;
    if (first) {
        first = false;
        return Step::Item;
    }
    if (c != ',') return syntax_peeked("expected `,` or `]`"), Step::Failed;
    ++pos_;
    c = peek();
    if (c == ']') return syntax_peeked("trailing comma"), Step::Failed;
    if (c < 0) return syntax_peeked("EOF while parsing a value"), Step::Failed;
    return Step::Item;
}

bool Cursor::read_key(Text& key) {
    ++pos_;
    return read_string(&key);
}

bool Cursor::colon() {
    const int c = peek();
    if (c == ':') {
        ++pos_;
        return true;
    }
    if (c < 0) return syntax_peeked("EOF while parsing an object");
    return syntax_peeked("expected `:`");
}

bool Cursor::close_fixed_array() {
    const int c = peek();
    if (c == ']') {
        close();
        return true;
    }
    if (c == ',') {
        ++pos_;
        return syntax_peeked(peek() == ']' ? "trailing comma" : "trailing characters");
    }
    if (c < 0) return syntax_peeked("EOF while parsing a list");
    return syntax_peeked("trailing characters");
}

bool Cursor::literal(std::string_view rest) {
    for (const char expected : rest) {
        if (pos_ == in_.size()) return syntax_read("EOF while parsing a value");
        if (in_[pos_++] != expected) return syntax_read("expected ident");
    }
    return true;
}

bool Cursor::read_scalar(Scalar& out, bool check_range) { return scalar(out, &out.text, check_range); }

bool Cursor::scalar(Scalar& out, Text* text, bool check_range) {
    const int c = peek();
    switch (c) {
        case -1:
            return syntax_peeked("EOF while parsing a value");
        case '{':
            out.kind = Kind::Object;
            return true;
        case '[':
            out.kind = Kind::Array;
            return true;
        case '"':
            out.kind = Kind::String;
            ++pos_;
            return read_string(text);
        case 'n':
            out.kind = Kind::Null;
            ++pos_;
            return literal("ull");
        case 't':
            out.kind = Kind::Boolean;
            out.boolean = true;
            ++pos_;
            return literal("rue");
        case 'f':
            out.kind = Kind::Boolean;
            out.boolean = false;
            ++pos_;
            return literal("alse");
        default:
            if (c == '-' || (c >= '0' && c <= '9')) {
                out.kind = Kind::Number;
                return read_number(out.number, check_range);
            }
            return syntax_peeked("expected value");
    }
}

bool Cursor::finish() {
    if (peek() >= 0) return syntax_peeked("trailing characters");
    return true;
}

}  // namespace parvello::json
