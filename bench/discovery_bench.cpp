// One device listing as GET /devices makes it (discovery and the JSON answer), without HTTP.
// Run it under the bench devices to list something:
//
//   umockdev-run -d bench/devices.umockdev -- build/bench/bench/discovery_bench
#include <benchmark/benchmark.h>

#include "pvo-device/discovery.hpp"

namespace {

void BM_DeviceListing(benchmark::State& state) {
    pvo_device::prepare_discovery();
    for (auto _ : state) benchmark::DoNotOptimize(pvo_device::write_device_list(pvo_device::discover_devices()));
}
BENCHMARK(BM_DeviceListing);

}  // namespace
