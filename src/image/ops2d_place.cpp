// Placing images on the frame with the clip rule: blits by combine rule and
// blends by weight, whole or on a band of rows. Per-channel arithmetic is done
// four pixels at a time with SSE2 (bytes, or 16-bit lanes where products are
// needed); every routine is chosen once per call from a table indexed by mode.
// Relies on core/frame.h (the surface drawn into) and ops2d_lanes.h.
#include "image/ops2d.h"

#include "core/core.h"
#include "core/frame.h"
#include "image/ops2d_lanes.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

using namespace ops2d_detail;

namespace
{

// Asks for the cache lines of n pixels from p on (a hint: no bytes change).
inline void prefetch_span(const uint32_t* p, int32_t n)
{
    const char* first = reinterpret_cast<const char*>(p);
    const char* last = reinterpret_cast<const char*>(p + n - 1);
    for (const char* q = first; q <= last; q += 64)
        _mm_prefetch(q, _MM_HINT_T0);
    _mm_prefetch(last, _MM_HINT_T0);
}

// Screen rectangle and source offset of a w x h image placed at (x, y):
// start = max(x, 0), end = min(x + w, 640), skipped = start - x; rows alike.
struct Clip {
    int32_t x, y;           // first screen column and row
    int32_t skip_x, skip_y; // source columns and rows cut on the left and top
    int32_t w, h;           // columns and rows drawn
};

bool clip_to_screen(int64_t x, int64_t y, int64_t w, int64_t h, Clip* c)
{
    int64_t x0 = std::max<int64_t>(x, 0), x1 = std::min<int64_t>(x + w, SCREEN_WIDTH);
    int64_t y0 = std::max<int64_t>(y, 0), y1 = std::min<int64_t>(y + h, SCREEN_HEIGHT);
    if (x1 <= x0 || y1 <= y0)
        return false;
    c->x = static_cast<int32_t>(x0);
    c->y = static_cast<int32_t>(y0);
    c->skip_x = static_cast<int32_t>(x0 - x);
    c->skip_y = static_cast<int32_t>(y0 - y);
    c->w = static_cast<int32_t>(x1 - x0);
    c->h = static_cast<int32_t>(y1 - y0);
    return true;
}

// The row window [y0, y1) cuts a clipped placement like a screen edge; false
// when nothing is left.
bool clip_to_rows(int32_t y0, int32_t y1, Clip* c)
{
    const int32_t first = std::max(c->y, y0), end = std::min(c->y + c->h, y1);
    if (end <= first)
        return false;
    c->skip_y += first - c->y;
    c->y = first;
    c->h = end - first;
    return true;
}

// ---- Blit modes -------------------------------------------------------------------

template <int M> inline uint32_t blit1(uint32_t s, uint32_t d)
{
    uint32_t out = 0;
    for (int k = 0; k < 4; k++) {
        uint32_t a = channel(s, k), b = channel(d, k), r;
        if constexpr (M == BLIT_ADD)
            r = std::min<uint32_t>(255, a + b);
        else if constexpr (M == BLIT_SUBTRACT)
            r = b > a ? b - a : 0;
        else if constexpr (M == BLIT_MULTIPLY)
            r = a * b >> 8;
        else if constexpr (M == BLIT_MIN)
            r = std::min(a, b);
        else if constexpr (M == BLIT_MAX)
            r = std::max(a, b);
        else
            r = (a + b + 1) >> 1;
        out |= r << (8 * k);
    }
    return out;
}

template <int M> inline __m128i blit4(__m128i s, __m128i d)
{
    if constexpr (M == BLIT_ADD)
        return _mm_adds_epu8(s, d);
    else if constexpr (M == BLIT_SUBTRACT)
        return _mm_subs_epu8(d, s);
    else if constexpr (M == BLIT_MULTIPLY) {
        __m128i z = _mm_setzero_si128();
        __m128i lo = mul8(_mm_unpacklo_epi8(s, z), _mm_unpacklo_epi8(d, z));
        __m128i hi = mul8(_mm_unpackhi_epi8(s, z), _mm_unpackhi_epi8(d, z));
        return _mm_packus_epi16(lo, hi);
    } else if constexpr (M == BLIT_MIN)
        return _mm_min_epu8(s, d);
    else if constexpr (M == BLIT_MAX)
        return _mm_max_epu8(s, d);
    else
        return _mm_avg_epu8(s, d); // (s + d + 1) >> 1 per byte
}

using BlitRow = void (*)(uint32_t* d, const uint32_t* s, int32_t n);

void blit_row_copy(uint32_t* d, const uint32_t* s, int32_t n)
{
    std::memmove(d, s, static_cast<size_t>(n) * 4);
}

template <int M> void blit_row(uint32_t* d, const uint32_t* s, int32_t n)
{
    int32_t i = 0;
    for (; i + 4 <= n; i += 4)
        store4(d + i, blit4<M>(load4(s + i), load4(d + i)));
    for (; i < n; i++)
        d[i] = blit1<M>(s[i], d[i]);
}

const BlitRow blit_rows[7] = {
    blit_row_copy,           // BLIT_COPY
    blit_row<BLIT_ADD>,      // BLIT_ADD
    blit_row<BLIT_SUBTRACT>, // BLIT_SUBTRACT
    blit_row<BLIT_MULTIPLY>, // BLIT_MULTIPLY
    blit_row<BLIT_MIN>,      // BLIT_MIN
    blit_row<BLIT_MAX>,      // BLIT_MAX
    blit_row<BLIT_AVERAGE>,  // BLIT_AVERAGE
};

// ---- Blend modes ------------------------------------------------------------------

// One channel: s, d source and screen bytes, w the weight (0..254).
template <int M> inline uint32_t blend_channel(uint32_t s, uint32_t d, uint32_t w)
{
    uint32_t iw = 255 - w, r;
    if constexpr (M == BLEND_ALPHA || M == BLEND_SCREEN_ALPHA)
        r = (s * w >> 8) + (d * iw >> 8);
    else if constexpr (M == BLEND_PREMULTIPLIED)
        r = s + (d * iw >> 8);
    else if constexpr (M == BLEND_ADD_INVERSE)
        r = (s * iw >> 8) + d;
    else if constexpr (M == BLEND_SOURCE_INVERSE)
        r = s * iw >> 8;
    else if constexpr (M == BLEND_SCREEN_WEIGHT)
        r = d * w >> 8;
    else if constexpr (M == BLEND_MULTIPLY)
        r = (s * d >> 8) + (d * iw >> 8);
    else {
        uint32_t sd = s * d >> 8;
        r = d + (d > sd ? d - sd : 0);
    }
    return std::min<uint32_t>(255, r);
}

template <int M> inline uint32_t blend1(uint32_t s, uint32_t d, uint32_t a)
{
    uint32_t w = a * (M == BLEND_SCREEN_ALPHA ? d >> 24 : s >> 24) >> 8;
    uint32_t out = 0;
    for (int k = 0; k < 4; k++)
        out |= blend_channel<M>(channel(s, k), channel(d, k), w) << (8 * k);
    return out;
}

// Two pixels in 16-bit lanes; a holds the alpha argument in every lane.
template <int M> inline __m128i blend2(__m128i s, __m128i d, __m128i a)
{
    const __m128i c255 = _mm_set1_epi16(255);
    __m128i w = mul8(a, broadcast_alpha16(M == BLEND_SCREEN_ALPHA ? d : s));
    __m128i iw = _mm_sub_epi16(c255, w);
    if constexpr (M == BLEND_ALPHA || M == BLEND_SCREEN_ALPHA)
        return _mm_add_epi16(mul8(s, w), mul8(d, iw));
    else if constexpr (M == BLEND_PREMULTIPLIED)
        return _mm_add_epi16(s, mul8(d, iw));
    else if constexpr (M == BLEND_ADD_INVERSE)
        return _mm_add_epi16(mul8(s, iw), d);
    else if constexpr (M == BLEND_SOURCE_INVERSE)
        return mul8(s, iw);
    else if constexpr (M == BLEND_SCREEN_WEIGHT)
        return mul8(d, w);
    else if constexpr (M == BLEND_MULTIPLY)
        return _mm_add_epi16(mul8(s, d), mul8(d, iw));
    else
        return _mm_add_epi16(d, _mm_subs_epu16(d, mul8(s, d)));
}

using BlendRow = void (*)(uint32_t* d, const uint32_t* s, int32_t n, uint32_t a);

template <int M> void blend_row(uint32_t* d, const uint32_t* s, int32_t n, uint32_t a)
{
    const __m128i z = _mm_setzero_si128();
    const __m128i av = _mm_set1_epi16(static_cast<int16_t>(a));
    int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        __m128i sv = load4(s + i), dv = load4(d + i);
        __m128i lo = blend2<M>(_mm_unpacklo_epi8(sv, z), _mm_unpacklo_epi8(dv, z), av);
        __m128i hi = blend2<M>(_mm_unpackhi_epi8(sv, z), _mm_unpackhi_epi8(dv, z), av);
        store4(d + i, _mm_packus_epi16(lo, hi)); // clamps each channel to 255
    }
    for (; i < n; i++)
        d[i] = blend1<M>(s[i], d[i], a);
}

