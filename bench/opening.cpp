// Costs of the opening minute's own operations on a 640 x 480 frame: the
// grain walks, the fade, row glitches, the hand sprite, crack lines, and, when
// the data set has been generated, whole title, overlay and post-filter frames.
// Relies on the overlays, the title scene and the scene benchmarks' harness.
#include "scene_harness.h"

#include "image/image.h"
#include "overlays/overlay_ops.h"
#include "image/line.h"
#include "overlays/overlays.h"
#include "runtime/clock.h"
#include "scenes/scenes.h"

#include <benchmark/benchmark.h>

namespace
{

// The screen filled with noise, and a noise texture for the grain.
struct Frame {
    BenchFrame frame;
    Texture* grain = texture_create(256, 256);
    Frame()
    {
        uint32_t seed = 7;
        for (uint32_t& p : frame.pixels)
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
int32_t opening_load()
{
    return title_load() || overlay_load() || post_filter_load();
}

void opening_free()
{
    post_filter_free();
    overlay_free();
    title_free();
}

void opening_render(const SceneFrame& frame)
{
    if (frame.beat_index < 44)
        title_render(frame);
}

void opening_finish(const SceneFrame& frame)
{
    if (frame.beat_index < 44)
        title_finish(frame);
    overlay_render(frame);
    if (frame.beat_index < 44)
        post_filter_render(frame);
}

void BM_OpeningFrame(benchmark::State& state)
{
    SceneBench f(
        state, {"grid.lwo", opening_load, opening_free, opening_render, "the opening's data does not load", opening_finish});
    if (f.loaded)
        f.run_frames(state, 0.0, 1920, 7); // every 7th frame of beats 0-48
}
BENCHMARK(BM_OpeningFrame)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
