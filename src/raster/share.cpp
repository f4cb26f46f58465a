// Drawing shared by two threads. Between raster_share_begin() and
// raster_share_end() draw_triangles() queues copies of its records with the
// filler and texture slots they need; a helper thread draws the rows from a
// split row down while the queue grows, and the caller draws the rows above it
// when the share ends. Every pixel has one owner, which draws the triangles
// covering it in their order, so the picture is the single thread's. Relies on
// raster_internal.h (the band a walk keeps to), image/ and platform/counter.h.
#include "raster/raster_internal.h"

#include "platform/counter.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

#if !defined(__EMSCRIPTEN__) || defined(__EMSCRIPTEN_PTHREADS__)
#define RASTER_HAS_THREADS 1
#include <system_error>
#include <thread>
#if defined(__linux__)
#include <pthread.h>
#include <time.h>
#endif
#else
#define RASTER_HAS_THREADS 0
#endif

constinit thread_local raster_detail::Band raster_detail::band = {0, SCREEN_HEIGHT, 0,
                                                                  SCREEN_WIDTH* SCREEN_HEIGHT};

namespace
{
// Queue sizes: a frame of the heaviest scene queues about 12,000 records in
// 600 draws. A full queue is drawn and emptied, and the share goes on.
enum { QUEUE_RECORDS = 1 << 15, QUEUE_COMMANDS = 1 << 12 };
// Row work's contexts a share holds (raster_share_rows).
enum { QUEUE_CONTEXT_BLOCKS = 1 << 10 }; // of 16 bytes
// Records a thread copies and draws at a time (the set-up writes into them,
// so each thread draws its own copies).
enum { SCRATCH_RECORDS = 256 };
// A sleeping helper is woken once this many records wait for it (or at the
// end of the share): waking costs the caller a system call.
constexpr int32_t WAKE_RECORDS = 192;
// How long a thread waiting for the other inside a share watches for it
// before it sleeps. Waking a sleeping processor takes long here (often more
// than 100 us), while the waits inside a share are mostly shorter. The watch
// reads plainly, without a pause instruction: on this virtual machine a
// pause gives the processor away.
constexpr int64_t WATCH_MICROSECONDS = 300;

// Feedback on the caller's share of the work: how far one share's imbalance
// moves it, and its bounds.
constexpr float FRACTION_GAIN = 0.5f;
constexpr float FRACTION_MIN = 0.05f, FRACTION_MAX = 0.95f;
// A record's guessed cost: its box area in pixels, halved (a triangle fills
// about half its box), plus this much for its set-up.
constexpr float RECORD_COST = 64.0f;
// Guessed cost of a row of row work (raster_share_rows), in a record's units:
// copying or blending a row costs far less per pixel than filling one.
constexpr float ROWS_COST = static_cast<float>(SCREEN_WIDTH) / 4.0f;
// Shares of a frame's row with a split of their own (the later ones share the last).
enum { SHARE_SITES = 4 };
constexpr int32_t SPLIT_MIN = 16, SPLIT_MAX = SCREEN_HEIGHT - 16;

// Records first .. first + count - 1 drawn with `fill`; or, with no filler,
// row work: rows(the context copied at block `first`, rows of [y0, y1) in the
// thread's band).
struct Command {
    FillFunction fill;
    const Texture* texture;
    const Texture* environment;
    const Texture* bump;
    const Texture* offset;
    int32_t first;
    int32_t count;
    RasterRowsFunction rows;
    int32_t y0, y1;
};

// Row work's contexts are copied into blocks of 16 bytes, each copy starting
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
    // Where the split lies. The shares of a frame cover different parts of
    // it (two scenes overlap at times), so the n-th share since the frame
    // began keeps what it learnt apart: the guessed cost of the rows
    // above each row last time (cumulative, from the records' boxes), and the
    // fraction of that cost the caller takes, corrected after every share by
    // which thread finished last. The cost moves slowly from frame to frame,
    // the fraction takes up the caller's own work (it also prepares the
    // draws) and how far the guess is off.
    int32_t site = 0;
    float cumulative[SHARE_SITES][SCREEN_HEIGHT + 1] = {};
    float fraction[SHARE_SITES] = {0.5f, 0.5f, 0.5f, 0.5f};
    // This share's cost per row, as differences (row_cost[y] - row_cost[y - 1]).
    float row_cost[SCREEN_HEIGHT + 1] = {};
    int32_t split = SCREEN_HEIGHT / 2;
    int64_t opened = 0; // counter when the share opened
    const FrameSurface* surface = nullptr;
    const DepthBuffer* depths = nullptr;
};
Queue queue;