// Two pixels of BLEND_ALPHA: S, D unpacked high (<< 8), w and 255 - w per lane.
inline __m128i blend_alpha2(__m128i s8, __m128i d8, __m128i w, __m128i iw)
{
    return _mm_add_epi16(mul8_high(s8, w), mul8_high(d8, iw));
}

// BLEND_ALPHA, the combine rule of every picture laid over the scenes. The
// pictures are mostly runs of fully transparent and fully opaque pixels,
// taken four at a time without the per-pixel weight:
// - four source alphas 0: w = 0, so every channel is D * 255 >> 8, which is
//   D - 1 for D >= 1 and 0 for D = 0: a saturating byte subtract of 1
//   (so is every pixel when the alpha argument is 0);
// - four source alphas 255: w = a * 255 >> 8 is the same for all four and is
//   set up once per row.
// Anything else takes the per-pixel weight; all three give blend_row's bytes.
void blend_row_alpha(uint32_t* d, const uint32_t* s, int32_t n, uint32_t a)
{
    const __m128i z = _mm_setzero_si128();
    const __m128i ones = _mm_set1_epi8(1);
    int32_t i = 0;
    if (a == 0) {
        for (; i + 4 <= n; i += 4)
            store4(d + i, _mm_subs_epu8(load4(d + i), ones));
        for (; i < n; i++)
            d[i] = blend1<BLEND_ALPHA>(s[i], d[i], a);
        return;
    }
    const __m128i c255 = _mm_set1_epi16(255);
    const __m128i all = _mm_set1_epi32(-1);
    const __m128i av = _mm_set1_epi16(static_cast<int16_t>(a));
    const uint32_t opaque_w = a * 255 >> 8;
    const __m128i ow = _mm_set1_epi16(static_cast<int16_t>(opaque_w));
    const __m128i oiw = _mm_set1_epi16(static_cast<int16_t>(255 - opaque_w));
    enum { ALPHA_BYTES = 0x8888 }; // movemask bits of the four alpha bytes
    for (; i + 4 <= n; i += 4) {
        const __m128i sv = load4(s + i), dv = load4(d + i);
        if ((_mm_movemask_epi8(_mm_cmpeq_epi8(sv, z)) & ALPHA_BYTES) == ALPHA_BYTES) {
            store4(d + i, _mm_subs_epu8(dv, ones));
            continue;
        }
        const __m128i s_lo = _mm_unpacklo_epi8(z, sv), s_hi = _mm_unpackhi_epi8(z, sv);
        const __m128i d_lo = _mm_unpacklo_epi8(z, dv), d_hi = _mm_unpackhi_epi8(z, dv);
        __m128i lo, hi;
        if ((_mm_movemask_epi8(_mm_cmpeq_epi8(sv, all)) & ALPHA_BYTES) == ALPHA_BYTES) {
            lo = blend_alpha2(s_lo, d_lo, ow, oiw);
            hi = blend_alpha2(s_hi, d_hi, ow, oiw);
        } else {
            // w = A_S * a >> 8 from the alpha lanes, which hold A_S << 8.
            const __m128i w_lo = mul8_high(broadcast_alpha16(s_lo), av);
            const __m128i w_hi = mul8_high(broadcast_alpha16(s_hi), av);
            lo = blend_alpha2(s_lo, d_lo, w_lo, _mm_sub_epi16(c255, w_lo));
            hi = blend_alpha2(s_hi, d_hi, w_hi, _mm_sub_epi16(c255, w_hi));
        }
        store4(d + i, _mm_packus_epi16(lo, hi)); // clamps each channel to 255
    }
    for (; i < n; i++)
        d[i] = blend1<BLEND_ALPHA>(s[i], d[i], a);
}

