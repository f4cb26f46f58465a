// Frame pacing (pacing.h): the slot rule and the sleep on the counter.
#include "runtime/pacing.h"

#include "platform/counter.h"

int64_t pacing_next_slot(const Pacing* p, int64_t now, int32_t max_fps, int64_t frequency)
{
    if (max_fps <= 0 || !p->started)
        return now;
    // Rounded up, so that a second never holds more than max_fps slots.
    int64_t period = (frequency + max_fps - 1) / max_fps;
    int64_t due = p->last_slot + period;
    if (now - due >= period)
        return now;
    return due;
}

int64_t pacing_wait(Pacing* p, int32_t max_fps)
{
    int64_t now = counter_now();
    int64_t slot = pacing_next_slot(p, now, max_fps, counter_frequency());
    p->last_slot = slot;
    p->started = 1;
    if (slot <= now)
        return 0;
    counter_sleep_until(slot);
    return slot - now;
}
