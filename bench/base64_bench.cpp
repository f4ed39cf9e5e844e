// Decoding one large label's base64 text (1,500,000 bytes, 2,000,000 symbols), as a print job
// does before anything reaches the printer. Reports the text decoded in MB/s.
#include "parvello/base64.hpp"

#include <benchmark/benchmark.h>

#include <string>

#include "large_label.hpp"

namespace {

void BM_DecodeLabel(benchmark::State& state) {
    const std::string text = bench::base64_label(bench::kLabelBytes);
    for (auto _ : state) {
        auto bytes = parvello::decode_base64(text);
        if (!bytes) {
            state.SkipWithError(bytes.error().c_str());
            break;
        }
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["MB/s"] =
        benchmark::Counter(static_cast<double>(text.size()) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

}  // namespace

BENCHMARK(BM_DecodeLabel);
