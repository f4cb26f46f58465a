// The high-resolution counter: a steady clock that never runs backwards, read
// as ticks with a fixed frequency. The demo clock steps from it before the
// music runs; the audio layer interpolates play positions with it; the frame
// loop sleeps on it; the bench reads the drawing thread's processor time.
#pragma once

#include <cstdint>

// Ticks since an arbitrary fixed start.
int64_t counter_now();
// Ticks per second.
int64_t counter_frequency();
// Sleeps until counter_now() reaches ticks (returns at once when it has).
void counter_sleep_until(int64_t ticks);
// Processor time the calling thread has used, in counter ticks (0 where the
// system cannot tell).
int64_t counter_thread_time();
