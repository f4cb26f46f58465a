// The statistics of a bench run: per timeline row, the frames in which the
// row drew and the nearest-rank median, 95th percentile and worst of their
// whole-frame times (wall clock) with the beat of the slowest frame, the
// median and worst processor time the drawing threads spent on them (which
// other processes on a busy machine do not inflate) and the beat of that
// heaviest frame, so it can be drawn again on its own, as a text table or a
// JSON document, with the yardstick's time beside them. A slowest frame far from the heaviest one waited: for the
// machine, or at the start of a run for the helper thread. Relies on the timeline
// (effects.h) for the rows.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

// Per-frame timings of a bench run: the whole-frame time, the beat, the
// drawing threads' processor time for the frame and the music time in beats.
struct BenchFrame {
    double ms;
    int32_t beat;
    double cpu_ms;
    double at_beat;
};

// The yardstick's time (bench/yardstick) measured before and after the
// frames, by the wall clock and in processor time: their means are the units
// the rows' wall-clock and processor times are also given in, so that runs
// on a machine whose speed drifts compare; far apart, the machine changed
// speed during the run.
struct BenchYardstick {
    double before_ms;
    double after_ms;
    double before_cpu_ms;
    double after_cpu_ms;
};

// Writes the table (text) or the JSON document for the frames, which took
// seconds in all.
void bench_report_text(FILE* to, const std::vector<BenchFrame>& frames, double seconds,
                       const BenchYardstick& yardstick);
void bench_report_json(FILE* to, const std::vector<BenchFrame>& frames, double seconds,
                       const BenchYardstick& yardstick);
