// Light rays: the half-size letterbox copy and its stretched, saturating add
// back over the frame, both on SSE2 byte lanes (exact: a 16-bit sum of four
// bytes, and _mm_avg_epu8 is the rounded average (p + q + 1) >> 1).
// Relies on the frame surface (core/frame.h) and the Texture record.
#include "scenes/glow.h"

#include "core/frame.h"
#include "image/ops2d.h"
#include "raster/raster.h"

#include <algorithm>

#include <emmintrin.h>

namespace
{

bool glow_usable(const Texture* buffer)
{
    return screen && buffer && buffer->pixels && buffer->width == GLOW_WIDTH && buffer->height == GLOW_HEIGHT;
}

__m128i load4(const uint32_t* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

void store4(uint32_t* p, __m128i v)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

// Two frame pixels across and two down per buffer pixel: four pixels of each
// of two rows give two buffer pixels as eight 16-bit lanes.
__m128i quad_sum(__m128i upper, __m128i lower)
{
    const __m128i z = _mm_setzero_si128();
    const __m128i lo = _mm_add_epi16(_mm_unpacklo_epi8(upper, z), _mm_unpacklo_epi8(lower, z));
    const __m128i hi = _mm_add_epi16(_mm_unpackhi_epi8(upper, z), _mm_unpackhi_epi8(lower, z));
    const __m128i sum = _mm_add_epi16(_mm_unpacklo_epi64(lo, hi), _mm_unpackhi_epi64(lo, hi));
    return _mm_srli_epi16(sum, 2);
}

// One buffer row stretched to 640 pixels: even columns the buffer pixel,
// odd ones the rounded average with its right neighbour (the last with itself).
void stretch_row(const uint32_t* row, uint32_t* out)
{
    int32_t c = 0;
    for (; c + 5 <= GLOW_WIDTH; c += 4) {
        const __m128i here = load4(row + c);
        const __m128i mid = _mm_avg_epu8(here, load4(row + c + 1));
        store4(out + 2 * c, _mm_unpacklo_epi32(here, mid));
        store4(out + 2 * c + 4, _mm_unpackhi_epi32(here, mid));
    }
    for (; c < GLOW_WIDTH; ++c) {
        const uint32_t p = row[c];
        const uint32_t q = row[c + 1 < GLOW_WIDTH ? c + 1 : c];
        out[2 * c] = p;
        out[2 * c + 1] = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_avg_epu8(
            _mm_cvtsi32_si128(static_cast<int32_t>(p)), _mm_cvtsi32_si128(static_cast<int32_t>(q)))));
    }
}

void add_row(uint32_t* frame, const uint32_t* a, const uint32_t* b)
{
    for (int32_t x = 0; x < SCREEN_WIDTH; x += 4) {
        const __m128i v = _mm_avg_epu8(load4(a + x), load4(b + x));
        store4(frame + x, _mm_adds_epu8(load4(frame + x), v));
    }
}

} // namespace

Texture* glow_create()
{
    return texture_create(GLOW_WIDTH, GLOW_HEIGHT);
}

void glow_downsample(Texture* buffer)
{
    glow_downsample_rows(buffer, 0, GLOW_HEIGHT);
}

void glow_downsample_rows(Texture* buffer, int32_t r0, int32_t r1)
{
    if (!glow_usable(buffer))
        return;
    r0 = std::max(r0, 0);
    r1 = std::min(r1, static_cast<int32_t>(GLOW_HEIGHT));
    for (int32_t r = r0; r < r1; ++r) {
        const uint32_t* upper = screen_row(GLOW_FIRST_ROW + 2 * r);
        const uint32_t* lower = screen_row(GLOW_FIRST_ROW + 2 * r + 1);
        uint32_t* out = buffer->pixels + r * GLOW_WIDTH;
        for (int32_t c = 0; c < GLOW_WIDTH; c += 4) {
            const __m128i left = quad_sum(load4(upper + 2 * c), load4(lower + 2 * c));
            const __m128i right = quad_sum(load4(upper + 2 * c + 4), load4(lower + 2 * c + 4));
            store4(out + c, _mm_packus_epi16(left, right));
        }
    }
}

void glow_add_upsampled(const Texture* buffer)
{
    glow_add_upsampled_rows(buffer, 0, SCREEN_HEIGHT);
}

void glow_add_upsampled_rows(const Texture* buffer, int32_t y0, int32_t y1)
{
    if (!glow_usable(buffer))
        return;
    y0 = std::max(y0, static_cast<int32_t>(GLOW_FIRST_ROW));
    y1 = std::min(y1, static_cast<int32_t>(GLOW_FIRST_ROW + 2 * GLOW_HEIGHT));
    if (y1 <= y0)
        return;
    // Frame row 40 + 2r takes stretched buffer row r; row 41 + 2r the rounded
    // average of stretched rows r and r + 1 (the last row with itself).
    alignas(16) uint32_t rows[2][SCREEN_WIDTH];
    const int32_t first = (y0 - GLOW_FIRST_ROW) / 2, last = (y1 - 1 - GLOW_FIRST_ROW) / 2;
    stretch_row(buffer->pixels + first * GLOW_WIDTH, rows[first & 1]);
    for (int32_t r = first; r <= last; ++r) {
        const uint32_t* here = rows[r & 1];
        const int32_t y = GLOW_FIRST_ROW + 2 * r;
        if (y >= y0)
            add_row(screen_row(y), here, here);
        if (y + 1 >= y1)
            break;
        uint32_t* next = rows[(r + 1) & 1];
        if (r + 1 < GLOW_HEIGHT)
            stretch_row(buffer->pixels + (r + 1) * GLOW_WIDTH, next);
        else
            next = rows[r & 1];
        add_row(screen_row(y + 1), here, next);
    }
}

namespace
{

struct Rays {
    Texture* buffer;
    int32_t cx, cy, passes;
};

// A frame row's thread owns the buffer row taken from it and its neighbour.
void downsample_part(void* context, int32_t y0, int32_t y1)
{
    const Rays* rays = static_cast<const Rays*>(context);
    glow_downsample_rows(rays->buffer, (y0 - GLOW_FIRST_ROW + 1) / 2, (y1 - GLOW_FIRST_ROW + 1) / 2);
}

// The upper half of the rows the left side, the lower half the right.
void zoom_part(void* context, int32_t y0, int32_t y1)
{
    const Rays* rays = static_cast<const Rays*>(context);
    if (y0 < SCREEN_HEIGHT / 2)
        zoom_blur_side(rays->buffer, rays->cx, rays->cy, 1, rays->passes, 0);
    if (y1 > SCREEN_HEIGHT / 2)
        zoom_blur_side(rays->buffer, rays->cx, rays->cy, 1, rays->passes, 1);
}

void add_part(void* context, int32_t y0, int32_t y1)
{
    glow_add_upsampled_rows(static_cast<const Rays*>(context)->buffer, y0, y1);
}

} // namespace

void glow_rays(Texture* buffer, int32_t cx, int32_t cy, int32_t passes)
{
    if (!glow_usable(buffer))
        return;
    Rays rays = {buffer, cx, cy, passes};
    raster_split_in_two(downsample_part, &rays);
    raster_split_in_two(zoom_part, &rays);
    raster_split_in_two(add_part, &rays);
}
