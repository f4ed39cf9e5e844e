#pragma once
// Media entries of the catalog: one record per known media SKU, with the physical media it
// describes. Media entries are read and checked on every load; nothing acts on their content.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace pvo_catalog {

// Face material, adhesive and background colour, each in its declaration order; the first
// value is the default.
enum class Material : std::uint8_t { Paper, Polypropylene, Vinyl, Nylon, Other };
enum class Adhesive : std::uint8_t { Permanent, Removable, Strong, None };
enum class MediaColor : std::uint8_t { White, Transparent, Yellow, Red, Other };

// The catalog words of each enumeration, in index order.
inline constexpr std::array<std::string_view, 5> material_words{"paper", "polypropylene", "vinyl", "nylon", "other"};
inline constexpr std::array<std::string_view, 4> adhesive_words{"permanent", "removable", "strong", "none"};
inline constexpr std::array<std::string_view, 5> media_color_words{"white", "transparent", "yellow", "red", "other"};

// Length along the feed: die-cut labels of a fixed length, or continuous tape cut to length.
namespace length {
struct Fixed {
    double mm = 0.0;
    bool operator==(const Fixed&) const = default;
};
struct Continuous {
    bool operator==(const Continuous&) const = default;
};
}  // namespace length
using MediaLength = std::variant<length::Fixed, length::Continuous>;

// How the printer finds the start of each label.
namespace sense {
struct Gap {
    double gap_mm = 3.0;
    double offset_mm = 0.0;
    bool operator==(const Gap&) const = default;
};
struct BlackMark {
    double mark_mm = 3.0;
    double offset_mm = 0.0;
    bool operator==(const BlackMark&) const = default;
};
struct Continuous {
    bool operator==(const Continuous&) const = default;
};
}  // namespace sense
using MediaSense = std::variant<sense::Gap, sense::BlackMark, sense::Continuous>;

struct MediaSpec {
    double width_mm = 0.0;
    MediaLength length = length::Continuous{};
    Material material = Material::Paper;
    Adhesive adhesive = Adhesive::Permanent;
    MediaColor color = MediaColor::White;
    bool two_color = false;
    std::optional<MediaSense> sense;  // absent: not stated
    bool operator==(const MediaSpec&) const = default;
};

struct ImageInfo {
    std::string url;
    std::string license = "unknown";
    std::optional<std::string> attribution;
    bool redistributable = false;
    bool operator==(const ImageInfo&) const = default;
};

// One media SKU. The first of `keys` is its canonical key; the merge matches records by keys.
struct CatalogEntry {
    std::string brand;
    std::vector<std::string> keys;
    std::string name;
    MediaSpec media;
    std::optional<ImageInfo> image;
    std::optional<std::string> purchase_url;
    std::vector<std::string> product_ids;
    bool operator==(const CatalogEntry&) const = default;
};

}  // namespace pvo_catalog
