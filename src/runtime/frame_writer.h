// Captured frames written as PNG files by worker threads while the main
// thread draws the next frames: one worker per processor (at most four;
// compressing a frame costs about twice drawing it, so the workers share
// the drawing's processor) and up to FRAME_WRITER_QUEUE frames waiting, so a
// slow file write does not stop the drawing. Relies on png_out.h.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

constexpr size_t FRAME_WRITER_QUEUE = 4;

struct FrameWriterJob {
    std::vector<uint32_t> pixels; // SCREEN_WIDTH × SCREEN_HEIGHT words
    std::string name;
};

struct FrameWriter {
    std::vector<std::thread> threads;
    std::mutex lock;
    std::condition_variable changed;
    std::deque<FrameWriterJob> waiting;
    std::vector<std::vector<uint32_t>> spare; // buffers of written frames, for reuse
    bool closing = false;
    int failed_error = 0; // the error number of the first failed write
    std::string failed_name;
};

void frame_writer_start(FrameWriter* writer);
// Hands over a copy of the screen to be written as name; false once a write
// has failed.
bool frame_writer_submit(FrameWriter* writer, const std::string& name);
// Writes the frames still waiting and stops the threads; false if any write
// failed (failed_name and failed_error say which and why).
bool frame_writer_finish(FrameWriter* writer);
