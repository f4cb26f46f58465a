// The PNG writer pool of captures (frame_writer.h); relies on png_out.h and
// the screen (core/frame.h).
#include "runtime/frame_writer.h"

#include "core/frame.h"
#include "runtime/png_out.h"

#include <algorithm>
#include <cstring>

namespace
{

constexpr int32_t PNG_LEVEL = 1; // fast; frames are large and many

void writer_run(FrameWriter* w)
{
    for (;;) {
        FrameWriterJob job;
        {
            std::unique_lock<std::mutex> guard(w->lock);
            w->changed.wait(guard, [&] { return !w->waiting.empty() || w->closing; });
            if (w->waiting.empty())
                break;
            job = std::move(w->waiting.front());
            w->waiting.pop_front();
        }
        w->changed.notify_all();
        int error = png_out_write(job.name.c_str(), job.pixels.data(), SCREEN_WIDTH, SCREEN_HEIGHT,
                                  SCREEN_WIDTH, PNG_LEVEL);
        std::lock_guard<std::mutex> guard(w->lock);
        if (error != 0 && w->failed_error == 0) {
            w->failed_name = job.name;
            w->failed_error = error;
        }
        w->spare.push_back(std::move(job.pixels));
    }
    png_out_release();
}

} // namespace

void frame_writer_start(FrameWriter* w)
{
    unsigned count = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
    for (unsigned i = 0; i < count; i++)
        w->threads.emplace_back([w] { writer_run(w); });
}

bool frame_writer_submit(FrameWriter* w, const std::string& name)
{
    FrameWriterJob job;
    {
        std::unique_lock<std::mutex> guard(w->lock);
        w->changed.wait(guard,
                        [&] { return w->waiting.size() < FRAME_WRITER_QUEUE || w->failed_error != 0; });
        if (w->failed_error != 0)
            return false;
        if (!w->spare.empty()) {
            job.pixels = std::move(w->spare.back());
            w->spare.pop_back();
        }
    }
    job.pixels.resize(static_cast<size_t>(SCREEN_WIDTH) * SCREEN_HEIGHT);
    for (int32_t y = 0; y < SCREEN_HEIGHT; y++)
        std::memcpy(&job.pixels[static_cast<size_t>(y) * SCREEN_WIDTH], screen_row(y), SCREEN_WIDTH * 4);
    job.name = name;
    {
        std::lock_guard<std::mutex> guard(w->lock);
        w->waiting.push_back(std::move(job));
    }
    w->changed.notify_all();
    return true;
}

bool frame_writer_finish(FrameWriter* w)
{
    {
        std::lock_guard<std::mutex> guard(w->lock);
        w->closing = true;
    }
    w->changed.notify_all();
    for (std::thread& t : w->threads)
        t.join();
    w->threads.clear();
    return w->failed_error == 0;
}
