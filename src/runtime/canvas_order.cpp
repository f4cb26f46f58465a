// Frames in a canvas's byte order (canvas_order.h): shifts from masks, and
// the per-pixel move of the three colour bytes.
#include "runtime/canvas_order.h"

namespace
{

uint32_t mask_shift(uint32_t mask)
{
    return mask ? static_cast<uint32_t>(__builtin_ctz(mask)) : 0;
}

} // namespace

CanvasOrder canvas_order_from_masks(uint32_t red_mask, uint32_t green_mask, uint32_t blue_mask,
                                    uint32_t alpha_mask)
{
    return {mask_shift(red_mask), mask_shift(green_mask), mask_shift(blue_mask), alpha_mask};
}

void canvas_convert(const uint32_t* src, uint32_t* dst, int32_t n, CanvasOrder order)
{
    for (int32_t i = 0; i < n; i++) {
        uint32_t p = src[i];
        dst[i] = ((p >> 16) & 0xFFu) << order.red_shift | ((p >> 8) & 0xFFu) << order.green_shift |
                 (p & 0xFFu) << order.blue_shift | order.alpha;
    }
}