// Between the caller and the helper. `progress` is commands published times
// two, plus one once the share has ended; `share` counts shares begun; `done`
// is the last share the helper has finished.
struct Signals {
    alignas(64) std::atomic<uint32_t> share{0};
    alignas(64) std::atomic<uint32_t> progress{0};
    alignas(64) std::atomic<uint32_t> done{0};
    alignas(64) std::atomic<bool> sleeping{false};
    std::atomic<bool> quit{false};
    std::atomic<bool> awake{false};    // the helper is working or watching, not asleep
    int32_t split = SCREEN_HEIGHT / 2; // written before a share is announced
    int64_t finished_at = 0;           // the helper's counter when it finished a share
    // Set for a rows job (raster_threads_rows) instead of a share.
    RasterRowsFunction job = nullptr;
    void* job_context = nullptr;
};
Signals signals;

#if RASTER_HAS_THREADS
// Made with new and deleted when stopped: a program that exits with the
// helper still running must not run a joinable thread's destructor.
std::thread* helper = nullptr;
#endif
bool helper_running = false;

// Sleeps while `a` holds `old`; wakes a thread sleeping on `a`. Without
// threads there is never anyone to wait for.
template <class T> void sleep_while(std::atomic<T>& a, T old)
{
#if RASTER_HAS_THREADS
    a.wait(old, std::memory_order_acquire);
#else
    (void)a;
    (void)old;
#endif
}
template <class T> void wake(std::atomic<T>& a)
{
#if RASTER_HAS_THREADS
    a.notify_one();
#else
    (void)a;
#endif
}

// Watches for `ready` for up to WATCH_MICROSECONDS; true once it holds.
template <class Ready> bool watch_until(Ready ready)
{
    const int64_t until = counter_now() + WATCH_MICROSECONDS * counter_frequency() / 1000000;
    for (;;) {
        for (int32_t k = 0; k < 64; k++)
            if (ready())
                return true;
        if (counter_now() > until)
            return false;
    }
}

raster_detail::Band band_of_rows(int32_t first, int32_t end)
{
    return {first, end, static_cast<std::ptrdiff_t>(first) * SCREEN_WIDTH,
            static_cast<std::ptrdiff_t>(end) * SCREEN_WIDTH};
}

// False when the record surely has no covered row in the band; its box runs
// from the top vertex's row to the row below the bottom vertex (see the
// set-up), and a margin keeps this a conservative guess. Coordinates that are
// not numbers are left to the set-up.
bool may_touch(const RasterTriangle& t, const raster_detail::Band& b)
{
    const float y0 = t.v[0].y, y1 = t.v[1].y, y2 = t.v[2].y;
    const float top = y0 < y1 ? (y0 < y2 ? y0 : y2) : (y1 < y2 ? y1 : y2);
    const float bottom = y0 > y1 ? (y0 > y2 ? y0 : y2) : (y1 > y2 ? y1 : y2);
    if (bottom + 2.0f < static_cast<float>(b.first_row))
        return false;
    if (top - 1.0f >= static_cast<float>(b.end_row))
        return false;
    return true;
}

// Draws a command's records that may reach this thread's band, in order, or
// does its row work on the band's rows.
void draw_command(const Command& c, RasterTriangle* scratch)
{
    if (!c.fill) {
        const int32_t first = std::max(c.y0, raster_detail::band.first_row);
        const int32_t end = std::min(c.y1, raster_detail::band.end_row);
        if (first < end)
            c.rows(queue.contexts[c.first].bytes, first, end);
        return;
    }
    environment_texture = c.environment;
    bump_texture = c.bump;
    offset_texture = c.offset;
    const raster_detail::Band b = raster_detail::band;
    const RasterTriangle* records = queue.records + c.first;
    int32_t n = 0;
    for (int32_t i = 0; i < c.count; i++) {
        if (!may_touch(records[i], b))
            continue;
        std::memcpy(&scratch[n], &records[i], sizeof(RasterTriangle));
        if (++n == SCRATCH_RECORDS) {
            c.fill(scratch, n, c.texture);
            n = 0;
        }
    }
    if (n > 0)
        c.fill(scratch, n, c.texture);
}

