// Cost of the end scene's row alone (beats 361-397) on a 640 x 480 frame, from
// the generated data set: every frame of the range in order, and single beats
// of its three phases (picture and sprites, the title coming in, all layers).
// Relies on the end scene and the scene benchmarks' harness.
#include "scene_harness.h"
#include "scenes/scenes.h"

#include <benchmark/benchmark.h>

namespace
{

const BenchScene end_scene = {"end.lwo", end_load, end_free, end_render,
                              "the end scene's data does not load"};

void BM_EndFrames(benchmark::State& state)
{
    SceneBench f(state, end_scene);
    if (f.loaded)
        f.run_frames(state, 361.0, 1440, 1); // the 1,440 frames of the range at 60 fps, in order
}
BENCHMARK(BM_EndFrames)->Unit(benchmark::kMicrosecond);

void BM_EndFrameAt(benchmark::State& state)
{
    SceneBench f(state, end_scene);
    if (!f.loaded)
        return;
    const double beat = static_cast<double>(state.range(0)) / 2.0;
    f.draw(beat); // the sprites' fall up to this beat, once
    for (auto _ : state)
        f.draw(beat);
}
BENCHMARK(BM_EndFrameAt)->Arg(2 * 366)->Arg(2 * 375)->Arg(2 * 388)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
