// The built-in catalog, merged afresh into an empty catalog on every call. Kept apart from the
// merge so that the merge can be built without the embedded text.
#include "pvo-catalog/builtin_catalog.hpp"
#include "pvo-catalog/catalog.hpp"

namespace pvo_catalog {

std::expected<Catalog, CatalogError> load_builtin_catalog() {
    Catalog catalog;
    if (auto merged = merge_catalog_toml(catalog, BUILTIN_CATALOG); !merged)
        return std::unexpected(std::move(merged.error()));
    return catalog;
}

}  // namespace pvo_catalog
