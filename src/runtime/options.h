// The command line. With no arguments the demo asks its one question and
// plays; the options answer that question, shape the window, run without a
// sound device, or start later in the music.
#pragma once

#include <cstdint>
#include <cstdio>

struct Options {
    int32_t video_mode;   // VIDEO_ASK, VIDEO_WINDOW or VIDEO_FULLSCREEN (video.h)
    int32_t scale;        // --scale N (1 to 8)
    int32_t vsync;        // --vsync
    int32_t no_sound;     // --no-sound
    float start_beat;     // --start BEAT (0 = from the beginning)
    const char* data_dir; // --data DIR, or null
};

enum { OPTIONS_RUN = 0, OPTIONS_HELP = 1, OPTIONS_ERROR = 2 };

// Fills out from argv. OPTIONS_HELP for --help; OPTIONS_ERROR after printing
// what was wrong to standard error.
int32_t options_parse(int argc, char** argv, Options* out);
void options_print_usage(FILE* to);
