// What the scene benchmarks share: a 640 x 480 frame made the screen with the
// shared depth buffer, the data folder (data/ or $DUNRAVEL_DATA), a scene's
// data loaded for one run and its frames drawn at chosen beats (90 bpm).
// Relies on the frame, the paths, the clock and the texture table.
#pragma once

#include "core/frame.h"
#include "scene/scene_frame.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

// A cleared 640 x 480 frame, made the screen; creates the depth buffer once.
struct BenchFrame {
    std::vector<uint32_t> pixels = std::vector<uint32_t>(SCREEN_WIDTH * SCREEN_HEIGHT);
    FrameSurface surface{SCREEN_WIDTH, SCREEN_HEIGHT, SCREEN_WIDTH * 4, nullptr};

    BenchFrame();
    BenchFrame(const BenchFrame&) = delete;
    BenchFrame& operator=(const BenchFrame&) = delete;
    void clear();
};

// The data folder: $DUNRAVEL_DATA, or data/ in the working directory.
std::string bench_data_folder();

// How one scene (or several rows drawn together) loads, frees and draws.
struct BenchScene {
    const char* probe; // a file of the data set that shows it has been generated
    int32_t (*load)(); // the scene's own loads, after the texture table
    void (*free)();    // frees what load made
    void (*render)(const SceneFrame& frame); // drawn inside a drawing share
    const char* failure; // the skip message when a load fails
    void (*finish)(const SceneFrame& frame) = nullptr; // then on the drawn frame
};

// A scene's data loaded for one benchmark run (skipped with an error when the
// data set is missing or does not load), freed when it goes.
struct SceneBench {
    BenchFrame frame;
    BenchScene scene;
    bool attempted = false;
    bool loaded = false;

    SceneBench(benchmark::State& state, const BenchScene& s);
    ~SceneBench();
    SceneBench(const SceneBench&) = delete;
    SceneBench& operator=(const SceneBench&) = delete;

    // One whole frame at this beat: clock set, frame cleared, scene drawn.
    void draw(double beat);
    // Draws every step-th of `frames` frames at 60 fps from first_beat, in
    // order and round again, once per benchmark iteration.
    void run_frames(benchmark::State& state, double first_beat, int32_t frames, int32_t step);
};
