// The yardstick as a Google Benchmark entry, compiled into every benchmark
// program (bench/CMakeLists.txt), so that each run reports it beside its own
// figures: read them as multiples of BM_Yardstick.
#include "yardstick/yardstick.h"

#include <benchmark/benchmark.h>

namespace
{
void BM_Yardstick(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(yardstick_frame(nullptr));
}
BENCHMARK(BM_Yardstick)->Unit(benchmark::kMillisecond);
} // namespace
