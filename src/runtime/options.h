// The command line. With no arguments the demo asks its one question and
// plays; the options answer that question, shape the window, run without a
// sound device, or start later in the music.
#pragma once

#include <cstdint>
#include <cstdio>

struct Options {
    int32_t video_mode;   // VIDEO_ASK, VIDEO_WINDOW or VIDEO_FULLSCREEN (video.h)
    int32_t scale;        // --scale N (1 to 8)
    int32_t vsync;        // 1 unless --no-vsync (--vsync is the default)
    int32_t max_fps;      // --max-fps N: live frame-rate cap, 0 = none
    int32_t no_sound;     // --no-sound
    float start_beat;     // --start BEAT (0 = from the beginning)
    const char* data_dir; // --data DIR, or null
    int32_t threads;      // --threads N: threads that draw (1 or 2); 0 = not given

    // Offline modes: the fixed-step clock, no window, no sound device.
    const char* capture_dir;   // --capture DIR: numbered PNG frames
    const char* video_file;    // --video FILE: frames and music through ffmpeg
    int32_t bench;             // --bench: time every frame, print a table per row
    const char* bench_json;    // --bench-json FILE (implies --bench)
    const char* contact_sheet; // --contact-sheet FILE.png
    int32_t fps;               // --fps N (default 60)
    double from_seconds;       // --from X (a beat, or seconds with the suffix s); -1 = start
    double to_seconds;         // --to X; -1 = the end of the demo
    int32_t max_frames;        // --frames N; 0 = no limit
    int32_t warm_up;           // --warm-up: draw the frames before --from without output
};

enum { OPTIONS_RUN = 0, OPTIONS_HELP = 1, OPTIONS_ERROR = 2 };

// True when the options ask for an offline mode (capture, video, bench or
// contact sheet).
bool options_offline(const Options* options);

// Threads that draw unless --threads says otherwise: 2 where the machine has
// two processors or more, else 1.
int32_t options_default_threads();
// Threads that draw in this run, on a machine with `processors` (0 where it
// cannot tell): --threads N where given, else the default, except in runs
// that write frames (--capture, --video) on two processors or fewer: there
// the PNG writers or the encoder need the second processor more than the
// drawing does, and the frames are the same with either count.
int32_t options_threads(const Options* options, unsigned processors);

// Parses a time: "12.5" is a beat (at 90 beats per minute), "12.5s" seconds.
// Returns seconds, or -1 for text that is not a time of 0 or more.
double options_parse_time(const char* text);

// Fills out from argv. OPTIONS_HELP for --help; OPTIONS_ERROR after printing
// what was wrong to standard error.
int32_t options_parse(int argc, char** argv, Options* out);
void options_print_usage(FILE* to);
