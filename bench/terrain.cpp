// Costs of the terrain scene on a 640 x 480 frame, from the generated data set
// (data/ in the working directory, or $DUNRAVEL_DATA): whole frames at beats
// spread over 268-308 (the prism chain full from beat 279.25).
// Relies on the terrain scene and the scene benchmarks' harness.
#include "scene_harness.h"
#include "scenes/scenes.h"

#include <benchmark/benchmark.h>

namespace
{

// Every 7th frame of beats 268-308 at 60 frames a second.
void BM_TerrainFrame(benchmark::State& state)
{
    SceneBench f(state, {"terrain.lwo", terrain_load, terrain_free, terrain_render,
                         "the terrain's data does not load", terrain_finish});
    if (f.loaded)
        f.run_frames(state, 268.0, 1600, 7);
}
BENCHMARK(BM_TerrainFrame)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
