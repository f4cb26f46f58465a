// Pacing of the live frame loop: a frame starts at most max_fps times a
// second. Each frame gets a slot one period after the previous slot (not
// after the previous frame's actual start), so sleeping late does not slow
// the average rate; a loop that has fallen a whole period behind starts its
// schedule afresh instead of rushing frames to catch up. The picture still
// follows the music clock, read after the wait. Relies on platform/counter.h.
#pragma once

#include <cstdint>

// The live frame-rate cap when the command line names none: above the usual
// 60 Hz display (where vertical sync, when the video driver gives it, paces
// the loop by itself), low enough that a run without it does not keep a
// whole core busy drawing frames nobody sees.
constexpr int32_t PACING_DEFAULT_MAX_FPS = 120;

struct Pacing {
    int32_t started;   // non-zero once a frame has had its slot
    int64_t last_slot; // counter value of that slot
};

// The slot of the next frame, in counter ticks: now when there is no cap
// (max_fps <= 0), for the first frame, or when now lies a period or more past
// the due slot; otherwise one period after last_slot (possibly already past:
// the frame then starts at once).
int64_t pacing_next_slot(const Pacing* pacing, int64_t now, int32_t max_fps, int64_t frequency);

// Waits (sleeping) until the next frame's slot and records it. Returns the
// ticks it waited for.
int64_t pacing_wait(Pacing* pacing, int32_t max_fps);
