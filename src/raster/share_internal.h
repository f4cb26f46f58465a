// What the drawing share's three files hold in common: the queue of draws and
// band work (share.cpp), the hand-over words between the caller and the
// helper thread and how a thread waits on them, jobs split in two
// (share_split.cpp) and where the split row lies (share_learning.cpp).
// Only for those files; the public face is raster.h.
#pragma once

#include "platform/counter.h"
#include "platform/wake.h"
#include "raster/raster_internal.h"

#include <atomic>
#include <cstdint>

#if !defined(__EMSCRIPTEN__) || defined(__EMSCRIPTEN_PTHREADS__)
#define RASTER_HAS_THREADS 1
#else
#define RASTER_HAS_THREADS 0
#endif

namespace raster_share
{

// Queue sizes: a frame of the heaviest scene queues about 12,000 records in
// 600 draws. A full queue is drawn and emptied, and the share goes on.
enum { QUEUE_RECORDS = 1 << 15, QUEUE_COMMANDS = 1 << 12 };
// Band work's contexts a share holds (raster_share_band).
enum { QUEUE_CONTEXT_BLOCKS = 1 << 10 }; // of 16 bytes

// Records first .. first + count - 1 drawn with `fill`; or, with no filler,
// band work: band(the context copied at block `first`, rows of [y0, y1) in
// the thread's band).
struct Command {
    FillFunction fill;
    const Texture* texture;
    const Texture* environment;
    const Texture* bump;
    const Texture* offset;
    int32_t first;
    int32_t count;
    RasterBandFunction band;
    int32_t y0, y1;
};

// Band work's contexts are copied into blocks of 16 bytes, each copy starting
// a block (and so aligned as any plain struct needs).
struct alignas(16) ContextBlock {
    unsigned char bytes[16];
};

struct Queue {
    RasterTriangle* records = nullptr;
    Command* commands = nullptr;
    ContextBlock* contexts = nullptr; // QUEUE_CONTEXT_BLOCKS
    int32_t context_blocks = 0;
    int32_t record_count = 0;
    int32_t command_count = 0;
    // The caller's records of waiting work not yet handed over by a wake.
    int32_t unannounced = 0;
    bool active = false;
    int32_t depth = 0; // nested begin/end pairs
    int32_t split = SCREEN_HEIGHT / 2;
    int64_t opened = 0; // counter when the share opened
    // What the queued work draws into, whichever thread draws it and
    // whatever `screen` and `depth_buffer` are by then.
    FrameSurface* surface = nullptr;
    DepthBuffer* depths = nullptr;
};
extern Queue queue;

// Between the caller and the helper. `progress` is commands published times
// two, plus one once the share has ended; `share` counts shares and jobs
// begun; `done` is the last one the helper has finished. A thread about to
// sleep on a word says so in its `*_sleeping` flag first, and the other
// thread wakes it only then (a wake is a system call).
struct Signals {
    alignas(64) std::atomic<uint32_t> share{0};
    alignas(64) std::atomic<uint32_t> progress{0};
    alignas(64) std::atomic<uint32_t> done{0};
    alignas(64) std::atomic<bool> helper_sleeping{false}; // on `share` or `progress`
    std::atomic<bool> caller_sleeping{false};             // on `done`
    std::atomic<bool> quit{false};
    std::atomic<bool> awake{false};    // the helper is working or watching, not asleep
    int32_t split = SCREEN_HEIGHT / 2; // written before a share is announced
    int64_t finished_at = 0;           // the helper's counter when it finished a share
    // Set for a job split in two (raster_split_in_two) instead of a share.
    RasterBandFunction job = nullptr;
    void* job_context = nullptr;
};
extern Signals signals;

extern bool helper_running;

// Waits until `ready()` holds, `word` being what changes when it may: first
// watches for it with the pause instruction for a bounded time, then sleeps
// on `word` with `sleeping` raised. The thread that changes the word calls
// signal() after storing it.
template <class Ready>
void wait_for(const std::atomic<uint32_t>& word, std::atomic<bool>& sleeping, Ready ready);
void signal(std::atomic<uint32_t>& word, const std::atomic<bool>& sleeping);
// Its two halves: watches for `ready()` for the bounded time; true once it
// holds. Sleeps until it holds.
template <class Ready> bool watch_for(Ready ready);
template <class Ready>
void sleep_until(const std::atomic<uint32_t>& word, std::atomic<bool>& sleeping, Ready ready);

// The caller's side of a share or a job: hands the next one to the helper
// (what is written before is the helper's to read) and returns its number;
// waits until the helper has finished that one.
uint32_t announce();
void wait_done(uint32_t share);

// Draws the queue, starting and ending a share (share.cpp).
void share_open();
void share_close();

// ---- Where the split lies (share_learning.cpp) ----------------------------------
// Called as a share opens: forgets the last share's costs and returns the
// row where this share splits.
int32_t learning_open();
// Adds a record's guessed cost / band work over rows [first, end).
void learning_add_record(const RasterTriangle& t);
void learning_add_band(int32_t first, int32_t end);
// Called as a share closes: corrects the split from how long each thread
// took (counter ticks from the share's opening to the caller's end, and how
// much later the helper finished: negative when earlier).
void learning_close(int64_t caller_span, int64_t helper_late);
// A new frame: its n-th share learns from the last frame's n-th.
void learning_frame_begin();

// ---- Waiting ------------------------------------------------------------------
// How long a waiting thread watches before it sleeps, in counter ticks.
int64_t watch_ticks();

template <class Ready> bool watch_for(Ready ready)
{
    if (ready())
        return true;
    const int64_t until = counter_now() + watch_ticks();
    for (;;) {
        for (int32_t k = 0; k < 16; k++) {
            wake_pause();
            if (ready())
                return true;
        }
        if (counter_now() > until)
            return false;
    }
}

template <class Ready>
void sleep_until(const std::atomic<uint32_t>& word, std::atomic<bool>& sleeping, Ready ready)
{
    for (;;) {
        const uint32_t seen = word.load(std::memory_order_seq_cst);
        // The flag is raised before the word is read again, so a thread that
        // changes the word either sees the flag (and wakes us) or is seen.
        sleeping.store(true, std::memory_order_seq_cst);
        std::atomic_thread_fence(std::memory_order_seq_cst);
        if (ready()) {
            sleeping.store(false, std::memory_order_relaxed);
            return;
        }
        wake_wait(word, seen);
        sleeping.store(false, std::memory_order_relaxed);
        if (ready())
            return;
    }
}

template <class Ready>
void wait_for(const std::atomic<uint32_t>& word, std::atomic<bool>& sleeping, Ready ready)
{
    if (!watch_for(ready))
        sleep_until(word, sleeping, ready);
}

} // namespace raster_share
