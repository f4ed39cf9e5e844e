// The built-in catalog: parsed on first use and kept. Kept apart from the merge so that the
// merge's own logic can be read without the embedded text.
#include "builtin_text.hpp"
#include "pvo-catalog/builtin_catalog.hpp"
#include "pvo-catalog/catalog.hpp"

namespace pvo_catalog {

bool is_builtin_text(std::string_view text) noexcept {
    return text.data() == BUILTIN_CATALOG.data() && text.size() == BUILTIN_CATALOG.size();
}

const std::expected<Catalog, CatalogError>& builtin_catalog() {
    // A local static is initialised exactly once even when several threads ask at the same
    // time; a parse that throws (out of memory) leaves it for the next call to try again.
    static const std::expected<Catalog, CatalogError> kept = []() -> std::expected<Catalog, CatalogError> {
        Catalog catalog;
        if (auto merged = parse_and_merge(catalog, BUILTIN_CATALOG); !merged)
            return std::unexpected(std::move(merged.error()));
        return catalog;
    }();
    return kept;
}

std::expected<Catalog, CatalogError> load_builtin_catalog() { return builtin_catalog(); }

}  // namespace pvo_catalog
