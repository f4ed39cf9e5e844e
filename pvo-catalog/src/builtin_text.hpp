#pragma once
// Between the merge and the built-in catalog: the merge recognises the built-in text, and the
// built-in catalog is made by the merge's parsing road.
#include <expected>
#include <string_view>

#include "pvo-catalog/catalog.hpp"

namespace pvo_catalog {

// Whether `text` is the built-in text itself: the same bytes at the same place.
bool is_builtin_text(std::string_view text) noexcept;

// Parses `text` and merges its records into `catalog`; never takes the built-in shortcut.
std::expected<void, CatalogError> parse_and_merge(Catalog& catalog, std::string_view text);

}  // namespace pvo_catalog
