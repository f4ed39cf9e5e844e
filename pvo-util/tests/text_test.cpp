#include "pvo-util/text.hpp"

#include <gtest/gtest.h>

using namespace pvo_util;

TEST(TrimUnicodeWhiteSpace, Table) {
    struct Case { std::string_view in, out; };
    const Case cases[] = {
        {"", ""},
        {"  localhost\t", "localhost"},
        {"\xC2\xA0::1\xE3\x80\x80", "::1"},              // NBSP and ideographic space
        {"\xE2\x80\x83" "a b\xE2\x80\xA8", "a b"},        // em space, line separator; inner kept
        {"\xE2\x80\x8B" "x", "\xE2\x80\x8B" "x"},          // zero-width space is not White_Space
        {"\x85x\x85", "\x85x\x85"},                         // a lone byte 0x85 is not U+0085
        {"\xC2\x85x\xC2\x85", "x"},                         // U+0085 is
        {" \xFF ", "\xFF"},                                  // invalid bytes stay
        {"   ", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(trim_unicode_white_space(c.in), c.out) << c.in;
}

TEST(Utf8Lossy, ReplacesEachMaximalInvalidSubpart) {
    struct Case { std::string_view in, out; };
    const Case cases[] = {
        {"abc", "abc"},
        {"\xC3\xA9", "\xC3\xA9"},
        {"a\xFF" "b", "a\xEF\xBF\xBD" "b"},
        {"\xE2\x82", "\xEF\xBF\xBD"},                     // truncated 3-byte sequence: one
        {"\xE2\x82" "A", "\xEF\xBF\xBD" "A"},
        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // surrogate: three
        {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},         // overlong: two
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
