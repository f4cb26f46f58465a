// The frame every drawing module writes: the 640 x 480 surface of 0xAARRGGBB
// pixels, the one depth buffer, and the specular lookup ramp. The runtime's
// video output owns and fills these; image, raster, overlays and scenes draw
// through them. Relies on nothing but the C++ standard library.
#pragma once

#include <cstdint>

enum { SCREEN_WIDTH = 640, SCREEN_HEIGHT = 480 };
// The letterbox: rows LETTERBOX_TOP .. LETTERBOX_BOTTOM - 1 (40 to 439) hold
// the picture, the 40 rows above and below stay black.
enum { LETTERBOX_TOP = 40, LETTERBOX_BOTTOM = 440, LETTERBOX_HEIGHT = LETTERBOX_BOTTOM - LETTERBOX_TOP };

// The frame surface: pixels reached row by row through pitch (bytes). Every
// drawing operation assumes a 640 x 480 surface with a 2,560-byte pitch and
// masks 0x00FF0000 / 0x0000FF00 / 0x000000FF; the video layer guarantees it.
struct FrameSurface {
    int32_t w;
    int32_t h;
    int32_t pitch;
    uint32_t* pixels;
};

// The current frame surface, null before the video opens and after it closes.
extern FrameSurface* screen;

// Width, height, a pointer to the values and the values themselves, in one
// allocation (one free releases all).
struct DepthBuffer {
    int32_t width;
    int32_t height;
    int32_t* values;
};

enum : int32_t { DEPTH_CLEAR = 0x7fffffff };

extern DepthBuffer* depth_buffer;

DepthBuffer* depth_buffer_create(int32_t width, int32_t height);
void depth_buffer_fill(DepthBuffer* buffer, int32_t value);
// The same on rows [y0, y1) only (cut to the buffer).
void depth_buffer_fill_rows(DepthBuffer* buffer, int32_t value, int32_t y0, int32_t y1);
void depth_buffer_free(DepthBuffer* buffer);

// specular_ramp[i] = grey(int(min(255, (i/128)^16 * 255))) in single precision.
extern uint32_t specular_ramp[256];
void specular_ramp_build();

// What this thread draws into. Work queued in the drawing share runs later,
// maybe on another thread: while it runs, `surface` and `depth` are the
// surface and depth buffer it was queued for (null otherwise: `screen` and
// `depth_buffer`). `locked` is set on the thread that opened a share while
// the share is open: then only the share's own work may write the frame.
struct FrameTarget {
    FrameSurface* surface;
    DepthBuffer* depth;
    bool locked;
};
extern constinit thread_local FrameTarget frame_target;

// The surface and depth buffer this thread draws into (see FrameTarget).
inline FrameSurface* frame_surface()
{
    return frame_target.surface ? frame_target.surface : screen;
}
inline DepthBuffer* frame_depth()
{
    return frame_target.depth ? frame_target.depth : depth_buffer;
}

// Checks, in debug and sanitizer builds, that this thread may write the
// frame now: a write while this thread holds a share open would race the
// helper drawing the share's rows. Every operation that writes `screen`
// outside the share's queue calls it on entry.
#if !defined(NDEBUG) || defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define FRAME_CHECKS 1
#else
#define FRAME_CHECKS 0
#endif
void frame_write_refused(const char* where);
inline void frame_check_write([[maybe_unused]] const char* where)
{
#if FRAME_CHECKS
    if (frame_target.locked)
        frame_write_refused(where);
#endif
}

// A pointer to row y of the surface this thread draws into.
inline uint32_t* screen_row(int32_t y)
{
    FrameSurface* s = frame_surface();
    return reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(s->pixels) + static_cast<intptr_t>(y) * s->pitch);
}
