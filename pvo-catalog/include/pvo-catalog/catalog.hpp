#pragma once
// The merged catalog and its loading: documents are merged so that a later record replaces
// every earlier record of its kind that shares one of its keys.
#include <cstdint>
#include <expected>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pvo-catalog/device.hpp"
#include "pvo-catalog/media.hpp"

namespace pvo_catalog {

// No two entries, and no two devices, share a key; entry keys and device keys never meet.
struct Catalog {
    std::vector<CatalogEntry> entries;
    std::vector<DeviceEntry> devices;
};

struct CatalogError {
    enum class Kind : std::uint8_t { Parse };
    Kind kind = Kind::Parse;
    std::string message;

    static CatalogError parse(std::string text) { return {Kind::Parse, std::move(text)}; }
    // "failed to parse catalog: " followed by the message.
    std::string display() const { return "failed to parse catalog: " + message; }
    bool operator==(const CatalogError&) const = default;
    friend std::ostream& operator<<(std::ostream& out, const CatalogError& e) { return out << e.display(); }
};

// Two keys are the same when they are equal after folding ASCII A-Z to a-z; every other byte,
// those of non-ASCII characters included, must match exactly.
bool same_key(std::string_view a, std::string_view b) noexcept;

// Merges one catalog text into `catalog`. On failure the catalog is left exactly as it was.
// The built-in text itself (BUILTIN_CATALOG) merged into an empty catalog gives a copy of
// `builtin_catalog()`, without parsing the text again.
std::expected<void, CatalogError> merge_catalog_toml(Catalog& catalog, std::string_view text);

// The built-in text merged into an empty catalog, or the error that refused it. The text never
// changes while the program runs, so it is parsed once, on the first call from any thread, and
// the result is kept for the life of the program.
const std::expected<Catalog, CatalogError>& builtin_catalog();

// A copy of `builtin_catalog()`: every call gives an equal catalog that its caller owns.
std::expected<Catalog, CatalogError> load_builtin_catalog();

// The catalog that `text` gives merged into an empty catalog, for reading only. For the
// built-in text that is the kept `builtin_catalog()` itself, shared instead of copied; any
// other text is parsed afresh into a catalog of its own.
std::expected<std::shared_ptr<const Catalog>, CatalogError> read_catalog(std::string_view text);

}  // namespace pvo_catalog
