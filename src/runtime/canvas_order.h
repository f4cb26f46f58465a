// Frames in a canvas's byte order: the program's pixels are 0x00RRGGBB words;
// a display surface may want red, green and blue elsewhere (the page's
// canvas keeps R, G, B, A in memory order) and alpha set. The order comes
// from the surface's colour masks alone, since some SDL layers report
// every shift as 0.
#pragma once

#include <cstdint>

struct CanvasOrder {
    uint32_t red_shift, green_shift, blue_shift;
    uint32_t alpha; // bits set in every pixel (the alpha mask: opaque)
};

// The order of a 32-bit surface with these masks; a zero mask gives shift 0.
CanvasOrder canvas_order_from_masks(uint32_t red_mask, uint32_t green_mask, uint32_t blue_mask,
                                    uint32_t alpha_mask);
// Writes n program pixels into dst in the canvas order.
void canvas_convert(const uint32_t* src, uint32_t* dst, int32_t n, CanvasOrder order);
