// Cost of the end scene's row alone (beats 361-397) on a 640 x 480 frame, from
// the generated data set: every frame of the range in order, and single beats
// of its three phases (picture and sprites, the title coming in, all layers).
// Relies on the end scene, the texture table and the clock.
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

// The frame, the depth buffer and the end scene's data, loaded once per run.
struct EndFrame {
    std::vector<uint32_t> pixels = std::vector<uint32_t>(SCREEN_WIDTH * SCREEN_HEIGHT);
    FrameSurface surface{SCREEN_WIDTH, SCREEN_HEIGHT, SCREEN_WIDTH * 4, nullptr};
    bool loaded = false;

    explicit EndFrame(benchmark::State& state)
    {
        surface.pixels = pixels.data();
        screen = &surface;
        if (!depth_buffer)
            depth_buffer = depth_buffer_create(SCREEN_WIDTH, SCREEN_HEIGHT);
        const char* dir = std::getenv("DUNRAVEL_DATA");
        const std::string data = dir ? dir : "data";
        if (!std::filesystem::exists(data + "/end.lwo")) {
            state.SkipWithError("no generated data set");
            return;
        }
        paths_set_data_dir(data.c_str());
        clock_set_tempo(90.0f);
        noise_init(0);
        if (texture_table_load() || end_load()) {
            state.SkipWithError("the end scene's data does not load");
            return;
        }
        loaded = true;
    }
    ~EndFrame()
    {
        end_free();
        texture_table_free();
        paths_set_data_dir(nullptr);
    }
    void draw(double beat)
    {
        clock_set_time(beat / 1.5, 1.0 / 60.0);
        depth_buffer_fill(depth_buffer, DEPTH_CLEAR);
        std::memset(pixels.data(), 0, pixels.size() * 4);
        end_render(static_cast<float>(music_seconds));
    }
};

void BM_EndFrames(benchmark::State& state)
{
    EndFrame f(state);
    if (!f.loaded)
        return;
    int k = 0;
    for (auto _ : state)
        f.draw(361.0 + (k++ % 1440) / 40.0); // the 1,440 frames of the range at 60 fps, in order
}
BENCHMARK(BM_EndFrames)->Unit(benchmark::kMicrosecond);

void BM_EndFrameAt(benchmark::State& state)
{
    EndFrame f(state);
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
