#pragma once
// A pull reader over JSON text: the caller asks for what it expects next (a member, an element,
// a key, a scalar, a value to skip) and the cursor reads exactly that, checking the grammar as
// it goes. Every reading call returns false on a fault and its callers stop at once, so the
// fault kept is the first one in text order, with the byte offset at which it was detected
// and, when paths are tracked, the path of the value being read.
//
// Strings are views of the input unless they hold escapes, so large values are not copied
// here. The cursor depends on nothing but pvo-util and the standard library.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace parvello::json {

// Arrays and objects nest at most this deep, the outermost counting as the first.
inline constexpr int kMaxDepth = 127;

enum class Kind : std::uint8_t { Null, Boolean, Number, String, Object, Array };

struct Number {
    enum class Kind : std::uint8_t { Unsigned, Negative, Float };
    Kind kind = Kind::Unsigned;
    std::uint64_t unsigned_value = 0;  // Unsigned
    std::int64_t negative_value = 0;   // Negative: below zero
    double float_value = 0;            // Float: with a fraction or exponent, -0, or too large
};

// A string as read: a view of the input when it held no escape, else its decoded text.
struct Text {
    std::string_view raw;
    std::string decoded;
    bool escaped = false;

    std::string_view view() const noexcept { return escaped ? std::string_view(decoded) : raw; }
    // The text as an owned string: the one copy of a view, or the decoded text moved out.
    std::string take() { return escaped ? std::move(decoded) : std::string(raw); }
};

// One JSON value. An object or array is described by its kind alone and is left unread.
struct Scalar {
    Kind kind = Kind::Null;
    bool boolean = false;
    Number number;
    Text text;
};

struct Fault {
    bool syntax = true;  // false: the JSON is well-formed but does not fit the record
    std::string path;    // rendered when the cursor tracks paths
    std::string text;
    std::size_t at = 0;  // the position is that of the byte before this offset
};

class Cursor {
public:
    // `keeper`, when given, keeps `input` alive: values may share it to view the input after the
    // read.
    Cursor(std::string_view input, bool track_path, std::shared_ptr<const void> keeper = {})
        : in_(input), track_path_(track_path), keeper_(std::move(keeper)) {}

    const std::shared_ptr<const void>& keeper() const noexcept { return keeper_; }

    // Skips white space; the next byte, or -1 at the end of the text.
    int peek() noexcept;
    std::size_t offset() const noexcept { return pos_; }
    const std::optional<Fault>& fault() const noexcept { return fault_; }

    // Record a fault and return false. `syntax_read` places it at the last byte read,
    // `syntax_peeked` at the byte just peeked, `shape` at the given offset.
    bool syntax_read(std::string_view text);
    bool syntax_peeked(std::string_view text);
    bool shape(std::string text, std::size_t at);
    bool shape_here(std::string text) { return shape(std::move(text), pos_); }

    // The path of the value being read: keys and list positions.
    void push_key(std::string_view key) { path_.push_back({key, 0, false}); }
    void push_index(std::size_t index) { path_.push_back({{}, index, true}); }
    void pop() noexcept { path_.pop_back(); }

    // At a peeked '{' or '[': counts the level against the nesting limit and consumes it.
    bool open();
    // At the peeked closing bracket that `next_member` or `next_element` reported.
    void close() noexcept;

    // Between the entries of an open object or array: whether another entry follows. `first`
    // is true before the first entry and is cleared here. On Item, an object's next byte is
    // the opening quote of a key.
    enum class Step : std::uint8_t { Item, End, Failed };
    Step next_member(bool& first);
    Step next_element(bool& first);

    // A key at its peeked opening quote, then the colon after it.
    bool read_key(Text& key);
    bool colon();

    // After the last field of a record written as an array: the closing bracket must follow.
    bool close_fixed_array();

    // The next value. A string, number or literal is read whole; an object or array is only
    // peeked and reported by its kind. `check_range` refuses numbers too large for a double.
    bool read_scalar(Scalar& out, bool check_range = true);

    // Reads the next value of any kind and checks it, keeping nothing.
    bool skip_value();

    // After the top-level value: nothing but white space may follow.
    bool finish();

    // Line and column of the byte before `at` (1-based line; column 0 at a line's start).
    std::pair<std::size_t, std::size_t> position(std::size_t at) const noexcept;

private:
    struct Segment {
        std::string_view key;
        std::size_t index;
        bool is_index;
    };

    bool fail(bool syntax, std::string text, std::size_t at);
    std::string render_path() const;
    bool literal(std::string_view rest);
    // The next value into `out`; a string's text goes to `text`, or is only checked when null.
    bool scalar(Scalar& out, Text* text, bool check_range);
    // After the opening quote: the string up to and including its closing quote. With
    // `out` null the text is checked but not kept.
    bool read_string(Text* out);
    bool read_escape(std::string* out);
    bool read_hex4(std::uint16_t& value);
    // At a peeked '-' or digit.
    bool read_number(Number& out, bool check_range);
    bool read_fraction(Number& out, bool negative, std::uint64_t significand, int exponent, bool check_range);
    bool read_exponent(Number& out, bool negative, std::uint64_t significand, int exponent, bool check_range);
    bool make_float(Number& out, bool negative, std::uint64_t significand, int exponent, bool check_range);

    std::string_view in_;
    std::size_t pos_ = 0;
    int depth_ = 0;
    bool track_path_;
    std::shared_ptr<const void> keeper_;
    std::vector<Segment> path_;
    std::optional<Fault> fault_;
};

}  // namespace parvello::json
