// Merging catalog documents.
#include "pvo-catalog/catalog.hpp"

#include <algorithm>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "builtin_text.hpp"
#include "pvo-catalog/catalog_file.hpp"
#include "pvo-util/text.hpp"

namespace pvo_catalog {
namespace {

// Texts of the older layout named device tables [[printers]]; such a text would otherwise load
// as a catalog without devices, so it is refused before parsing, wherever the bytes stand.
constexpr std::string_view obsolete_header = "[[printers]]";
constexpr std::string_view obsolete_message = "catalog uses obsolete [[printers]] tables; rename them to [[devices]]";

bool share_a_key(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    return std::ranges::any_of(a, [&](const std::string& x) {
        return std::ranges::any_of(b, [&](const std::string& y) { return same_key(x, y); });
    });
}

// Appends each incoming record after removing every earlier record that shares a key with it.
// The folded keys of the merged records are kept in a set, so a record that shares no key
// (nearly every one) is appended without comparing it against every earlier record.
template <typename Record>
void merge_records(std::vector<Record>& records, std::vector<Record>& incoming) {
    std::unordered_set<std::string> known;
    auto add_keys = [&](const Record& r) {
        for (const std::string& k : r.keys) known.insert(pvo_util::ascii_lower(k));
    };
    std::ranges::for_each(records, add_keys);
    for (Record& record : incoming) {
        const bool shares = std::ranges::any_of(
            record.keys, [&](const std::string& k) { return known.contains(pvo_util::ascii_lower(k)); });
        if (shares) {
            std::erase_if(records, [&](const Record& old) { return share_a_key(old.keys, record.keys); });
            known.clear();  // the removed records' keys leave the set
            std::ranges::for_each(records, add_keys);
        }
        add_keys(record);
        records.push_back(std::move(record));
    }
}

}  // namespace

bool same_key(std::string_view a, std::string_view b) noexcept { return pvo_util::ascii_iequals(a, b); }

std::expected<void, CatalogError> merge_catalog_toml(Catalog& catalog, std::string_view text) {
    // Merged into an empty catalog, the built-in text gives exactly the built-in catalog, which
    // is parsed once and kept.
    if (catalog.entries.empty() && catalog.devices.empty() && is_builtin_text(text)) {
        const auto& builtin = builtin_catalog();
        if (!builtin) return std::unexpected(builtin.error());
        catalog = *builtin;
        return {};
    }
    return parse_and_merge(catalog, text);
}

std::expected<std::shared_ptr<const Catalog>, CatalogError> read_catalog(std::string_view text) {
    if (is_builtin_text(text)) {
        const auto& builtin = builtin_catalog();
        if (!builtin) return std::unexpected(builtin.error());
        // Kept for the life of the program: the pointer shares it without owning it.
        return std::shared_ptr<const Catalog>(std::shared_ptr<const Catalog>(), &*builtin);
    }
    auto catalog = std::make_shared<Catalog>();
    if (auto merged = parse_and_merge(*catalog, text); !merged) return std::unexpected(std::move(merged.error()));
    return catalog;
}

std::expected<void, CatalogError> parse_and_merge(Catalog& catalog, std::string_view text) {
    if (text.find(obsolete_header) != std::string_view::npos)
        return std::unexpected(CatalogError::parse(std::string(obsolete_message)));
    auto file = parse_catalog_file(text);
    if (!file) return std::unexpected(CatalogError::parse(std::move(file.error().message)));
    // Every failure is behind us: from here on the catalog only changes by whole records.
    merge_records(catalog.entries, file->entries);
    merge_records(catalog.devices, file->devices);
    return {};
}

}  // namespace pvo_catalog
