// The progress of an offline run on standard error. On a terminal: a bar,
// frames done of the total, frames per second and the time left, redrawn in
// place at most four times a second. Anywhere else (a log file, a pipe):
// nothing while the run lasts and one summary line at the end, so logs stay
// readable. Relies on the steady counter.
#pragma once

#include <cstddef>
#include <cstdint>

struct Progress {
    int64_t total;      // frames expected (0 = unknown)
    int64_t done;       // frames finished
    int64_t start;      // counter value when the run began
    int64_t last_print; // counter value of the last redraw
    int32_t live;       // non-zero: standard error is a terminal, redraw in place
};

// A run of total frames starting now; looks whether standard error is a
// terminal.
void progress_begin(Progress* progress, int64_t total);
// Redraws the line when it is due, or always (and ends the line) when final
// is true.
void progress_print(Progress* progress, bool final);

// Whether a line is printed now: on a terminal at the end and whenever a
// quarter second has passed since the last redraw; elsewhere only at the end.
bool progress_due(bool live, bool final, int64_t since_last_print, int64_t frequency);
// The text of the line after elapsed seconds: the redrawn bar (starting with
// a carriage return) when live, else the summary line. Always ends the text
// with a newline when final.
void progress_format(const Progress* progress, double elapsed, bool final, char* out, size_t size);
