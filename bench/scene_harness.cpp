// The shared harness of the scene benchmarks: the frame, the data folder, a
// scene's load and free around one run, and the timed frames at 60 fps.
// Relies on the frame, the paths, the clock, the noise table and the texture table.
#include "scene_harness.h"

#include "core/core.h"
#include "image/texture_table.h"
#include "platform/paths.h"
#include "runtime/clock.h"
#include "runtime/effects.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>

BenchFrame::BenchFrame()
{
    surface.pixels = pixels.data();
    screen = &surface;
    if (!depth_buffer)
        depth_buffer = depth_buffer_create(SCREEN_WIDTH, SCREEN_HEIGHT);
}

void BenchFrame::clear()
{
    depth_buffer_fill(depth_buffer, DEPTH_CLEAR);
    std::memset(pixels.data(), 0, pixels.size() * 4);
}

std::string bench_data_folder()
{
    const char* dir = std::getenv("DUNRAVEL_DATA");
    return dir ? dir : "data";
}

SceneBench::SceneBench(benchmark::State& state, const BenchScene& s) : scene(s)
{
    const std::string data = bench_data_folder();
    if (!std::filesystem::exists(data + "/" + scene.probe)) {
        state.SkipWithError("no generated data set");
        return;
    }
    paths_set_data_dir(data.c_str());
    clock_set_tempo(90.0f);
    noise_init(0);
    attempted = true;
    if (texture_table_load() || scene.load()) {
        state.SkipWithError(scene.failure);
        return;
    }
    loaded = true;
}

SceneBench::~SceneBench()
{
    if (!attempted)
        return;
    scene.free();
    texture_table_free();
    paths_set_data_dir(nullptr);
}

void SceneBench::draw(double beat)
{
    clock_set_time(beat / 1.5, 1.0 / 60.0);
    frame.clear();
    const TimelineEntry row = {scene.render, scene.finish, INT32_MIN, INT32_MAX};
    timeline_render_table(&row, 1, clock_scene_frame());
}

void SceneBench::run_frames(benchmark::State& state, double first_beat, int32_t frames, int32_t step)
{
    int32_t frame_index = 0;
    for (auto _ : state) {
        draw(first_beat + frame_index / 40.0);
        frame_index = (frame_index + step) % frames;
    }
}
