#pragma once
// Included before every source of the fuzz target. toml++'s internal assertions are compiled
// out of the packaged library (built with NDEBUG by g++, where its "assume" hints are no-ops),
// and one of them fires on malformed table headers such as "[[$x]]" that the parser goes on
// to refuse with a proper error. The fuzz target checks the parser as the agent runs it.
#define TOML_ASSERT(expr) static_cast<void>(0)
