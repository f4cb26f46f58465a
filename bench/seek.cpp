// What a seek costs in each scene that carries state from frame to frame: the
// scene's advance from its first beat (a fresh state) to a frame half-way
// through and to its last frame at 60 fps, the longest replay a seek can ask
// for (where the scene keeps snapshots, from the latest one before the
// target: the first iteration makes them, as the program does before the
// music starts). seek_cpu_ms is the processor time of the seek alone. Each run also draws the frame the seek
// lands on, so the cost is stated as a ratio to one frame drawn on this machine in the same run (seek_frames)
// beside the milliseconds. Relies on the scenes' advance functions and the
// scene benchmarks' harness.
#include "scene_harness.h"

#include "platform/counter.h"
#include "scenes/scenes.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>

namespace
{

struct SeekScene {
    BenchScene scene;
    void (*advance)(const SceneFrame* recent, int32_t count);
    int32_t first_beat, end_beat;
};

template <void (*advance)(double seconds)> void to_last(const SceneFrame* recent, int32_t count)
{
    advance(recent[count - 1].seconds);
}

// A seek's advance as the program makes it: the frames of a 60 fps grid up
// to the target, the target last (silence: the benchmark plays no music).
void advance_to(const SeekScene& s, double seconds)
{
    static const float silence[SPECTRUM_SIZE] = {};
    SceneFrame frames[SCENE_ADVANCE_FRAMES];
    const int64_t last = static_cast<int64_t>(std::floor(seconds * 60.0 + 1e-6));
    int32_t n = 0;
    for (int64_t k = std::max<int64_t>(0, last - (SCENE_ADVANCE_FRAMES - 1)); k <= last; ++k)
        frames[n++] = scene_frame_at(static_cast<double>(k) / 60.0, silence);
    frames[n - 1].seconds = seconds;
    s.advance(frames, n);
}

const SeekScene metaball = {
    {"hiphop.jpg", metaball_load, metaball_free, metaball_render, "the metaball scene does not load"},
    to_last<metaball_advance>,
    44,
    76};
const SeekScene spikeball = {
    {"spikeball.lwo", spikeball_load, spikeball_free, spikeball_render, "the spikeball scene does not load"},
    spikeball_advance,
    196,
    228};
const SeekScene greetings = {
    {"wall_big.jpg", greetings_load, greetings_free, greetings_render, "the greetings wall does not load"},
    to_last<greetings_advance>,
    228,
    268};
const SeekScene collider = {
    {"sphere.lwo", collider_load, collider_free, collider_render, "the sphere collider does not load"},
    to_last<collider_advance>,
    308,
    372};
const SeekScene end = {
    {"end.lwo", end_load, end_free, end_render, "the end scene's data does not load"}, to_last<end_advance>, 361, 397};

// range(0): how far into the scene the seek lands, in percent of its frames
// at 60 fps (100: its last frame).
void seek_bench(benchmark::State& state, const SeekScene& s)
{
    SceneBench f(state, s.scene);
    if (!f.loaded)
        return;
    const int64_t frames = (s.end_beat - s.first_beat) * 40; // 60 fps at 90 beats a minute
    const int64_t k = (frames - 1) * state.range(0) / 100;
    const double beat = s.first_beat + static_cast<double>(k) / 40.0;
    const double start = s.first_beat / 1.5, target = beat / 1.5;
    int64_t seek_ticks = 0, frame_ticks = 0, seek_cpu = 0;
    for (auto _ : state) {
        const int64_t t0 = counter_now(), c0 = counter_thread_time();
        advance_to(s, start); // back to the first beat: the next advance replays from there
        advance_to(s, target);
        const int64_t t1 = counter_now();
        seek_cpu += counter_thread_time() - c0;
        f.draw(beat); // the frame it lands on (its own advance has nothing left to do)
        const int64_t t2 = counter_now();
        seek_ticks += t1 - t0;
        frame_ticks += t2 - t1;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["seek_ms"] = static_cast<double>(seek_ticks) / n / counter_frequency() * 1000.0;
    state.counters["seek_cpu_ms"] = static_cast<double>(seek_cpu) / n / counter_frequency() * 1000.0;
    state.counters["frame_ms"] = static_cast<double>(frame_ticks) / n / counter_frequency() * 1000.0;
    state.counters["seek_frames"] = frame_ticks > 0 ? static_cast<double>(seek_ticks) / frame_ticks : 0.0;
}

void BM_SeekMetaball(benchmark::State& state)
{
    seek_bench(state, metaball);
}
void BM_SeekSpikeball(benchmark::State& state)
{
    seek_bench(state, spikeball);
}
void BM_SeekGreetings(benchmark::State& state)
{
    seek_bench(state, greetings);
}
void BM_SeekCollider(benchmark::State& state)
{
    seek_bench(state, collider);
}
void BM_SeekEnd(benchmark::State& state)
{
    seek_bench(state, end);
}
BENCHMARK(BM_SeekMetaball)->Arg(50)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SeekSpikeball)->Arg(50)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SeekGreetings)->Arg(50)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SeekCollider)->Arg(50)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SeekEnd)->Arg(50)->Arg(100)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
