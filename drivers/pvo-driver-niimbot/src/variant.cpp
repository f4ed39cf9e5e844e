#include "pvo-driver-niimbot/variant.hpp"

#include "pvo-util/text.hpp"

namespace pvo_driver_niimbot {

std::optional<NiimbotVariant> parse_niimbot_variant(std::string_view text) {
    if (pvo_util::ascii_iequals(text, "standard")) return NiimbotVariant::Standard;
    if (pvo_util::ascii_iequals(text, "v4")) return NiimbotVariant::V4;
    if (pvo_util::ascii_iequals(text, "b1")) return NiimbotVariant::B1;
    return std::nullopt;
}

}  // namespace pvo_driver_niimbot