#if RASTER_HAS_THREADS
void helper_main()
{
    static RasterTriangle scratch[SCRATCH_RECORDS];
    uint32_t seen = 0;
    for (;;) {
        // Awake for a while after a share or job: the next one (the
        // overlay's passes after a scene's meshes) often follows soon.
        if (seen != 0)
            watch_until([seen] { return signals.share.load(std::memory_order_acquire) != seen; });
        uint32_t share = signals.share.load(std::memory_order_acquire);
        if (share == seen)
            signals.awake.store(false, std::memory_order_relaxed);
        while (share == seen && !signals.quit.load(std::memory_order_acquire)) {
            sleep_while(signals.share, seen);
            share = signals.share.load(std::memory_order_acquire);
        }
        if (signals.quit.load(std::memory_order_acquire))
            return;
        signals.awake.store(true, std::memory_order_relaxed);
        seen = share;
        if (signals.job) {
            signals.job(signals.job_context, signals.split, SCREEN_HEIGHT);
            signals.finished_at = counter_now();
            signals.done.store(seen, std::memory_order_release);
            wake(signals.done);
            continue;
        }
        raster_detail::band = band_of_rows(signals.split, SCREEN_HEIGHT);
        uint32_t drawn = 0;
        for (;;) {
            const uint32_t p = signals.progress.load(std::memory_order_acquire);
            const uint32_t published = p >> 1;
            while (drawn < published)
                draw_command(queue.commands[drawn++], scratch);
            if (p & 1u)
                break;
            if (watch_until([p] { return signals.progress.load(std::memory_order_acquire) != p; }))
                continue;
            // Sleep until more is published; the flag is set before the
            // progress is read again, so a publish either sees it or is seen.
            signals.sleeping.store(true, std::memory_order_seq_cst);
            if (signals.progress.load(std::memory_order_seq_cst) == p)
                sleep_while(signals.progress, p);
            signals.sleeping.store(false, std::memory_order_relaxed);
        }
        signals.finished_at = counter_now();
        signals.done.store(seen, std::memory_order_release);
        wake(signals.done);
    }
}
#endif

void publish(bool ended)
{
    const uint32_t p = static_cast<uint32_t>(queue.command_count) << 1 | (ended ? 1u : 0u);
    signals.progress.store(p, std::memory_order_seq_cst);
    if ((ended || queue.unannounced >= WAKE_RECORDS) && signals.sleeping.load(std::memory_order_seq_cst)) {
        wake(signals.progress);
        queue.unannounced = 0;
    }
}

// The row where the guessed cost above it reaches `fraction` of the whole;
// the middle before anything is known.
int32_t split_row(const float* cumulative, float fraction)
{
    const float total = cumulative[SCREEN_HEIGHT];
    int32_t row = SCREEN_HEIGHT / 2;
    if (total > 0.0f)
        row = static_cast<int32_t>(
            std::lower_bound(cumulative, cumulative + SCREEN_HEIGHT + 1, fraction * total) - cumulative);
    return row < SPLIT_MIN ? SPLIT_MIN : row > SPLIT_MAX ? SPLIT_MAX : row;
}

// Adds a record's guessed cost, spread evenly over the rows its box covers.
void add_cost(const RasterTriangle& t)
{
    const float x0 = t.v[0].x, x1 = t.v[1].x, x2 = t.v[2].x;
    const float y0 = t.v[0].y, y1 = t.v[1].y, y2 = t.v[2].y;
    float left = std::min(x0, std::min(x1, x2)), right = std::max(x0, std::max(x1, x2));
    float top = std::min(y0, std::min(y1, y2)), bottom = std::max(y0, std::max(y1, y2));
    left = std::max(left, 0.0f);
    right = std::min(right, static_cast<float>(SCREEN_WIDTH));
    top = std::max(top, 0.0f);
    bottom = std::min(bottom, static_cast<float>(SCREEN_HEIGHT - 1));
    if (!(right >= left && bottom >= top)) // also not numbers
        return;
    const int32_t first = static_cast<int32_t>(top), last = static_cast<int32_t>(bottom);
    const float rows = static_cast<float>(last - first + 1);
    const float per_row = 0.5f * (right - left + 1.0f) + RECORD_COST / rows;
    queue.row_cost[first] += per_row;
    queue.row_cost[last + 1] -= per_row;
}

// Row work over rows [first, end), spread evenly over them.
void add_rows_cost(int32_t first, int32_t end)
{
    queue.row_cost[first] += ROWS_COST;
    queue.row_cost[end] -= ROWS_COST;
}

void share_open()
{
    queue.record_count = 0;
    queue.command_count = 0;
    queue.context_blocks = 0;
    queue.unannounced = 0;
    queue.surface = screen;
    queue.depths = depth_buffer;
    queue.active = true;
    queue.opened = counter_now();
    queue.split = split_row(queue.cumulative[queue.site], queue.fraction[queue.site]);
    std::fill(queue.row_cost, queue.row_cost + SCREEN_HEIGHT + 1, 0.0f);
    signals.split = queue.split;
    signals.progress.store(0, std::memory_order_relaxed);
    // The release hands over everything drawn before the share (the frame,
    // the textures) along with the split.
    signals.share.fetch_add(1, std::memory_order_release);
    wake(signals.share);
}

