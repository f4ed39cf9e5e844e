#pragma once
// The catalog text built into the program (UTF-8 TOML, CRLF line ends), embedded at build time
// from pvo-catalog/data/builtin_catalog.toml. Nothing is read from disk at run time.
#include <string_view>

namespace pvo_catalog {

extern const std::string_view BUILTIN_CATALOG;

}  // namespace pvo_catalog
