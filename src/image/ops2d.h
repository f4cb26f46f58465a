// Full-screen 2D operations on the 640 x 480 frame (`screen`, core/frame.h)
// and on textures: placing images with a combine rule, blurs, glows and
// screen-wide distortions. Every operation works per 8-bit channel, alpha
// included; products of two channels are >> 8 and results clamp to 0..255.
// Every operation on the frame also comes as a *_band form working on a band
// of rows (or columns, where its pixels mix down the columns) and touching
// nothing outside it (the blurs take their band in any case): bands drawn at once by two threads, or queued in the
// drawing share (raster.h), give the bytes of the whole operation. They
// write the surface this thread draws into (frame_surface()).
#pragma once

#include "image/texture.h"

#include <cstdint>

// Combine rules of blit_image (S source channel, D screen channel).
enum BlitMode : int32_t {
    BLIT_COPY = 0,     // D = S
    BLIT_ADD = 1,      // min(255, S + D)
    BLIT_SUBTRACT = 2, // max(0, D - S)
    BLIT_MULTIPLY = 3, // S * D >> 8
    BLIT_MIN = 4,      // min(S, D)
    BLIT_MAX = 5,      // max(S, D)
    BLIT_AVERAGE = 6,  // (S + D + 1) >> 1
};

// Combine rules of blend_image and blend_rect. With a the alpha argument,
// w = a * A_S >> 8 (A_S the source pixel's alpha; BLEND_SCREEN_ALPHA uses the
// screen pixel's alpha A_D instead); every result clamps to 255.
enum BlendMode : int32_t {
    BLEND_ALPHA = 0,          // (S * w >> 8) + (D * (255 - w) >> 8)
    BLEND_PREMULTIPLIED = 1,  // S + (D * (255 - w) >> 8)
    BLEND_ADD_INVERSE = 2,    // (S * (255 - w) >> 8) + D
    BLEND_SOURCE_INVERSE = 3, // S * (255 - w) >> 8
    BLEND_SCREEN_WEIGHT = 4,  // D * w >> 8
    BLEND_MULTIPLY = 5,       // (S * D >> 8) + (D * (255 - w) >> 8)
    BLEND_CONTRAST = 6,       // D + max(0, D - (S * D >> 8))
    BLEND_SCREEN_ALPHA = 7,   // (S * w >> 8) + (D * (255 - w) >> 8), w = a * A_D >> 8
};

// Clip rule of the image operations: a w x h image at (x, y) keeps screen
// columns [max(x, 0), min(x + w, 640)) and rows [max(y, 0), min(y + h, 480));
// the source skips as many columns and rows as were cut on the left and top.

// Puts a whole texture on the screen at (x, y) with a BlitMode.
void blit_image(const Texture* texture, int32_t x, int32_t y, int32_t mode);
// blit_image drawing only screen rows [y0, y1) (each row from its own source row).
void blit_image_band(const Texture* texture, int32_t x, int32_t y, int32_t mode, int32_t y0, int32_t y1);
// Blends a whole texture onto the screen at (x, y); alpha 0..255 (clamped).
void blend_image(const Texture* texture, int32_t x, int32_t y, int32_t alpha, int32_t mode);
// blend_image drawing only screen rows [y0, y1): every blended pixel depends
// on its own screen row only, so a frame blended band by band gets the bytes
// of one whole blend_image.
void blend_image_band(const Texture* texture, int32_t x, int32_t y, int32_t alpha, int32_t mode, int32_t y0,
                      int32_t y1);
// Blends the texture's rectangle (src_x, src_y, width, height) onto the screen
// at (x, y). The part of the rectangle outside the texture is not drawn.
void blend_rect(const Texture* texture, int32_t x, int32_t y, int32_t src_x, int32_t src_y, int32_t width,
                int32_t height, int32_t alpha, int32_t mode);
// blend_rect drawing only screen rows [y0, y1).
void blend_rect_band(const Texture* texture, int32_t x, int32_t y, int32_t src_x, int32_t src_y,
                     int32_t width, int32_t height, int32_t alpha, int32_t mode, int32_t y0, int32_t y1);

// Radial streaks away from (cx, cy), in place: pass p averages every pixel
// with the one (x - cx) * f >> 8, (y - cy) * f >> 8 nearer the centre,
// f = strength << (p + 1). Centre and samples are clamped into the texture;
// column 0 never changes.
void zoom_blur(Texture* texture, int32_t cx, int32_t cy, int32_t strength, int32_t passes);
// zoom_blur in two parts that may run at once: side 0 the columns up to the
// centre's (clamped into the texture), side 1 the columns right of it. Both
// sides give the bytes of zoom_blur (where the samples of one side could
// reach the other, side 0 does the whole blur and side 1 nothing).
void zoom_blur_side(Texture* texture, int32_t cx, int32_t cy, int32_t strength, int32_t passes, int32_t side);

// Shifts every screen row left by a sine wave of 0..16 pixels; per channel,
// w = A_P * colour channel >> 8 keeps that much of the pixel's own colour.
void wave_shift(float phase, uint32_t colour);
// wave_shift on screen rows [y0, y1) only (each row shifts within itself).
void wave_shift_band(float phase, uint32_t colour, int32_t y0, int32_t y1);

// (1, 2, 1)/4 vertical blur of the band of columns [min(a, b), max(a, b))
// clipped to the screen, over rows 1..478, `passes` times.
void blur_columns(int32_t a, int32_t b, int32_t passes);
// (1, 2, 1)/4 horizontal blur of the band of rows [min(a, b), max(a, b))
// clipped to the screen, over columns 1..638, `passes` times.
void blur_rows(int32_t a, int32_t b, int32_t passes);

// Brightening smear down every column / along every row with a saturating
// 16-bit running sum per channel (rows / columns 0, 1, 478 / 638, 479 / 639
// keep their values).
void glow_vertical();
void glow_horizontal();
// The same on columns [x0, x1) / rows [y0, y1) only, each bound rounded down
// to a multiple of four: the columns / rows do not mix, so parts cut at
// such bounds give the bytes of the whole.
void glow_vertical_band(int32_t x0, int32_t x1);
void glow_horizontal_band(int32_t y0, int32_t y1);

// Adds max(0, s - threshold) per channel (saturating) to each 16 x 16 block,
// s being the block's pixel at (7, 7).
void block_glow(uint32_t threshold);
// The same on the blocks of rows [y0, y1), each bound rounded down to a
// multiple of 16 (a block reads only its own pixels).
void block_glow_band(uint32_t threshold, int32_t y0, int32_t y1);

// Row r keeps alpha and only red (r mod 3 = 0), green (1) or blue (2).
void rgb_scanlines();
// The same on rows [y0, y1) only.
void rgb_scanlines_band(int32_t y0, int32_t y1);