// Ends the share: the caller draws its rows, then waits for the helper.
void share_close()
{
    static RasterTriangle scratch[SCRATCH_RECORDS];
    queue.active = false;
    const uint32_t share = signals.share.load(std::memory_order_relaxed);
    publish(true);
    const Texture* environment = environment_texture;
    const Texture* bump = bump_texture;
    const Texture* offset = offset_texture;
    raster_detail::band = band_of_rows(0, queue.split);
    for (int32_t i = 0; i < queue.command_count; i++)
        draw_command(queue.commands[i], scratch);
    raster_detail::band = band_of_rows(0, SCREEN_HEIGHT);
    environment_texture = environment;
    bump_texture = bump;
    offset_texture = offset;
    const int64_t mine = counter_now();
    const int64_t opened = queue.opened;
    watch_until([share] { return signals.done.load(std::memory_order_acquire) == share; });
    uint32_t d = signals.done.load(std::memory_order_acquire);
    while (d != share) {
        sleep_while(signals.done, d);
        d = signals.done.load(std::memory_order_acquire);
    }
    // Rows go to whichever thread finished first, in proportion to how long
    // the other went on. The picture does not depend on where the split lies.
    const int64_t late = signals.finished_at - mine; // > 0: the helper finished last
    const int64_t span = mine - opened + (late > 0 ? late : 0);
    float& f = queue.fraction[queue.site];
    if (span > 0)
        f += FRACTION_GAIN * static_cast<float>(static_cast<double>(late) / static_cast<double>(span));
    f = f < FRACTION_MIN ? FRACTION_MIN : f > FRACTION_MAX ? FRACTION_MAX : f;
    float* cumulative = queue.cumulative[queue.site];
    float per_row = 0.0f, total = 0.0f;
    cumulative[0] = 0.0f;
    for (int32_t y = 0; y < SCREEN_HEIGHT; y++) {
        per_row += queue.row_cost[y];
        total += per_row > 0.0f ? per_row : 0.0f;
        cumulative[y + 1] = total;
    }
    if (queue.site < SHARE_SITES - 1)
        queue.site++;
}

void check_surface()
{
    if (screen != queue.surface || depth_buffer != queue.depths) {
        // The surface changed inside a share, which callers must not do: the
        // work queued so far is drawn now (into the current surface, whose
        // size the fillers check), and the share starts again on it.
        share_close();
        share_open();
    }
}

#if RASTER_HAS_THREADS
bool queue_ready()
{
    if (queue.records && queue.commands && queue.contexts)
        return true;
    queue.records = new (std::nothrow) RasterTriangle[QUEUE_RECORDS];
    queue.commands = new (std::nothrow) Command[QUEUE_COMMANDS];
    queue.contexts = new (std::nothrow) ContextBlock[QUEUE_CONTEXT_BLOCKS];
    if (queue.records && queue.commands && queue.contexts)
        return true;
    delete[] queue.records;
    delete[] queue.commands;
    delete[] queue.contexts;
    queue.records = nullptr;
    queue.commands = nullptr;
    queue.contexts = nullptr;
    return false;
}
#endif
} // namespace

int32_t raster_threads_start(int32_t count)
{
    raster_threads_stop();
    if (count < 2)
        return 1;
#if RASTER_HAS_THREADS
    if (!queue_ready())
        return 1;
    signals.quit.store(false, std::memory_order_relaxed);
    try {
        helper = new std::thread(helper_main);
    } catch (const std::system_error&) {
        return 1;
    } catch (const std::bad_alloc&) {
        return 1;
    }
    helper_running = true;
    return 2;
#else
    return 1;
#endif
}

void raster_threads_stop()
{
    raster_share_close_all();
#if RASTER_HAS_THREADS
    if (helper_running) {
        signals.quit.store(true, std::memory_order_release);
        signals.share.fetch_add(1, std::memory_order_release);
        wake(signals.share);
        helper->join();
        delete helper;
        helper = nullptr;
        helper_running = false;
        // The helper's count of shares seen is gone with it.
        signals.share.store(0, std::memory_order_relaxed);
        signals.done.store(0, std::memory_order_relaxed);
    }
#endif
}

int32_t raster_threads()
{
    return helper_running ? 2 : 1;
}

