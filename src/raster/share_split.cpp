// Jobs split in two: work on a band whose halves may run at once runs the
// upper half on the caller and the lower half on the helper. Inside an open
// share, the work queued so far is drawn first and the share goes on after
// the job. Relies on share_internal.h (the queue and the hand-over words).
#include "raster/share_internal.h"

using namespace raster_share;

void raster_split_in_two(RasterBandFunction part, void* context)
{
    if (!part)
        return;
    // Work queued before the job comes first; the share (and its nesting)
    // goes on after it.
    const bool reopen = queue.active;
    if (reopen)
        share_close();
    // A sleeping helper wakes too late for work this short: then the caller
    // does it alone.
    if (!helper_running || !signals.awake.load(std::memory_order_relaxed)) {
        part(context, 0, SCREEN_HEIGHT);
    } else {
        const int32_t split = SCREEN_HEIGHT / 2;
        signals.job = part;
        signals.job_context = context;
        signals.split = split;
        const uint32_t share = announce();
        part(context, 0, split);
        wait_done(share);
        signals.job = nullptr;
    }
    if (reopen)
        share_open();
}
