// Offline runs on the fixed-step clock: PNG capture, video export through
// ffmpeg, the benchmark table and the contact sheet, all through one frame
// loop. The effects are loaded and the music is open (MUSIC_CLOCK_FIXED) and
// playing when these start.
#pragma once

struct Options;

// Runs the mode the options ask for; returns the exit status: 0, 1 after a
// reported failure, 130 or 143 when SIGINT or SIGTERM stopped the run (Escape
// stops it with 0). A stopped run says how many frames it finished.
int offline_run(const Options* options);