int64_t raster_threads_time()
{
#if RASTER_HAS_THREADS && defined(__linux__)
    if (!helper_running)
        return 0;
    clockid_t clock;
    timespec ts;
    if (pthread_getcpuclockid(helper->native_handle(), &clock) != 0 || clock_gettime(clock, &ts) != 0)
        return 0;
    const double ns = static_cast<double>(ts.tv_sec) * 1e9 + static_cast<double>(ts.tv_nsec);
    return static_cast<int64_t>(ns * static_cast<double>(counter_frequency()) / 1e9);
#else
    return 0;
#endif
}

void raster_threads_rows(RasterRowsFunction part, void* context)
{
    if (!part)
        return;
    // A sleeping helper wakes too late for work this short: then the caller
    // does it alone.
    if (!helper_running || !signals.awake.load(std::memory_order_relaxed)) {
        if (queue.depth > 0) {
            queue.depth = 1;
            raster_share_end();
        }
        part(context, 0, SCREEN_HEIGHT);
        return;
    }
    if (queue.depth > 0) { // what is queued comes first
        queue.depth = 1;
        raster_share_end();
    }
    const int32_t split = SCREEN_HEIGHT / 2;
    signals.job = part;
    signals.job_context = context;
    signals.split = split;
    const uint32_t share = signals.share.fetch_add(1, std::memory_order_release) + 1;
    wake(signals.share);
    part(context, 0, split);
    watch_until([share] { return signals.done.load(std::memory_order_acquire) == share; });
    uint32_t d = signals.done.load(std::memory_order_acquire);
    while (d != share) {
        sleep_while(signals.done, d);
        d = signals.done.load(std::memory_order_acquire);
    }
    signals.job = nullptr;
}

void raster_share_begin()
{
    if (queue.depth++ > 0 || !helper_running)
        return;
    share_open();
}

void raster_share_close_all()
{
    if (queue.depth > 0) {
        queue.depth = 1;
        raster_share_end();
    }
}

void raster_share_frame_begin()
{
    queue.site = 0;
}

void raster_share_end()
{
    if (queue.depth <= 0)
        return;
    if (--queue.depth > 0 || !queue.active)
        return;
    share_close();
}

void raster_share_rows(RasterRowsFunction part, const void* context, size_t size, int32_t first_row,
                       int32_t end_row)
{
    first_row = std::max(first_row, 0);
    end_row = std::min(end_row, static_cast<int32_t>(SCREEN_HEIGHT));
    if (!part || first_row >= end_row)
        return;
    if (!queue.active || size > RASTER_ROWS_CONTEXT_MAX) {
        if (queue.active) { // what is queued comes first
            share_close();
            share_open();
        }
        part(const_cast<void*>(context), first_row, end_row);
        return;
    }
    check_surface();
    const int32_t blocks =
        std::max(1, static_cast<int32_t>((size + sizeof(ContextBlock) - 1) / sizeof(ContextBlock)));
    if (queue.command_count == QUEUE_COMMANDS || queue.context_blocks + blocks > QUEUE_CONTEXT_BLOCKS) {
        share_close();
        share_open();
    }
    if (size > 0)
        std::memcpy(queue.contexts[queue.context_blocks].bytes, context, size);
    queue.commands[queue.command_count] = {
        nullptr, nullptr, nullptr, nullptr, nullptr, queue.context_blocks, 0, part, first_row, end_row};
    queue.context_blocks += blocks;
    queue.command_count++;
    add_rows_cost(first_row, end_row);
    queue.unannounced += WAKE_RECORDS; // worth a wake
    publish(false);
}

bool raster_share_queue(RasterTriangle* triangles, int32_t count, const Texture* texture, FillFunction fill)
{
    if (!queue.active)
        return false;
    check_surface();
    int32_t done = 0;
    while (done < count) {
        if (queue.command_count == QUEUE_COMMANDS || queue.record_count == QUEUE_RECORDS) {
            share_close();
            share_open();
        }
        int32_t n = count - done;
        if (n > QUEUE_RECORDS - queue.record_count)
            n = QUEUE_RECORDS - queue.record_count;
        std::memcpy(queue.records + queue.record_count, triangles + done,
                    sizeof(RasterTriangle) * static_cast<size_t>(n));
        queue.commands[queue.command_count] = {
            fill, texture, environment_texture, bump_texture, offset_texture, queue.record_count, n, nullptr,
            0,    0};
        for (int32_t i = 0; i < n; i++)
            add_cost(triangles[done + i]);
        queue.record_count += n;
        queue.command_count++;
        queue.unannounced += n;
        publish(false);
        done += n;
    }
    return true;
}
