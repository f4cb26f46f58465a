// The loading screen: keeps the picture alive while every effect loads. It
// runs on the thread that owns the window (the main thread) while a loader
// thread runs the loads; the main thread sets loading_active to 1 before
// loading starts, the loader sets it to 0 when loading has ended, and the
// screen stops within a frame of reading 0. The flag is the only state the
// two threads share.
#pragma once

#include <atomic>
#include <cstdint>

extern std::atomic<int32_t> loading_active;

// Draws until loading_active reads 0, at most max_fps frames a second (0 =
// as fast as it can). Returns 0 after a normal end, 1 at once when its
// images or mesh could not be made.
int32_t loading_screen_run(int32_t max_fps = 0);
// Called by loading_screen_run on its own thread after each frame it
// presents, with the loop frame number; null (the default) for none. Lets a
// test wait for frames rather than for time.
extern void (*loading_screen_presented)(int32_t frame);

// The animation advances by time, not by frames drawn, so it runs at one
// speed on any machine: the loop frame number shown after elapsed counter
// ticks is the number of whole sixtieths of a second since the rings began.
int32_t loading_screen_frame_at(int64_t elapsed, int64_t frequency);

// The same screen a frame at a time, for a caller that loads between frames
// on the one thread it has (the page): begin makes the images and mesh,
// draws the captions and starts the animation clock (0, or 1 with nothing
// left to free); frame draws and presents loop frame `frame`; frame_now is
// the loop frame due now; end frees (more than once is harmless).
struct Mesh;
struct Texture;
struct LoadingScreen {
    Mesh* ring;
    Texture* caption_layer;
    Texture* glow_layer;
    int64_t start; // counter value when the rings began
};
int32_t loading_screen_begin(LoadingScreen* screen);
void loading_screen_frame(LoadingScreen* screen, int32_t frame);
int32_t loading_screen_frame_now(const LoadingScreen* screen);
void loading_screen_end(LoadingScreen* screen);

// The filters of loop frame `frame` (bits of the frame number, applied in
// this order) and the blend mode of the captions over the picture.
enum : uint32_t {
    LOADING_GLOW_HORIZONTAL = 1u, // frame bit 1
    LOADING_GLOW_VERTICAL = 2u,   // frame bit 2
    LOADING_SCANLINES = 4u,       // frame bit 3
    LOADING_BLOCK_GLOW = 8u,      // frame bit 4
};
uint32_t loading_screen_filters(int32_t frame);
// 4 (screen kept only where the captions have alpha) while frame bit 4 is
// clear, 0 (captions over the picture) while it is set.
int32_t loading_screen_blend_mode(int32_t frame);
