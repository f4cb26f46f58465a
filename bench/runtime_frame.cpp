// The runtime's per-frame costs outside the scenes: the depth clear, the
// 1024-point spectrum, and writing one captured frame as PNG.
#include "core/core.h"
#include "core/frame.h"
#include "platform/audio.h"
#include "runtime/png_out.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

namespace
{

// A frame with smooth gradients and some noise, like a rendered scene.
std::vector<uint32_t> test_frame()
{
    std::vector<uint32_t> pixels(SCREEN_WIDTH * SCREEN_HEIGHT);
    random_seed = 1;
    for (int y = 0; y < SCREEN_HEIGHT; y++)
        for (int x = 0; x < SCREEN_WIDTH; x++) {
            int noise = static_cast<int>(next_random() * 8.0f);
            uint32_t r = static_cast<uint32_t>((x / 3 + noise) & 0xFF),
                     g = static_cast<uint32_t>((y / 2) & 0xFF),
                     b = static_cast<uint32_t>(((x + y) / 5 + noise) & 0xFF);
            pixels[static_cast<size_t>(y) * SCREEN_WIDTH + x] = r << 16 | g << 8 | b;
        }
    return pixels;
}

void BM_DepthClear(benchmark::State& state)
{
    DepthBuffer* d = depth_buffer_create(SCREEN_WIDTH, SCREEN_HEIGHT);
    for (auto _ : state) {
        depth_buffer_fill(d, DEPTH_CLEAR);
        benchmark::DoNotOptimize(d->values[1000]);
    }
    depth_buffer_free(d);
}
BENCHMARK(BM_DepthClear);

void BM_PngFrame(benchmark::State& state)
{
    std::vector<uint32_t> pixels = test_frame();
    std::string name = "/tmp/dunravel-bench-frame.png";
    for (auto _ : state)
        png_out_write(name.c_str(), pixels.data(), SCREEN_WIDTH, SCREEN_HEIGHT, SCREEN_WIDTH,
                      static_cast<int32_t>(state.range(0)));
    FILE* fp = std::fopen(name.c_str(), "rb");
    if (fp) {
        std::fseek(fp, 0, SEEK_END);
        state.counters["file_kb"] = static_cast<double>(std::ftell(fp)) / 1024.0;
        std::fclose(fp);
    }
    std::remove(name.c_str());
}
BENCHMARK(BM_PngFrame)->Arg(0)->Arg(1)->Arg(6)->Unit(benchmark::kMillisecond);

void BM_Spectrum(benchmark::State& state)
{
    // One second of a chord.
    std::vector<int16_t> pcm(44100 * 2);
    for (int i = 0; i < 44100; i++)
        pcm[i * 2] = pcm[i * 2 + 1] =
            static_cast<int16_t>(8000 * core_sin(i * 0.06f) + 4000 * core_sin(i * 0.3f));
    AudioTrack* track = audio_track_create(pcm.data(), 44100);
    float bins[AUDIO_SPECTRUM_BINS];
    int64_t pos = 0;
    for (auto _ : state) {
        audio_track_spectrum(track, pos, bins);
        pos = (pos + 735 * 4) % (40000 * 4);
        benchmark::DoNotOptimize(bins[10]);
    }
    audio_track_free(track);
}
BENCHMARK(BM_Spectrum)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
