// The high-resolution counter: a steady clock that never runs backwards, read
// as ticks with a fixed frequency. The demo clock steps from it before the
// music runs; the audio layer interpolates play positions with it.
#pragma once

#include <cstdint>

// Ticks since an arbitrary fixed start.
int64_t counter_now();
// Ticks per second.
int64_t counter_frequency();
