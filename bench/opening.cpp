// Costs of the opening minute's own operations on a 640 x 480 frame: the
// grain walks, the fade, row glitches, the hand sprite, crack lines, and, when
// the data set has been generated, whole title, overlay and post-filter frames.
// Relies on the overlays, the title scene and the texture table.
#include "core/core.h"
#include "core/frame.h"
#include "image/image.h"
#include "overlays/overlay_ops.h"
#include "overlays/overlays.h"
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
    Texture* grain = texture_create(256, 256);
    Frame()
    {
        surface.pixels = pixels.data();
        screen = &surface;
        if (!depth_buffer)
            depth_buffer = depth_buffer_create(SCREEN_WIDTH, SCREEN_HEIGHT);
        uint32_t seed = 7;
        for (uint32_t& p : pixels)
            p = seed = seed * 1664525u + 1013904223u;
        for (int i = 0; i < 256 * 256; ++i)
            grain->pixels[i] = seed = seed * 1664525u + 1013904223u;
    }
    ~Frame() { texture_free(grain); }
};

void BM_GrainModulate(benchmark::State& state)
{
    Frame f;
    for (auto _ : state)
        grain_modulate(f.grain, 63);
}
BENCHMARK(BM_GrainModulate)->Unit(benchmark::kMicrosecond);

void BM_GrainMix(benchmark::State& state)
{
    Frame f;
    for (auto _ : state)
        grain_mix(f.grain, 100);
}
BENCHMARK(BM_GrainMix)->Unit(benchmark::kMicrosecond);

void BM_FadeScreen(benchmark::State& state)
{
    Frame f;
    for (auto _ : state)
        fade_screen(0xff000000u, 100);
}
BENCHMARK(BM_FadeScreen)->Unit(benchmark::kMicrosecond);

void BM_RowGlitch(benchmark::State& state)
{
    Frame f;
    for (auto _ : state)
        row_glitch(5, 8);
}
BENCHMARK(BM_RowGlitch)->Unit(benchmark::kMicrosecond);

void BM_HandSprite(benchmark::State& state)
{
    Frame f;
    Texture* hand = texture_create(128, 128);
    for (int i = 0; i < 128 * 128; ++i)
        hand->pixels[i] = (i & 1) ? 0xff806040u : 0x00000000u;
    for (auto _ : state)
        hand_sprite(hand, 160.0f, 240.0f, 31, 1.5707964f, 3.0f);
    texture_free(hand);
}
BENCHMARK(BM_HandSprite)->Unit(benchmark::kMicrosecond);

void BM_CrackLines(benchmark::State& state)
{
    Frame f;
    for (auto _ : state)
        for (int i = 0; i < 16 * 9; ++i)
            draw_line(i * 4, 40 + i, 600 - i * 3, 400 - i, 0u);
}
BENCHMARK(BM_CrackLines)->Unit(benchmark::kMicrosecond);

// Whole frames of the opening from the generated data set: rows 0, 1, 12 and
// 13 of the effect table, drawn at beats spread over 0-48. The data folder is
// data/ in the working directory, or $DUNRAVEL_DATA.
void BM_OpeningFrame(benchmark::State& state)
{
    const char* dir = std::getenv("DUNRAVEL_DATA");
    const std::string data = dir ? dir : "data";
    if (!std::filesystem::exists(data + "/grid.lwo")) {
        state.SkipWithError("no generated data set");
        return;
    }
    Frame f;
    paths_set_data_dir(data.c_str());
    clock_set_tempo(90.0f);
    noise_init(0);
    if (texture_table_load() || title_load() || overlay_load() || post_filter_load()) {
        state.SkipWithError("the opening's data does not load");
        return;
    }
    int k = 0;
    for (auto _ : state) {
        const double beat = (k++ * 7) % 1920 / 40.0; // every 7th frame of beats 0-48
        clock_set_time(beat / 1.5, 1.0 / 60.0);
        depth_buffer_fill(depth_buffer, DEPTH_CLEAR);
        std::memset(f.pixels.data(), 0, f.pixels.size() * 4);
        const float seconds = static_cast<float>(music_seconds);
        if (clock_beat_index() < 44)
            title_render(seconds);
        overlay_render(seconds);
        if (clock_beat_index() < 44)
            post_filter_render(seconds);
    }
    post_filter_free();
    overlay_free();
    title_free();
    texture_table_free();
    paths_set_data_dir(nullptr);
}
BENCHMARK(BM_OpeningFrame)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