const BlendRow blend_rows[8] = {
    blend_row_alpha,
    blend_row<BLEND_PREMULTIPLIED>,
    blend_row<BLEND_ADD_INVERSE>,
    blend_row<BLEND_SOURCE_INVERSE>,
    blend_row<BLEND_SCREEN_WEIGHT>,
    blend_row<BLEND_MULTIPLY>,
    blend_row<BLEND_CONTRAST>,
    blend_row<BLEND_SCREEN_ALPHA>,
};

// Blends the texture's columns [sx, sx + w) and rows [sy, sy + h), already
// inside the texture, at screen (x, y) with the clip rule.
// Only screen rows [y0, y1) are drawn.
void blend_area(const Texture* t, int64_t x, int64_t y, int64_t sx, int64_t sy, int64_t w, int64_t h,
                int32_t alpha, int32_t mode, int32_t y0 = 0, int32_t y1 = SCREEN_HEIGHT)
{
    frame_check_write("blend_image");
    if (!frame_surface() || mode < 0 || mode > 7)
        return;
    Clip c;
    if (!clip_to_screen(x, y, w, h, &c) || !clip_to_rows(y0, y1, &c))
        return;
    uint32_t a = static_cast<uint32_t>(std::clamp(alpha, 0, 255));
    BlendRow row = blend_rows[mode];
    const uint32_t* s = t->pixels + static_cast<size_t>(sy + c.skip_y) * t->width + (sx + c.skip_x);
    for (int32_t j = 0; j < c.h; j++, s += t->width) {
        // The source rows are a stride apart in a picture that is mostly not
        // in the cache: the row after next is asked for while this one is drawn.
        if (j + 2 < c.h)
            prefetch_span(s + 2 * static_cast<size_t>(t->width), c.w);
        row(screen_row(c.y + j) + c.x, s, c.w, a);
    }
}

} // namespace

