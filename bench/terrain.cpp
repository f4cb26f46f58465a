// Costs of the terrain scene on a 640 x 480 frame, from the generated data set
// (data/ in the working directory, or $DUNRAVEL_DATA): whole frames at beats
// spread over 268-308 (the prism chain full from beat 279.25).
// Relies on the terrain scene and the texture table.
#include "core/core.h"
#include "core/frame.h"
#include "image/image.h"
#include "platform/paths.h"
#include "runtime/clock.h"
#include "scenes/scenes.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace
{

struct Frame {
    std::vector<uint32_t> pixels = std::vector<uint32_t>(SCREEN_WIDTH * SCREEN_HEIGHT);
    FrameSurface surface{SCREEN_WIDTH, SCREEN_HEIGHT, SCREEN_WIDTH * 4, nullptr};
    Frame()
    {
        surface.pixels = pixels.data();
        screen = &surface;
        if (!depth_buffer)
            depth_buffer = depth_buffer_create(SCREEN_WIDTH, SCREEN_HEIGHT);
    }
};

std::string data_folder()
{
    const char* dir = std::getenv("DUNRAVEL_DATA");
    return dir ? dir : "data";
}

// Every 7th frame of beats 268-308 at 60 frames a second.
void BM_TerrainFrame(benchmark::State& state)
{
    const std::string data = data_folder();
    if (!std::filesystem::exists(data + "/terrain.lwo")) {
        state.SkipWithError("no generated data set");
        return;
    }
    Frame f;
    paths_set_data_dir(data.c_str());
    clock_set_tempo(90.0f);
    if (texture_table_load() || terrain_load()) {
        state.SkipWithError("the terrain's data does not load");
        return;
    }
    int k = 0;
    for (auto _ : state) {
        const double beat = 268.0 + (k++ * 7) % 1600 / 40.0;
        clock_set_time(beat / 1.5, 1.0 / 60.0);
        depth_buffer_fill(depth_buffer, DEPTH_CLEAR);
        std::memset(f.pixels.data(), 0, f.pixels.size() * 4);
        terrain_render(static_cast<float>(music_seconds));
    }
    terrain_free();
    texture_table_free();
    paths_set_data_dir(nullptr);
}
BENCHMARK(BM_TerrainFrame)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
