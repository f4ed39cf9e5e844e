#include "pvo-util/text.hpp"

#include <gtest/gtest.h>

using namespace pvo_util;

TEST(TrimUnicodeWhiteSpace, Table) {
    struct Case {
        std::string_view in, out;
    };
    const Case cases[] = {
        {"", ""},
        {"  localhost\t", "localhost"},
        {"\xC2\xA0::1\xE3\x80\x80", "::1"},  // NBSP and ideographic space
        {"\xE2\x80\x83"
         "a b\xE2\x80\xA8",
         "a b"},  // em space, line separator; inner kept
        {"\xE2\x80\x8B"
         "x",
         "\xE2\x80\x8B"
         "x"},                       // zero-width space is not White_Space
        {"\x85x\x85", "\x85x\x85"},  // a lone byte 0x85 is not U+0085
        {"\xC2\x85x\xC2\x85", "x"},  // U+0085 is
        {" \xFF ", "\xFF"},          // invalid bytes stay
        {"   ", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(trim_unicode_white_space(c.in), c.out) << c.in;
}

TEST(TrimBlanks, SpacesAndTabsOnly) {
    struct Case {
        std::string_view in, out;
    };
    const Case cases[] = {
        {"", ""},
        {" \t ", ""},
        {"\tName = x ", "Name = x"},
        {"\xC2\xA0x\r\n", "\xC2\xA0x\r\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(trim_blanks(c.in), c.out) << c.in;
}

TEST(Utf8Lossy, ReplacesEachMaximalInvalidSubpart) {
    struct Case {
        std::string_view in, out;
    };
    const Case cases[] = {
        {"abc", "abc"},
        {"\xC3\xA9", "\xC3\xA9"},
        {"a\xFF"
         "b",
         "a\xEF\xBF\xBD"
         "b"},
        {"\xE2\x82", "\xEF\xBF\xBD"},  // truncated 3-byte sequence: one
        {"\xE2\x82"
         "A",
         "\xEF\xBF\xBD"
         "A"},
        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // surrogate: three
        {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},                  // overlong: two
        {"\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
    };
    for (const auto& c : cases) EXPECT_EQ(utf8_lossy(c.in), c.out);
}

TEST(Utf8Validation, AcceptsOnlyWellFormed) {
    EXPECT_TRUE(is_valid_utf8("plain \xF0\x9F\x96\xA8 printer"));
    EXPECT_FALSE(is_valid_utf8("\xED\xA0\x80"));
    EXPECT_FALSE(is_valid_utf8("\xC3"));
    EXPECT_FALSE(is_valid_utf8("\xF5\x80\x80\x80"));
}

TEST(AsciiFolding, OnlyAsciiLettersChange) {
    EXPECT_EQ(ascii_lower("DymoLW \xC3\x89"), "dymolw \xC3\x89");
    EXPECT_TRUE(ascii_iequals("LocalHost", "localhost"));
    EXPECT_FALSE(ascii_iequals("localhost", "localhos"));
}

TEST(AppendUtf8, EncodesEachLength) {
    std::string out;
    for (char32_t c : {U'A', U'\u00E9', U'\u20AC', U'\U0001F5A8'}) append_utf8(out, c);
    EXPECT_EQ(out, "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x96\xA8");
    EXPECT_TRUE(is_valid_utf8(out));
}

TEST(Quoted, EscapesQuotesBackslashesAndControls) {
    EXPECT_EQ(pvo_util::quoted(""), "\"\"");
    EXPECT_EQ(pvo_util::quoted("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(pvo_util::quoted("\t\r\n" + std::string(1, '\0')), "\"\\t\\r\\n\\0\"");
    EXPECT_EQ(pvo_util::quoted("\x01\x1b\x7f"), "\"\\u{1}\\u{1b}\\u{7f}\"");
    EXPECT_EQ(pvo_util::quoted("\xC2\x85\xC3\xA9"), "\"\\u{85}\xC3\xA9\"");  // C1 escaped, e-acute kept
    EXPECT_EQ(pvo_util::quoted("\xFF"), "\"\xEF\xBF\xBD\"");
}

// Each character with its quoted form and its single-line form: the two escapings differ only
// in quotes, backslashes and tab; hidden characters are escaped alike in both.
TEST(Escaping, QuotedAndSingleLineAgreeOnHiddenCharacters) {
    struct Case {
        std::string_view in, quoted, single_line;
    };
    const Case cases[] = {
        {"\t", "\"\\t\"", "\t"},
        {"\"\\", "\"\\\"\\\\\"", "\"\\"},
        {std::string_view("\0", 1), "\"\\0\"", "\\0"},
        {"\r\n", "\"\\r\\n\"", "\\r\\n"},
        {"\x1b[2J", "\"\\u{1b}[2J\"", "\\u{1b}[2J"},
        {"\xC2\x9B", "\"\\u{9b}\"", "\\u{9b}"},  // C1 CSI
        {"\xC2\xAD", "\"\\u{ad}\"", "\\u{ad}"},  // soft hyphen
        {"a\xE2\x80\x8B"
         "b",
         "\"a\\u{200b}b\"", "a\\u{200b}b"},              // zero-width space
        {"\xE2\x80\x8F", "\"\\u{200f}\"", "\\u{200f}"},  // right-to-left mark
        {"\xE2\x80\xA8", "\"\\u{2028}\"", "\\u{2028}"},  // line separator
        {"\xE2\x80\xAE"
         "cba",
         "\"\\u{202e}cba\"", "\\u{202e}cba"},            // right-to-left override
        {"\xE2\x81\xA7", "\"\\u{2067}\"", "\\u{2067}"},  // right-to-left isolate
        {"\xEF\xBB\xBF", "\"\\u{feff}\"", "\\u{feff}"},  // byte order mark
        {"\xE2\x80\xAF\xE2\x80\x94", "\"\xE2\x80\xAF\xE2\x80\x94\"", "\xE2\x80\xAF\xE2\x80\x94"},  // visible: kept
        {"\xC2", "\"\xEF\xBF\xBD\"", "\xEF\xBF\xBD"},                                              // truncated sequence
        {"\xE2\x80", "\"\xEF\xBF\xBD\"", "\xEF\xBF\xBD"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(quoted(c.in), c.quoted) << c.in;
        std::string line = "x=";
        append_single_line(line, c.in);
        EXPECT_EQ(line, "x=" + std::string(c.single_line)) << c.in;
    }
}
