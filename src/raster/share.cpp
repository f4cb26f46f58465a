// Drawing shared by two threads: the queue. Between raster_share_begin() and
// raster_share_end() draw_triangles() queues copies of its records with the
// filler and texture slots they need, and band work is queued with a copy of
// its context; a helper thread draws the rows from a split row down while the
// queue grows, and the caller draws the rows above it when the share ends.
// Every pixel has one owner, which draws the work covering it in its order,
// so the picture is the single thread's. Also the helper thread itself and
// how the two wait for each other. Relies on share_internal.h.
#include "raster/share_internal.h"

#include <algorithm>
#include <cstring>
#include <new>

#if RASTER_HAS_THREADS
#include <system_error>
#include <thread>
#if defined(__linux__)
#include <pthread.h>
#include <time.h>
#endif
#endif

constinit thread_local raster_detail::Band raster_detail::band = {0, SCREEN_HEIGHT, 0,
                                                                  SCREEN_WIDTH* SCREEN_HEIGHT};

namespace raster_share
{
Queue queue;
Signals signals;
bool helper_running = false;
} // namespace raster_share

using namespace raster_share;

namespace
{
// Records a thread copies and draws at a time (the set-up writes into them,
// so each thread draws its own copies).
enum { SCRATCH_RECORDS = 256 };
// A sleeping helper is woken once this many records wait for it (or at the
// end of the share): waking costs the caller a system call.
constexpr int32_t WAKE_RECORDS = 192;

// How long a thread that waits for the other watches before it sleeps. A
// sleep costs a system call on each side and the sleeper's wake-up, slowest
// when its processor has gone idle meanwhile; watching for a few times that
// long catches the short waits whole and wastes little on the long ones.
// bench/wake_handover measures the wake-up on the machine at hand. The watch
// pauses between its reads, so that a hyper-threaded sibling keeps the core.
constexpr int64_t WATCH_MICROSECONDS = 100;

#if RASTER_HAS_THREADS
// Made with new and deleted when stopped: a program that exits with the
// helper still running must not run a joinable thread's destructor.
std::thread* helper = nullptr;
#endif

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
// does its band work on the band's rows.
void draw_command(const Command& c, RasterTriangle* scratch)
{
    if (!c.fill) {
        const int32_t first = std::max(c.y0, raster_detail::band.first_row);
        const int32_t end = std::min(c.y1, raster_detail::band.end_row);
        if (first < end)
            c.band(queue.contexts[c.first].bytes, first, end);
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

// Runs `work` as the share's own work on rows [first, end): drawing into the
// surface the share recorded, whatever this thread's frame is otherwise.
template <class Work> void in_band(int32_t first, int32_t end, Work work)
{
    const FrameTarget saved = frame_target;
    frame_target = {queue.surface, queue.depths, false};
    raster_detail::band = band_of_rows(first, end);
    work();
    raster_detail::band = band_of_rows(0, SCREEN_HEIGHT);
    frame_target = saved;
}

#if RASTER_HAS_THREADS
void helper_main()
{
    static RasterTriangle scratch[SCRATCH_RECORDS];
    uint32_t seen = 0;
    for (;;) {
        // Awake for a while after a share or job: the next one (the
        // overlay's passes after a scene's meshes) often follows soon.
        const auto next = [&seen] {
            return signals.share.load(std::memory_order_acquire) != seen ||
                   signals.quit.load(std::memory_order_acquire);
        };
        if (!watch_for(next)) {
            signals.awake.store(false, std::memory_order_relaxed);
            sleep_until(signals.share, signals.helper_sleeping, next);
        }
        if (signals.quit.load(std::memory_order_acquire))
            return;
        signals.awake.store(true, std::memory_order_relaxed);
        seen = signals.share.load(std::memory_order_acquire);
        if (signals.job) {
            signals.job(signals.job_context, signals.split, SCREEN_HEIGHT);
        } else {
            in_band(signals.split, SCREEN_HEIGHT, [] {
                uint32_t drawn = 0;
                for (;;) {
                    const uint32_t p = signals.progress.load(std::memory_order_acquire);
                    while (drawn < (p >> 1))
                        draw_command(queue.commands[drawn++], scratch);
                    if (p & 1u)
                        break;
                    wait_for(signals.progress, signals.helper_sleeping,
                             [p] { return signals.progress.load(std::memory_order_acquire) != p; });
                }
            });
        }
        signals.finished_at = counter_now();
        signals.done.store(seen, std::memory_order_seq_cst);
        signal(signals.done, signals.caller_sleeping);
    }
}
#endif

void publish(bool ended)
{
    const uint32_t p = static_cast<uint32_t>(queue.command_count) << 1 | (ended ? 1u : 0u);
    signals.progress.store(p, std::memory_order_seq_cst);
    if (ended || queue.unannounced >= WAKE_RECORDS) {
        signal(signals.progress, signals.helper_sleeping);
        queue.unannounced = 0;
    }
}

void check_surface()
{
    if (screen != queue.surface || depth_buffer != queue.depths) {
        // The surface changed inside a share, which callers must not do. The
        // work queued so far still goes to the surface it was queued for,
        // and the share starts again on the new one.
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

namespace raster_share
{

int64_t watch_ticks()
{
    static const int64_t ticks = WATCH_MICROSECONDS * counter_frequency() / 1000000;
    return ticks;
}

void signal(std::atomic<uint32_t>& word, const std::atomic<bool>& sleeping)
{
#if RASTER_HAS_THREADS
    std::atomic_thread_fence(std::memory_order_seq_cst);
    if (sleeping.load(std::memory_order_seq_cst))
        wake_one(word);
#else
    (void)word;
    (void)sleeping;
#endif
}

uint32_t announce()
{
    // The release hands over everything drawn before (the frame, the
    // textures) along with the split and the job.
    const uint32_t share = signals.share.fetch_add(1, std::memory_order_seq_cst) + 1;
    signal(signals.share, signals.helper_sleeping);
    return share;
}

void wait_done(uint32_t share)
{
    wait_for(signals.done, signals.caller_sleeping,
             [share] { return signals.done.load(std::memory_order_acquire) == share; });
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
    queue.split = learning_open();
    signals.split = queue.split;
    signals.progress.store(0, std::memory_order_relaxed);
    frame_target.locked = true;
    announce();
}

// Ends the share: the caller draws its rows, then waits for the helper.
void share_close()
{
    static RasterTriangle scratch[SCRATCH_RECORDS];
    queue.active = false;
    frame_target.locked = false;
    const uint32_t share = signals.share.load(std::memory_order_relaxed);
    publish(true);
    const Texture* environment = environment_texture;
    const Texture* bump = bump_texture;
    const Texture* offset = offset_texture;
    in_band(0, queue.split, [] {
        for (int32_t i = 0; i < queue.command_count; i++)
            draw_command(queue.commands[i], scratch);
    });
    environment_texture = environment;
    bump_texture = bump;
    offset_texture = offset;
    const int64_t mine = counter_now();
    wait_done(share);
    // The picture does not depend on where the split lies.
    learning_close(mine - queue.opened, signals.finished_at - mine);
}

} // namespace raster_share

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
        signals.quit.store(true, std::memory_order_seq_cst);
        announce();
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
    learning_frame_begin();
}

bool raster_share_is_open()
{
    return queue.active;
}

void raster_share_end()
{
    if (queue.depth <= 0)
        return;
    if (--queue.depth > 0 || !queue.active)
        return;
    share_close();
}

void raster_share_band(RasterBandFunction part, const void* context, size_t size, int32_t first_row,
                       int32_t end_row)
{
    first_row = std::max(first_row, 0);
    end_row = std::min(end_row, static_cast<int32_t>(SCREEN_HEIGHT));
    if (!part || first_row >= end_row)
        return;
    if (!queue.active || size > RASTER_BAND_CONTEXT_MAX) {
        if (queue.active) { // what is queued comes first
            share_close();
            part(const_cast<void*>(context), first_row, end_row);
            share_open();
            return;
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
    learning_add_band(first_row, end_row);
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
            learning_add_record(triangles[done + i]);
        queue.record_count += n;
        queue.command_count++;
        queue.unannounced += n;
        publish(false);
        done += n;
    }
    return true;
}
