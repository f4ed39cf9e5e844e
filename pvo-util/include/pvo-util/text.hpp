#pragma once
// Text helpers shared by every layer: Unicode white-space trimming of UTF-8 text, lossy
// UTF-8 decoding of bytes, escaping for messages and log lines, ASCII case folding and UTF-8
// validation.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace pvo_util {

// True for the code points with the Unicode White_Space property.
bool is_unicode_white_space(char32_t c) noexcept;

// Removes leading and trailing Unicode White_Space characters. The input is expected to be
// valid UTF-8; an invalid sequence at either end is treated as a non-space and kept.
std::string_view trim_unicode_white_space(std::string_view text) noexcept;

// Removes leading and trailing spaces and tabs only.
std::string_view trim_blanks(std::string_view text) noexcept;

// Decodes bytes as UTF-8, replacing each maximal invalid subpart with U+FFFD.
std::string utf8_lossy(std::span<const std::uint8_t> bytes);
std::string utf8_lossy(std::string_view bytes);

// True when the bytes are well-formed UTF-8 (no surrogates, no overlong forms, <= U+10FFFF).
bool is_valid_utf8(std::string_view bytes) noexcept;

// Appends the UTF-8 form of a code point (the caller passes a scalar value, not a surrogate).
void append_utf8(std::string& out, char32_t code_point);

// Escaped text never breaks a line and hides nothing: the controls (C0, DEL, C1) and the
// invisible format characters (soft hyphen, zero-width and direction marks, line and paragraph
// separators, direction embeddings, overrides and isolates, word joiner, byte order mark) are
// written as \r, \n, \0 or \u{hex}. Invalid UTF-8 is decoded lossily first (U+FFFD), so the
// result is always valid UTF-8.

// The text in double quotes, with double quotes, backslashes and tabs (\t) escaped as well.
std::string quoted(std::string_view text);

// Appends the text for one line of running text: tabs, double quotes and backslashes stay.
void append_single_line(std::string& out, std::string_view text);

// ASCII A-Z folded to a-z; every other byte unchanged.
std::string ascii_lower(std::string_view text);
bool ascii_iequals(std::string_view a, std::string_view b) noexcept;

}  // namespace pvo_util
