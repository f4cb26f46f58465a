// Offline runs on the fixed-step clock: PNG capture, video export through
// ffmpeg, the benchmark table and the contact sheet. The effects are loaded
// and the music is open (MUSIC_CLOCK_FIXED) and playing when these start.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

struct Options;

// Draws one frame of the demo into the screen: depth clear, black, the
// timeline, present (a no-op without a window).
void offline_draw_frame();

// Runs the mode the options ask for; returns the exit status.
int offline_run(const Options* options);

// ---- Pieces, public for the tests --------------------------------------------

// Per-frame timings of a bench run: the whole-frame time and the beat.
struct BenchFrame {
    double ms;
    int32_t beat;
};
// Writes the table (text) or the JSON document for the frames.
void bench_report_text(FILE* to, const std::vector<BenchFrame>& frames, double seconds);
void bench_report_json(FILE* to, const std::vector<BenchFrame>& frames, double seconds);

// An ffmpeg process reading raw 640 × 480 frames (bgr0) at fps from a pipe
// and muxing them with the music file from from_seconds on. Null when ffmpeg
// cannot be started (reported).
struct VideoPipe;
VideoPipe* video_pipe_open(const char* file, int32_t fps, const char* music_path, double from_seconds);
// 0, or 1 when ffmpeg stopped taking frames.
int32_t video_pipe_write(VideoPipe* pipe, const uint32_t* pixels);
// Closes the pipe and waits for ffmpeg: 0 when it finished the file.
int32_t video_pipe_close(VideoPipe* pipe);

// Draws the decimal number value with a small built-in digit font, white on a
// black box, at (x, y) of an image of width × height words.
void contact_sheet_label(uint32_t* pixels, int32_t width, int32_t height, int32_t x, int32_t y,
                         int32_t value);
