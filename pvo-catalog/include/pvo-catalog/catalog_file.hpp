#pragma once
// The reader of one catalog document: the whole TOML text to its media and device records.
#include <expected>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "pvo-catalog/device.hpp"
#include "pvo-catalog/media.hpp"

namespace pvo_catalog {

// A document as read, before any merge: both lists in document order.
struct CatalogFile {
    std::vector<CatalogEntry> entries;
    std::vector<DeviceEntry> devices;
};

// Why a document was refused: the place of the fault (line and column, or the dotted key path
// with its position) and what is wrong there.
struct CatalogReadError {
    std::string message;
    bool operator==(const CatalogReadError&) const = default;
    friend std::ostream& operator<<(std::ostream& out, const CatalogReadError& e) { return out << e.message; }
};

// Reads the whole text. Keys and words are matched exactly, unknown keys are skipped, absent
// keys take their defaults, an integer is accepted where a float is expected, and the first
// fault refuses the whole document.
std::expected<CatalogFile, CatalogReadError> parse_catalog_file(std::string_view text);

}  // namespace pvo_catalog
