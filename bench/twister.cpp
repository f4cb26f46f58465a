// Whole frames of the twister column from the generated data set, even beats
// (the tube) and odd beats (the additive slices) apart, at times spread over
// beats 164-196. The data folder is data/ in the working directory, or
// $DUNRAVEL_DATA. Relies on the twister scene and the texture table.
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

// range(0): 0 even beats, 1 odd beats.
void BM_TwisterFrame(benchmark::State& state)
{
    const char* dir = std::getenv("DUNRAVEL_DATA");
    const std::string data = dir ? dir : "data";
    if (!std::filesystem::exists(data + "/twister_bg.jpg")) {
        state.SkipWithError("no generated data set");
        return;
    }
    std::vector<uint32_t> pixels(SCREEN_WIDTH * SCREEN_HEIGHT);
    FrameSurface surface{SCREEN_WIDTH, SCREEN_HEIGHT, SCREEN_WIDTH * 4, pixels.data()};
    screen = &surface;
    if (!depth_buffer)
        depth_buffer = depth_buffer_create(SCREEN_WIDTH, SCREEN_HEIGHT);
    paths_set_data_dir(data.c_str());
    clock_set_tempo(90.0f);
    if (texture_table_load() || twister_load()) {
        state.SkipWithError("the twister's data does not load");
        return;
    }
    const int odd = static_cast<int>(state.range(0));
    int k = 0;
    for (auto _ : state) {
        // Sixteen beats of one parity, 37 times a beat apart.
        const int frame = (k++ * 37) % (16 * 60);
        const double beat = 164.0 + 2.0 * (frame / 60) + odd + (frame % 60) / 60.0;
        clock_set_time(beat / 1.5, 1.0 / 60.0);
        depth_buffer_fill(depth_buffer, DEPTH_CLEAR);
        std::memset(pixels.data(), 0, pixels.size() * 4);
        twister_render(static_cast<float>(music_seconds));
    }
    twister_free();
    texture_table_free();
    paths_set_data_dir(nullptr);
}
BENCHMARK(BM_TwisterFrame)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
