// Cost of the ribbon-over-water row alone (beats 132-164) on a 640 x 480
// frame, from the generated data set: every frame of the range in order, and
// single beats (a plain beat, a beat with the column blurs, the last beat with
// the ribbon passing the camera). Relies on the ribbon scene and the scene
// benchmarks' harness.
#include "scene_harness.h"
#include "scenes/scenes.h"

#include <benchmark/benchmark.h>

namespace
{

const BenchScene ribbon_scene = {"flares.jpg", ribbon_load, ribbon_free, ribbon_render,
                                 "the ribbon scene's data does not load", ribbon_finish};

void BM_RibbonFrames(benchmark::State& state)
{
    SceneBench f(state, ribbon_scene);
    if (f.loaded)
        f.run_frames(state, 132.0, 1280, 1); // the 1,280 frames of the range at 60 fps, in order
}
BENCHMARK(BM_RibbonFrames)->Unit(benchmark::kMicrosecond);

void BM_RibbonFrameAt(benchmark::State& state)
{
    SceneBench f(state, ribbon_scene);
    if (!f.loaded)
        return;
    const double beat = static_cast<double>(state.range(0)) / 10.0;
    for (auto _ : state)
        f.draw(beat);
}
BENCHMARK(BM_RibbonFrameAt)->Arg(1400)->Arg(1500)->Arg(1639)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
