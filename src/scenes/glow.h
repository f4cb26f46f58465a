// Light rays shared by the spikeball and terrain scenes: a half-size copy of
// the letterbox (frame rows 40..439) that a scene streaks with zoom_blur and
// adds back over the frame. Relies on the frame surface (core/frame.h) and
// the Texture record (image/).
#pragma once

#include "image/texture.h"

#include <cstdint>

enum { GLOW_WIDTH = 320, GLOW_HEIGHT = 200, GLOW_FIRST_ROW = 40 };

// The half-size buffer: a GLOW_WIDTH x GLOW_HEIGHT texture, or null.
Texture* glow_create();
// Buffer pixel (c, r) = per-channel (p1 + p2 + p3 + p4) >> 2 of the frame
// pixels (2c, 40 + 2r), (2c + 1, 40 + 2r), (2c, 41 + 2r), (2c + 1, 41 + 2r).
// Does nothing without a screen or with a buffer of another size.
void glow_downsample(Texture* buffer);
// The same for buffer rows [r0, r1) only.
void glow_downsample_rows(Texture* buffer, int32_t r0, int32_t r1);
// Adds the buffer, stretched to 640 x 400 with rounded averages of the two
// nearest buffer pixels across and down, to frame rows 40..439 with per-channel
// saturation at 255.
void glow_add_upsampled(const Texture* buffer);
// The same for frame rows [y0, y1) only.
void glow_add_upsampled_rows(const Texture* buffer, int32_t y0, int32_t y1);
// The rays: glow_downsample, zoom_blur(buffer, cx, cy, 1, passes), then
// glow_add_upsampled, each on both drawing threads when the helper is awake
// (raster_split_in_two), with the bytes of one thread.
void glow_rays(Texture* buffer, int32_t cx, int32_t cy, int32_t passes);
