// Cost of the ribbon-over-water row alone (beats 132-164) on a 640 x 480
// frame, from the generated data set: every frame of the range in order, and
// single beats (a plain beat, a beat with the column blurs, the last beat with
// the ribbon passing the camera). Relies on the ribbon scene, the texture
// table and the clock.
#include "core/core.h"
#include "core/frame.h"
#include "image/texture_table.h"
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

// The frame, the depth buffer and the scene's data, loaded once per run.
struct RibbonFrame {
    std::vector<uint32_t> pixels = std::vector<uint32_t>(SCREEN_WIDTH * SCREEN_HEIGHT);
    FrameSurface surface{SCREEN_WIDTH, SCREEN_HEIGHT, SCREEN_WIDTH * 4, nullptr};
    bool loaded = false;

    explicit RibbonFrame(benchmark::State& state)
    {
        surface.pixels = pixels.data();
        screen = &surface;
        if (!depth_buffer)
            depth_buffer = depth_buffer_create(SCREEN_WIDTH, SCREEN_HEIGHT);
        const char* dir = std::getenv("DUNRAVEL_DATA");
        const std::string data = dir ? dir : "data";
        if (!std::filesystem::exists(data + "/flares.jpg")) {
            state.SkipWithError("no generated data set");
            return;
        }
        paths_set_data_dir(data.c_str());
        clock_set_tempo(90.0f);
        noise_init(0);
        if (texture_table_load() || ribbon_load()) {
            state.SkipWithError("the ribbon scene's data does not load");
            return;
        }
        loaded = true;
    }
    ~RibbonFrame()
    {
        ribbon_free();
        texture_table_free();
        paths_set_data_dir(nullptr);
    }
    void draw(double beat)
    {
        clock_set_time(beat / 1.5, 1.0 / 60.0);
        depth_buffer_fill(depth_buffer, DEPTH_CLEAR);
        std::memset(pixels.data(), 0, pixels.size() * 4);
        ribbon_render(static_cast<float>(music_seconds));
    }
};

void BM_RibbonFrames(benchmark::State& state)
{
    RibbonFrame f(state);
    if (!f.loaded)
        return;
    int k = 0;
    for (auto _ : state)
        f.draw(132.0 + (k++ % 1280) / 40.0); // the 1,280 frames of the range at 60 fps, in order
}
BENCHMARK(BM_RibbonFrames)->Unit(benchmark::kMicrosecond);

void BM_RibbonFrameAt(benchmark::State& state)
{
    RibbonFrame f(state);
    if (!f.loaded)
        return;
    const double beat = static_cast<double>(state.range(0)) / 10.0;
    for (auto _ : state)
        f.draw(beat);
}
BENCHMARK(BM_RibbonFrameAt)->Arg(1400)->Arg(1500)->Arg(1639)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
