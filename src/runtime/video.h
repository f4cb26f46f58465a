// Video output: the one 640 × 480 surface of the demo through SDL 1.2, the
// depth buffer, and the frame brackets. Drawing code sees only `screen` and
// `depth_buffer` (core/frame.h); this is where they come from.
#pragma once

#include <cstdint>

// How the start-up question is answered.
enum { VIDEO_ASK = 0, VIDEO_WINDOW = 1, VIDEO_FULLSCREEN = 2 };

struct VideoSettings {
    int32_t mode;      // VIDEO_ASK, VIDEO_WINDOW or VIDEO_FULLSCREEN
    int32_t scale;     // window enlargement (1 = none)
    int32_t vsync;     // non-zero: present in step with the display
    int32_t offscreen; // non-zero: no window at all, frames stay in memory
};

// Settings for the next video_open (defaults: ask, scale 1, no vsync,
// on screen).
void video_configure(const VideoSettings* settings);

// Opens the surface (and the depth buffer when create_depth is non-zero),
// prints the "rendering info:" block: 0 on success, 1 on failure.
int32_t video_open(int32_t create_depth);
// Frees the depth buffer, shows the cursor and shuts SDL down. Safe to call
// more than once.
void video_close();
// Lock when needed and clear the depth buffer / unlock and present.
void frame_begin();
// frame_begin without clearing the depth buffer (the caller clears it).
void frame_lock();
void frame_end();
// Switches the window to full screen and back (where the video driver can);
// the surface and the frame stay as they are. 1 when it switched.
int32_t video_toggle_fullscreen();
