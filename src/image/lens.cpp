// The magnifying lens: its offset table and its pass over a square of the
// screen. Relies on core's frame surface and single-precision helpers.
#include "image/lens.h"

#include "core/core.h"
#include "core/frame.h"

#include <cstdlib>
#include <cstring>

namespace
{

enum { LENS_MAX_SIZE = 1024 };

int32_t clamp_int(int32_t v, int32_t lo, int32_t hi)
{
    return v < lo ? lo : v > hi ? hi : v;
}

} // namespace

Lens* lens_create(int32_t size, float strength)
{
    if (size < 1 || size > LENS_MAX_SIZE)
        return nullptr;
    const size_t cells = static_cast<size_t>(size) * static_cast<size_t>(size);
    Lens* lens = static_cast<Lens*>(std::malloc(sizeof(Lens) + cells * (sizeof(int32_t) + sizeof(uint32_t))));
    if (!lens)
        return nullptr;
    lens->size = size;
    lens->offsets = reinterpret_cast<int32_t*>(lens + 1);
    lens->scratch = reinterpret_cast<uint32_t*>(lens->offsets + cells);
    lens_set_strength(lens, strength);
    return lens;
}

void lens_free(Lens* lens)
{
    std::free(lens);
}

void lens_set_strength(Lens* lens, float strength)
{
    const int32_t s = lens->size;
    const int32_t r = s / 2;
    const float h = strength;
    const float rf = static_cast<float>(r);
    const float r0 = core_sqrt(rf * rf - h * h);
    lens->strength = strength;
    for (int32_t i = 0; i < s; ++i)
        for (int32_t j = 0; j < s; ++j) {
            const int32_t dx = j - r;
            const int32_t dy = i - r;
            const float d2 = static_cast<float>(dx * dx + dy * dy);
            int32_t fx = dx, fy = dy;
            if (!(r0 * r0 <= d2)) {
                const float z = core_sqrt(rf * rf - d2);
                fx = float_to_int(h * static_cast<float>(dx) / z + 0.5f);
                fy = float_to_int(h * static_cast<float>(dy) / z + 0.5f);
            }
            // A strength at or beyond the radius has no sphere to look
            // through (r0 and z are not real): keep every read inside the square.
            fx = clamp_int(fx, -r, s - 1 - r);
            fy = clamp_int(fy, -r, s - 1 - r);
            lens->offsets[i * s + j] = (r + fx) + (r + fy) * s;
        }
}

void lens_apply(int32_t x, int32_t y, Lens* lens)
{
    const int32_t s = lens->size;
    const int32_t x0 = x < 0 ? 0 : x, y0 = y < 0 ? 0 : y;
    const int32_t x1 = x > SCREEN_WIDTH - s ? SCREEN_WIDTH : x + s;
    const int32_t y1 = y > SCREEN_HEIGHT - s ? SCREEN_HEIGHT : y + s;
    if (x0 >= x1 || y0 >= y1)
        return;
    std::memset(lens->scratch, 0, static_cast<size_t>(s) * static_cast<size_t>(s) * sizeof(uint32_t));
    const size_t span = static_cast<size_t>(x1 - x0) * sizeof(uint32_t);
    for (int32_t row = y0; row < y1; ++row)
        std::memcpy(lens->scratch + static_cast<size_t>(row - y) * s + (x0 - x), screen_row(row) + x0, span);
    for (int32_t row = y0; row < y1; ++row) {
        uint32_t* out = screen_row(row);
        const int32_t* cell = lens->offsets + static_cast<size_t>(row - y) * s;
        for (int32_t column = x0; column < x1; ++column)
            out[column] = lens->scratch[cell[column - x]];
    }
}
