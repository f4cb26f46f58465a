// Whole frames of the twister column from the generated data set, even beats
// (the tube) and odd beats (the additive slices) apart, at times spread over
// beats 164-196. The data folder is data/ in the working directory, or
// $DUNRAVEL_DATA. Relies on the twister scene and the scene benchmarks' harness.
#include "scene_harness.h"
#include "scenes/scenes.h"

#include <benchmark/benchmark.h>

namespace
{

// range(0): 0 even beats, 1 odd beats.
void BM_TwisterFrame(benchmark::State& state)
{
    SceneBench f(state, {"twister_bg.jpg", twister_load, twister_free, twister_render,
                         "the twister's data does not load"});
    if (!f.loaded)
        return;
    const int odd = static_cast<int>(state.range(0));
    int k = 0;
    for (auto _ : state) {
        // Sixteen beats of one parity, 37 times a beat apart.
        const int frame = (k++ * 37) % (16 * 60);
        f.draw(164.0 + 2.0 * (frame / 60) + odd + (frame % 60) / 60.0);
    }
}
BENCHMARK(BM_TwisterFrame)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
