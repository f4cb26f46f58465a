// The progress line of an offline run on standard error: a bar, frames done
// of the total, frames per second and the time left, redrawn in place at
// most four times a second. Relies on the steady counter.
#pragma once

#include <cstdint>

struct Progress {
    int64_t total;      // frames expected (0 = unknown)
    int64_t done;       // frames finished
    int64_t start;      // counter value when the run began
    int64_t last_print; // counter value of the last redraw
};

// A run of total frames starting now.
void progress_begin(Progress* progress, int64_t total);
// Redraws the line when a quarter second has passed since the last redraw,
// or always (and ends the line) when final is true.
void progress_print(Progress* progress, bool final);
