#pragma once
// The driver variant a NIIMBOT job names: which packet handling its printer model needs.
#include <cstdint>
#include <optional>
#include <string_view>

namespace pvo_driver_niimbot {

// standard and v4 take the job as one write; b1 takes it in packet-aligned writes with the
// print-end packet held back until the page is printed.
enum class NiimbotVariant : std::uint8_t { Standard, V4, B1 };

// "standard", "v4" or "b1" with ASCII letters in any case; nothing is trimmed, so " b1" is
// not a variant. Anything else, the empty text included, gives none.
std::optional<NiimbotVariant> parse_niimbot_variant(std::string_view text);

}  // namespace pvo_driver_niimbot
