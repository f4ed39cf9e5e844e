// Loading the built-in catalog, as device discovery does on every device listing: the whole
// text parsed and merged into a fresh catalog. Reports the median of repeated runs; reading
// the records alone (no merge) is measured beside it to show where the time goes.
#include "pvo-catalog/builtin_catalog.hpp"
#include "pvo-catalog/catalog.hpp"
#include "pvo-catalog/catalog_file.hpp"

#include <benchmark/benchmark.h>

namespace {

void BM_LoadBuiltinCatalog(benchmark::State& state) {
    for (auto _ : state) {
        auto catalog = pvo_catalog::load_builtin_catalog();
        if (!catalog) state.SkipWithError("the built-in catalog does not load");
        benchmark::DoNotOptimize(catalog);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(pvo_catalog::BUILTIN_CATALOG.size()));
}
BENCHMARK(BM_LoadBuiltinCatalog)->Unit(benchmark::kMillisecond)->Repetitions(15)->ReportAggregatesOnly(true);

void BM_ParseBuiltinCatalogFile(benchmark::State& state) {
    for (auto _ : state) {
        auto file = pvo_catalog::parse_catalog_file(pvo_catalog::BUILTIN_CATALOG);
        benchmark::DoNotOptimize(file);
    }
}
BENCHMARK(BM_ParseBuiltinCatalogFile)->Unit(benchmark::kMillisecond)->Repetitions(15)->ReportAggregatesOnly(true);

}  // namespace
