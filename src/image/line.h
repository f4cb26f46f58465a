// Straight lines of one colour drawn straight onto the frame surface (the
// post filter's cracks, the soft bodies' outlines). Relies on core's frame.
#pragma once

#include <cstdint>

// Bresenham line; end points clamped to the screen first; first and last pixel drawn.
void draw_line(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour);
