// The scenes' 2D work on whole rows (copies, blends, fills, row blurs) put
// into the drawing share: inside an open share each thread does its own rows
// in order with the meshes queued around it, so a background or a sky costs
// the frame half its time; outside a share it is done at once. queued_X
// draws what the image operation X draws (queued_blur: blur_rows).
// Relies on image/ops2d.h and the share of raster/raster.h.
#pragma once

#include "image/texture.h"

#include <cstdint>

void queued_blit_image(const Texture* texture, int32_t x, int32_t y, int32_t mode);
void queued_blend_image(const Texture* texture, int32_t x, int32_t y, int32_t alpha, int32_t mode);
void queued_blend_rect(const Texture* texture, int32_t x, int32_t y, int32_t src_x, int32_t src_y,
                     int32_t width, int32_t height, int32_t alpha, int32_t mode);
void queued_blur(int32_t a, int32_t b, int32_t passes);
// Sets every pixel of screen rows [y0, y1) to `colour`.
void queued_fill(int32_t y0, int32_t y1, uint32_t colour);
// Copies `rows` rows of 640 words from `pixels` to screen rows y .. y + rows - 1
// (the words must stay as they are until the share ends).
void queued_copy(const uint32_t* pixels, int32_t y, int32_t rows);
