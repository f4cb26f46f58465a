// Straight lines on the frame surface (line.h): a Bresenham walk between two
// points clamped to the screen. Relies on core's frame surface.
#include "image/line.h"

#include "core/core.h"
#include "core/frame.h"

namespace
{

int32_t clamp_int(int32_t v, int32_t lo, int32_t hi)
{
    return v < lo ? lo : (v > hi ? hi : v);
}

} // namespace

void draw_line(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour)
{
    x0 = clamp_int(x0, 0, 639);
    x1 = clamp_int(x1, 0, 639);
    y0 = clamp_int(y0, 0, 479);
    y1 = clamp_int(y1, 0, 479);
    uint32_t* pixels = screen_row(0);
    const int32_t dx = x1 > x0 ? x1 - x0 : x0 - x1;
    const int32_t dy = y1 > y0 ? y1 - y0 : y0 - y1;
    const int32_t sx = x1 >= x0 ? 1 : -1;
    const int32_t sy = y1 >= y0 ? 1 : -1;
    int32_t x = x0;
    int32_t y = y0;
    pixels[y * SCREEN_WIDTH + x] = colour;
    if (dx >= dy) {
        // Step along x; the error term decides when y moves.
        int32_t err = dx / 2;
        for (int32_t i = 0; i < dx; ++i) {
            x += sx;
            err -= dy;
            if (err < 0) {
                y += sy;
                err += dx;
            }
            pixels[y * SCREEN_WIDTH + x] = colour;
        }
    } else {
        int32_t err = dy / 2;
        for (int32_t i = 0; i < dy; ++i) {
            y += sy;
            err -= dx;
            if (err < 0) {
                x += sx;
                err += dy;
            }
            pixels[y * SCREEN_WIDTH + x] = colour;
        }
    }
}
