// Merging catalog documents and loading the built-in one.
#include "pvo-catalog/catalog.hpp"

#include <algorithm>

#include "pvo-catalog/builtin_catalog.hpp"
#include "pvo-catalog/catalog_file.hpp"
#include "pvo-util/text.hpp"

namespace pvo_catalog {
namespace {

// Texts of the older layout named device tables [[printers]]; such a text would otherwise load
// as a catalog without devices, so it is refused before parsing, wherever the bytes stand.
constexpr std::string_view obsolete_header = "[[printers]]";
constexpr std::string_view obsolete_message =
    "catalog uses obsolete [[printers]] tables; rename them to [[devices]]";

bool share_a_key(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    return std::ranges::any_of(a, [&](const std::string& x) {
        return std::ranges::any_of(b, [&](const std::string& y) { return same_key(x, y); });
    });
}

// Removes every earlier record that shares a key with `record`, then appends it.
template <typename Record>
void merge_record(std::vector<Record>& records, Record&& record) {
    std::erase_if(records, [&](const Record& old) { return share_a_key(old.keys, record.keys); });
    records.push_back(std::move(record));
}

}  // namespace

bool same_key(std::string_view a, std::string_view b) noexcept {
    return pvo_util::ascii_iequals(a, b);
}

std::expected<void, CatalogError> merge_catalog_toml(Catalog& catalog, std::string_view text) {
    if (text.find(obsolete_header) != std::string_view::npos)
        return std::unexpected(CatalogError::parse(std::string(obsolete_message)));
    auto file = parse_catalog_file(text);
    if (!file) return std::unexpected(CatalogError::parse(std::move(file.error().message)));
    // Every failure is behind us: from here on the catalog only changes by whole records.
    for (auto& entry : file->entries) merge_record(catalog.entries, std::move(entry));
    for (auto& device : file->devices) merge_record(catalog.devices, std::move(device));
    return {};
}

std::expected<Catalog, CatalogError> load_builtin_catalog() {
    Catalog catalog;
    if (auto merged = merge_catalog_toml(catalog, BUILTIN_CATALOG); !merged)
        return std::unexpected(std::move(merged.error()));
    return catalog;
}

}  // namespace pvo_catalog