void blit_image(const Texture* texture, int32_t x, int32_t y, int32_t mode)
{
    blit_image_band(texture, x, y, mode, 0, SCREEN_HEIGHT);
}

void blit_image_band(const Texture* texture, int32_t x, int32_t y, int32_t mode, int32_t y0, int32_t y1)
{
    frame_check_write("blit_image_band");
    if (!texture || !frame_surface() || mode < 0 || mode > 6)
        return;
    Clip c;
    if (!clip_to_screen(x, y, texture->width, texture->height, &c) || !clip_to_rows(y0, y1, &c))
        return;
    BlitRow row = blit_rows[mode];
    for (int32_t j = 0; j < c.h; j++) {
        const uint32_t* s = texture->pixels + static_cast<size_t>(c.skip_y + j) * texture->width + c.skip_x;
        row(screen_row(c.y + j) + c.x, s, c.w);
    }
}

void blend_image(const Texture* texture, int32_t x, int32_t y, int32_t alpha, int32_t mode)
{
    if (!texture)
        return;
    blend_area(texture, x, y, 0, 0, texture->width, texture->height, alpha, mode);
}

void blend_image_band(const Texture* texture, int32_t x, int32_t y, int32_t alpha, int32_t mode, int32_t y0,
                      int32_t y1)
{
    if (!texture)
        return;
    blend_area(texture, x, y, 0, 0, texture->width, texture->height, alpha, mode, y0, y1);
}

void blend_rect(const Texture* texture, int32_t x, int32_t y, int32_t src_x, int32_t src_y, int32_t width,
                int32_t height, int32_t alpha, int32_t mode)
{
    blend_rect_band(texture, x, y, src_x, src_y, width, height, alpha, mode, 0, SCREEN_HEIGHT);
}

void blend_rect_band(const Texture* texture, int32_t x, int32_t y, int32_t src_x, int32_t src_y,
                     int32_t width, int32_t height, int32_t alpha, int32_t mode, int32_t y0, int32_t y1)
{
    if (!texture)
        return;
    // Keep the source rectangle inside the texture, moving the destination
    // with any part cut on the left or top.
    int64_t dx = x, dy = y, sx = src_x, sy = src_y, w = width, h = height;
    if (sx < 0) {
        dx -= sx;
        w += sx;
        sx = 0;
    }
    if (sy < 0) {
        dy -= sy;
        h += sy;
        sy = 0;
    }
    w = std::min<int64_t>(w, texture->width - sx);
    h = std::min<int64_t>(h, texture->height - sy);
    if (w <= 0 || h <= 0)
        return;
    blend_area(texture, dx, dy, sx, sy, w, h, alpha, mode, y0, y1);
}
