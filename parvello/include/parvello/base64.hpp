#pragma once
// A strict decoder of standard base64 (RFC 4648 alphabet with "+" and "/", "=" padding).
//
// Label payloads arrive as base64 text, and a label that decodes to anything other than what
// the page meant would be printed wrong, so nothing is guessed: the text must be padded with
// exactly the "=" its length needs, hold no other character (blanks included) and leave the
// unused low bits of its last symbol at zero. Callers trim surrounding white space first.
#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <vector>

namespace parvello {

// The decoded bytes, or the first fault as one of these messages (offsets are 0-based byte
// positions in `text`, bytes in decimal):
//   "Invalid symbol {byte}, offset {offset}."       a byte outside the alphabet, or a "=" that
//                                                   is not part of the closing padding
//   "Invalid input length: {symbols}"               a symbol count (padding not counted) that
//                                                   leaves one symbol over, which encodes no byte
//   "Invalid padding"                               missing or surplus "="
//   "Invalid last symbol {byte}, offset {offset}."  unused low bits of the last symbol set
// The empty text decodes to no bytes.
std::expected<std::vector<std::uint8_t>, std::string> decode_base64(std::string_view text);

}  // namespace parvello
