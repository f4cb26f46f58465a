// The overlay track's full-frame passes of a terrain frame (wave shift, grain,
// the old-television picture over the whole screen) drawn one pass after
// another and as row passes band by band. Before each iteration the frame is
// restored and 8 MB of other memory is walked (outside the timing), so the
// frame starts as far from the core as after a scene's drawing.
#include "core/core.h"
#include "core/frame.h"
#include "image/image.h"
#include "overlays/overlay_ops.h"
#include "overlays/overlay_passes.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace
{

std::vector<uint32_t> frame_pixels(SCREEN_WIDTH* SCREEN_HEIGHT);
std::vector<uint32_t> frame_source(SCREEN_WIDTH* SCREEN_HEIGHT);
std::vector<uint32_t> other(2 * 1024 * 1024);
FrameSurface frame{SCREEN_WIDTH, SCREEN_HEIGHT, SCREEN_WIDTH * 4, nullptr};
Texture* tv = nullptr;    // mostly transparent middle, opaque frame
Texture* grain = nullptr; // 256 x 256
OverlayPasses passes;

uint32_t lcg_state = 7;
uint32_t lcg()
{
    lcg_state = lcg_state * 1664525u + 1013904223u;
    return lcg_state;
}

void setup()
{
    if (tv)
        return;
    for (uint32_t& p : frame_source)
        p = lcg() | 0xFF000000u;
    frame.pixels = frame_pixels.data();
    screen = &frame;
    tv = texture_create(SCREEN_WIDTH, SCREEN_HEIGHT);
    for (int32_t y = 0; y < SCREEN_HEIGHT; y++)
        for (int32_t x = 0; x < SCREEN_WIDTH; x++) {
            const bool edge = x < 48 || x >= 592 || y < 56 || y >= 424;
            tv->pixels[y * SCREEN_WIDTH + x] = edge ? lcg() | 0xFF000000u : lcg() & 0x00FFFFFFu;
        }
    grain = texture_create(256, 256);
    for (int32_t i = 0; i < 256 * 256; i++)
        grain->pixels[i] = lcg();
}

template <typename Op> void run(benchmark::State& state, Op op)
{
    setup();
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(frame_pixels.data(), frame_source.data(), frame_pixels.size() * 4);
        for (uint32_t& v : other)
            v += 1;
        state.ResumeTiming();
        op();
        benchmark::ClobberMemory();
    }
}

void BM_terrain_overlay_whole_frame_passes(benchmark::State& state)
{
    run(state, [] {
        wave_shift(1.25f, 0xFFFFFF00u);
        grain_modulate(grain, 40);
        blend_image(tv, 0, 0, 255, BLEND_ALPHA);
    });
}
BENCHMARK(BM_terrain_overlay_whole_frame_passes)->Unit(benchmark::kMicrosecond);

void BM_terrain_overlay_row_passes(benchmark::State& state)
{
    run(state, [] {
        overlay_passes_wave(&passes, 1.25f, 0xFFFFFF00u);
        overlay_passes_grain_modulate(&passes, grain, 40);
        overlay_passes_blend(&passes, tv, 0, 0, 255);
        overlay_passes_flush(&passes);
    });
}
BENCHMARK(BM_terrain_overlay_row_passes)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
