#pragma once
// The decoder behind decode_base64's fault messages: a group of four symbols at a time, every
// check in text order. decode_base64 gives what this gives for every text; valid text goes a
// faster road there.
#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <vector>

namespace parvello {

std::expected<std::vector<std::uint8_t>, std::string> decode_base64_exact(std::string_view text);

}  // namespace parvello
