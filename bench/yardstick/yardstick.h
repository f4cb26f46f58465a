// The yardstick: a small fixed drawing timed beside every bench run, so that
// figures taken hours apart on a machine whose speed varies can be compared
// as multiples of it. It is the W1 workload (20,000 small flat triangles with
// a depth test, ../shared/bench/WORKLOADS.md) drawn by a plain scalar walk of
// its own that shares nothing with the renderer. It is never optimised nor
// changed: a change would make old figures in its units meaningless (the
// tests pin its picture).
#pragma once

#include <cstdint>

enum { YARDSTICK_TRIANGLES = 20000 };

// One triangle of the workload: vertices in 1/32 pixel, depth in [0, 2^24),
// colour 0xAARRGGBB of vertex 0; clockwise on the y-down frame.
struct YardstickTriangle {
    int32_t x[3], y[3], z[3];
    uint32_t colour[3];
    uint32_t u[3], v[3];
};

// The workload's triangles in drawing order (YARDSTICK_TRIANGLES of them),
// made once.
const YardstickTriangle* yardstick_triangles();
// The FNV-1a hash of the triangles' words (x, y, z, colour, u, v per vertex),
// as WORKLOADS.md defines it.
uint32_t yardstick_triangle_hash();

// One frame: clears its own 640 x 480 frame and depth buffer and draws the
// workload. Returns the FNV-1a hash of the frame's pixels; `written`, when
// not null, receives how many pixels passed the depth test.
uint32_t yardstick_frame(int64_t* written);

// The median time of `frames` frames (at least 1) in milliseconds, after one
// frame to warm the caches: wall clock, and in `cpu_ms` (when not null) the
// processor time this thread spent (the wall clock where no thread clock is).
double yardstick_measure(int32_t frames, double* cpu_ms);
