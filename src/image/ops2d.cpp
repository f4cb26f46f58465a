// Full-screen 2D operations on `screen` and on textures: blits and blends
// with the clip rule, zoom blur, wave shift, box blurs, running-sum glows,
// block glow and scan lines. Per-channel arithmetic is done four pixels at a
// time with SSE2 (bytes, or 16-bit lanes where products are needed); every
// routine is chosen once per call from a table indexed by mode.
// Relies on core/frame.h (screen) and core/core.h (core_sin, core_floor).
#include "image/ops2d.h"

#include "core/core.h"
#include "core/frame.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace
{

// ---- Helpers ------------------------------------------------------------------

inline uint32_t channel(uint32_t p, int k)
{
    return (p >> (8 * k)) & 0xFF;
}

inline __m128i load4(const uint32_t* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline void store4(uint32_t* p, __m128i v)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

// Each 16-bit lane of a pixel's four channels replaced by its alpha lane.
inline __m128i broadcast_alpha16(__m128i v)
{
    return _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0xFF), 0xFF);
}

// a * b >> 8 on 16-bit lanes holding products below 65536.
inline __m128i mul8(__m128i a, __m128i b)
{
    return _mm_srli_epi16(_mm_mullo_epi16(a, b), 8);
}

// S * w >> 8 on 16-bit lanes from bytes unpacked high (S << 8): the high
// half of (S << 8) * w is exactly S * w >> 8 for S <= 255 and any 16-bit w,
// one multiply instead of a multiply and a shift.
inline __m128i mul8_high(__m128i s_shifted, __m128i w)
{
    return _mm_mulhi_epu16(s_shifted, w);
}

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
    if (!screen || mode < 0 || mode > 7)
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
    blit_image_rows(texture, x, y, mode, 0, SCREEN_HEIGHT);
}

void blit_image_rows(const Texture* texture, int32_t x, int32_t y, int32_t mode, int32_t y0, int32_t y1)
{
    if (!texture || !screen || mode < 0 || mode > 6)
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

void blend_image_rows(const Texture* texture, int32_t x, int32_t y, int32_t alpha, int32_t mode, int32_t y0,
                      int32_t y1)
{
    if (!texture)
        return;
    blend_area(texture, x, y, 0, 0, texture->width, texture->height, alpha, mode, y0, y1);
}

void blend_rect(const Texture* texture, int32_t x, int32_t y, int32_t src_x, int32_t src_y, int32_t width,
                int32_t height, int32_t alpha, int32_t mode)
{
    blend_rect_rows(texture, x, y, src_x, src_y, width, height, alpha, mode, 0, SCREEN_HEIGHT);
}

void blend_rect_rows(const Texture* texture, int32_t x, int32_t y, int32_t src_x, int32_t src_y,
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

// ---- Zoom blur ------------------------------------------------------------------

namespace
{

// How a group of four columns x .. x + 3 reads its samples from a source row.
// With 0 <= f <= 64 the sample columns rise by one per column with at most
// one repeat in a group, so the four samples are two overlapping loads: lanes
// below `lane` from words at0 .. at0 + 3, the rest from at1 .. at1 + 3
// (at1 = at0 - 1). lane 4: all from at0; lane -1: read one by one.
struct ZoomGroup {
    int32_t at0, at1, lane;
};

// Lanes `lane` and above of a 4 x 32-bit vector, for lane = 0 .. 4.
alignas(16) const uint32_t zoom_lane_masks[5][4] = {
    {~0u, ~0u, ~0u, ~0u}, {0, ~0u, ~0u, ~0u}, {0, 0, ~0u, ~0u}, {0, 0, 0, ~0u}, {0, 0, 0, 0},
};

ZoomGroup zoom_group(const int32_t* s, int32_t lo, int32_t hi)
{
    int32_t lane = 4;
    for (int32_t k = 1; k < 4; k++) {
        const int32_t step = s[k] - s[k - 1];
        if (step == 0 && lane == 4)
            lane = k;
        else if (step != 1)
            return {0, 0, -1};
    }
    // Both loads stay inside the quadrant's columns lo .. hi: the columns
    // across the centre may be another thread's (zoom_blur_side), and the
    // last row's end is the image's.
    if (s[0] + 3 > hi || (lane < 4 && s[0] - 1 < lo))
        return {0, 0, -1};
    return {s[0], lane < 4 ? s[0] - 1 : s[0], lane};
}

// Rows whose samples lie in the row itself, columns x0 -> x1: a column
// samples itself (the average is the pixel: nothing to write) or mostly the
// column just written, whose value is carried in `last` rather than read back
// through memory.
template <int N>
void zoom_own_rows(uint32_t* const* rows, const int32_t* source_x, int32_t x0, int32_t x1, int32_t xstep)
{
    uint32_t last[N] = {};
    int32_t last_x = -1;
    for (int32_t x = x0;; x += xstep) {
        const int32_t s = source_x[x];
        if (s == x) {
            for (int r = 0; r < N; r++)
                last[r] = rows[r][x];
        } else if (s == last_x) {
            for (int r = 0; r < N; r++) {
                const uint32_t p = rows[r][x], q = last[r];
                last[r] = rows[r][x] = (p | q) - (((p ^ q) >> 1) & 0x7F7F7F7Fu); // (p + q + 1) >> 1 per byte
            }
        } else {
            for (int r = 0; r < N; r++) {
                const uint32_t p = rows[r][x], q = rows[r][s];
                last[r] = rows[r][x] = (p | q) - (((p ^ q) >> 1) & 0x7F7F7F7Fu);
            }
        }
        last_x = x;
        if (x == x1)
            break;
    }
}

// Columns [lo, lo + 3] of four rows turned so that vector k holds column
// lo + k of rows 0..3 (and back: the transpose is its own inverse).
inline void transpose4(__m128i& a, __m128i& b, __m128i& c, __m128i& d)
{
    const __m128i t0 = _mm_unpacklo_epi32(a, b), t1 = _mm_unpacklo_epi32(c, d);
    const __m128i t2 = _mm_unpackhi_epi32(a, b), t3 = _mm_unpackhi_epi32(c, d);
    a = _mm_unpacklo_epi64(t0, t1);
    b = _mm_unpackhi_epi64(t0, t1);
    c = _mm_unpacklo_epi64(t2, t3);
    d = _mm_unpackhi_epi64(t2, t3);
}

// zoom_own_rows for three or four rows with their pixels across the vector
// lanes: columns [lo, hi] (every column the walk reads or writes, at least
// four) are turned into lanes[lo .. hi], lane k holding row k (a fourth lane
// repeats row 2 when there are three rows), walked as one chain of vectors,
// and turned back. Each lane does what the scalar walk does to its row, so the
// rows get the same bytes; columns the walk leaves alone are written back
// with their own values.
void zoom_own_rows_lanes(uint32_t* const* rows, int32_t count, const int32_t* source_x, int32_t x0,
                         int32_t x1, int32_t xstep, int32_t lo, int32_t hi, __m128i* lanes)
{
    uint32_t* const r[4] = {rows[0], rows[1], rows[2], rows[count > 3 ? 3 : 2]};
    // Blocks of four columns from lo on; the last block ends at hi and may
    // overlap the one before.
    auto block_at = [hi](int32_t x) { return x + 4 <= hi + 1 ? x : hi - 3; };
    for (int32_t x = lo; x <= hi; x += 4) {
        const int32_t b = block_at(x);
        __m128i v0 = load4(r[0] + b), v1 = load4(r[1] + b), v2 = load4(r[2] + b), v3 = load4(r[3] + b);
        transpose4(v0, v1, v2, v3);
        lanes[b] = v0;
        lanes[b + 1] = v1;
        lanes[b + 2] = v2;
        lanes[b + 3] = v3;
    }
    // The column just written is carried in `last` rather than read back.
    __m128i last = _mm_setzero_si128();
    int32_t last_x = -1;
    for (int32_t x = x0;; x += xstep) {
        const int32_t s = source_x[x];
        __m128i v = lanes[x];
        if (s != x) {
            v = _mm_avg_epu8(v, s == last_x ? last : lanes[s]); // (p + q + 1) >> 1 per byte
            lanes[x] = v;
        }
        last = v;
        last_x = x;
        if (x == x1)
            break;
    }
    for (int32_t x = lo; x <= hi; x += 4) {
        const int32_t b = block_at(x);
        __m128i v0 = lanes[b], v1 = lanes[b + 1], v2 = lanes[b + 2], v3 = lanes[b + 3];
        transpose4(v0, v1, v2, v3);
        store4(r[0] + b, v0);
        store4(r[1] + b, v1);
        store4(r[2] + b, v2);
        if (count > 3)
            store4(r[3] + b, v3);
    }
}

// One quadrant, rows y0 -> y1 and columns x0 -> x1 (inclusive, stepping
// towards the far end): each pixel is averaged with the pixel (x, y) -
// (d * f >> 8) nearer the centre, which this pass has already processed.
// source_x[x] is the clamped sample column of column x for this pass;
// groups has room for a quarter of the width.
void zoom_quadrant(Texture* t, const int32_t* source_x, ZoomGroup* groups, __m128i* lanes, int32_t cy,
                   int64_t f, int32_t y0, int32_t y1, int32_t x0, int32_t x1)
{
    int32_t ystep = y0 <= y1 ? 1 : -1, xstep = x0 <= x1 ? 1 : -1;
    int32_t w = t->width, h = t->height;
    const int32_t first = std::min(x0, x1), end = std::max(x0, x1);
    const int32_t group_count = (end - first + 1) / 4;
    for (int32_t g = 0; g < group_count; g++)
        groups[g] = zoom_group(source_x + first + 4 * g, first, end);
    // The own-row walks start at the last column of the leading run that
    // samples itself (near the centre, where d * f >> 8 is 0): those pixels
    // keep their values, and the walk needs only the last of them.
    int32_t own_x0 = x0;
    while (own_x0 != x1 && source_x[own_x0] == own_x0 && source_x[own_x0 + xstep] == own_x0 + xstep)
        own_x0 += xstep;
    // The columns the own-row walk reads and writes.
    int32_t walk_lo = own_x0, walk_hi = own_x0;
    for (int32_t x = own_x0;; x += xstep) {
        walk_lo = std::min({walk_lo, x, source_x[x]});
        walk_hi = std::max({walk_hi, x, source_x[x]});
        if (x == x1)
            break;
    }
    const bool lane_walk = walk_hi - walk_lo + 1 >= 4;
    auto sample_row = [cy, f, h](int32_t y) {
        return std::clamp<int64_t>(y - ((static_cast<int64_t>(y) - cy) * f >> 8), 0, h - 1);
    };
    for (int32_t y = y0;; y += ystep) {
        int64_t qy = sample_row(y);
        uint32_t* row = t->pixels + static_cast<size_t>(y) * w;
        const uint32_t* qrow = t->pixels + static_cast<size_t>(qy) * w;
        if (qy != y) {
            // The samples come from another row, finished earlier in this
            // pass: the pixels of this row do not depend on each other, so
            // any order gives the same result; four at a time.
            int32_t x = first;
            for (int32_t g = 0; g < group_count; g++, x += 4) {
                const ZoomGroup& z = groups[g];
                __m128i q;
                if (z.lane == 4) {
                    q = load4(qrow + z.at0); // four samples in a row, no repeat
                } else if (z.lane >= 0) {
                    const __m128i m =
                        _mm_load_si128(reinterpret_cast<const __m128i*>(zoom_lane_masks[z.lane]));
                    q = _mm_or_si128(_mm_and_si128(m, load4(qrow + z.at1)),
                                     _mm_andnot_si128(m, load4(qrow + z.at0)));
                } else {
                    q = _mm_set_epi32(static_cast<int32_t>(qrow[source_x[x + 3]]),
                                      static_cast<int32_t>(qrow[source_x[x + 2]]),
                                      static_cast<int32_t>(qrow[source_x[x + 1]]),
                                      static_cast<int32_t>(qrow[source_x[x]]));
                }
                store4(row + x, _mm_avg_epu8(load4(row + x), q)); // (p + q + 1) >> 1 per byte
            }
            for (; x <= end; ++x) {
                uint32_t p = row[x], q = qrow[source_x[x]];
                row[x] = (p | q) - (((p ^ q) >> 1) & 0x7F7F7F7Fu);
            }
        } else {
            // Rows that sample themselves do not read each other: up to four
            // of them are walked together, their chains interleaved.
            uint32_t* rows[4] = {row};
            int32_t count = 1;
            while (count < 4 && y != y1 && sample_row(y + ystep) == y + ystep) {
                y += ystep;
                rows[count++] = t->pixels + static_cast<size_t>(y) * w;
            }
            if (lane_walk && count >= 3) {
                zoom_own_rows_lanes(rows, count, source_x, own_x0, x1, xstep, walk_lo, walk_hi, lanes);
            } else {
                switch (count) {
                case 1:
                    zoom_own_rows<1>(rows, source_x, own_x0, x1, xstep);
                    break;
                case 2:
                    zoom_own_rows<2>(rows, source_x, own_x0, x1, xstep);
                    break;
                case 3:
                    zoom_own_rows<3>(rows, source_x, own_x0, x1, xstep);
                    break;
                default:
                    zoom_own_rows<4>(rows, source_x, own_x0, x1, xstep);
                    break;
                }
            }
        }
        if (y == y1)
            break;
    }
}

} // namespace

namespace
{

// Frees what the aligned allocation in zoom_blur_quadrants made.
static void free_lanes(void* lanes)
{
#ifdef _WIN32
    _aligned_free(lanes);
#else
    std::free(lanes);
#endif
}

// zoom_blur on the quadrants left of the centre (the centre's column
// included) when `left`, and on those right of it when `right`.
void zoom_blur_quadrants(Texture* texture, int32_t cx, int32_t cy, int32_t strength, int32_t passes,
                         bool left, bool right)
{
    if (!texture || texture->width <= 0 || texture->height <= 0 || passes <= 0)
        return;
    int32_t w = texture->width, h = texture->height;
    auto* source_x = static_cast<int32_t*>(std::malloc(static_cast<size_t>(w) * sizeof(int32_t)));
    auto* groups = static_cast<ZoomGroup*>(std::malloc(static_cast<size_t>(w / 4 + 1) * sizeof(ZoomGroup)));
    // 16-byte aligned; Windows's C runtime has its own call for that.
#ifdef _WIN32
    auto* lanes = static_cast<__m128i*>(_aligned_malloc(static_cast<size_t>(w) * sizeof(__m128i), 16));
#else
    auto* lanes = static_cast<__m128i*>(std::aligned_alloc(16, static_cast<size_t>(w) * sizeof(__m128i)));
#endif
    if (!source_x || !groups || !lanes) {
        std::free(source_x);
        std::free(groups);
        free_lanes(lanes);
        return;
    }
    cx = std::clamp(cx, 0, w - 1);
    cy = std::clamp(cy, 0, h - 1);
    // Beyond |f| = 2^24 every sample with x != cx is clamped to the same
    // edge anyway (sides are at most 16384), so capping f changes nothing.
    const int64_t cap = int64_t(1) << 24;
    int64_t f = std::clamp<int64_t>(int64_t(strength) * 2, -cap, cap);
    for (int32_t p = 0; p < passes; p++) {
        for (int32_t x = 0; x < w; x++)
            source_x[x] = static_cast<int32_t>(
                std::clamp<int64_t>(x - ((static_cast<int64_t>(x) - cx) * f >> 8), 0, w - 1));
        // Upper left, upper right, lower left, lower right; the centre's
        // row and column belong to the upper and left quadrants.
        const bool has_left = left && cx >= 1, has_right = right && cx + 1 <= w - 1, lower = cy + 1 <= h - 1;
        if (has_left)
            zoom_quadrant(texture, source_x, groups, lanes, cy, f, cy, 0, cx, 1);
        if (has_right)
            zoom_quadrant(texture, source_x, groups, lanes, cy, f, cy, 0, cx + 1, w - 1);
        if (has_left && lower)
            zoom_quadrant(texture, source_x, groups, lanes, cy, f, cy + 1, h - 1, cx, 1);
        if (has_right && lower)
            zoom_quadrant(texture, source_x, groups, lanes, cy, f, cy + 1, h - 1, cx + 1, w - 1);
        f = std::clamp<int64_t>(f * 2, -cap, cap);
    }
    std::free(source_x);
    std::free(groups);
    free_lanes(lanes);
}

} // namespace

void zoom_blur(Texture* texture, int32_t cx, int32_t cy, int32_t strength, int32_t passes)
{
    zoom_blur_quadrants(texture, cx, cy, strength, passes, true, true);
}

void zoom_blur_side(Texture* texture, int32_t cx, int32_t cy, int32_t strength, int32_t passes, int32_t side)
{
    // With 0 <= f < 256 on every pass a sample lies between its pixel and
    // the centre, never across the centre's column: the sides do not mix.
    // Otherwise side 0 does the whole blur.
    const bool apart = strength >= 0 && passes <= 24 &&
                       (static_cast<int64_t>(strength) * 2 << std::max(passes - 1, 0)) < 256;
    if (!apart) {
        if (side == 0)
            zoom_blur(texture, cx, cy, strength, passes);
        return;
    }
    zoom_blur_quadrants(texture, cx, cy, strength, passes, side == 0, side == 1);
}

// ---- Wave shift -----------------------------------------------------------------

void wave_shift(float phase, uint32_t colour)
{
    wave_shift_rows(phase, colour, 0, SCREEN_HEIGHT);
}

void wave_shift_rows(float phase, uint32_t colour, int32_t y0, int32_t y1)
{
    if (!screen)
        return;
    y0 = std::max(y0, 0);
    y1 = std::min(y1, static_cast<int32_t>(SCREEN_HEIGHT));
    const float pi = 3.1415927f;
    const __m128i z = _mm_setzero_si128();
    const __m128i c255 = _mm_set1_epi16(255);
    const __m128i cv = _mm_unpacklo_epi8(_mm_set1_epi32(static_cast<int32_t>(colour)), z);
    // P and Q are unpacked into the high byte of each lane (<< 8), so every
    // product x * k >> 8 is the high half of one multiply (see mul8_high);
    // the alpha lanes of P hold A_P << 8, which gives w = A_P * C >> 8 alike.
    auto shift2 = [&](__m128i p8, __m128i q8) {
        const __m128i w = mul8_high(broadcast_alpha16(p8), cv);
        return _mm_add_epi16(mul8_high(p8, w), mul8_high(q8, _mm_sub_epi16(c255, w)));
    };
    for (int32_t y = y0; y < y1; y++) {
        float s1 = core_sin(phase + 0.78f + static_cast<float>(y) / 32.0f * pi);
        float s2 = core_sin(phase + static_cast<float>(y) / 16.0f * pi);
        int32_t shift = std::clamp(float_to_int(core_floor(s2 * s1 * 8.0f + 8.0f)), 0, 16);
        uint32_t* row = screen_row(y);
        // Q at x + shift is read before anything at or right of x is written.
        int32_t x = 0;
        for (; x + 4 + shift <= SCREEN_WIDTH; x += 4) {
            const __m128i pv = load4(row + x), qv = load4(row + x + shift);
            const __m128i lo = shift2(_mm_unpacklo_epi8(z, pv), _mm_unpacklo_epi8(z, qv));
            const __m128i hi = shift2(_mm_unpackhi_epi8(z, pv), _mm_unpackhi_epi8(z, qv));
            store4(row + x, _mm_packus_epi16(lo, hi));
        }
        for (; x < SCREEN_WIDTH; x++) {
            uint32_t p = row[x], q = row[std::min(x + shift, SCREEN_WIDTH - 1)];
            uint32_t a = p >> 24, out = 0;
            for (int k = 0; k < 4; k++) {
                uint32_t w = a * channel(colour, k) >> 8;
                uint32_t r = (channel(p, k) * w >> 8) + (channel(q, k) * (255 - w) >> 8);
                out |= std::min<uint32_t>(255, r) << (8 * k);
            }
            row[x] = out;
        }
    }
}

// ---- Blurs ------------------------------------------------------------------------
// (a + 2b + c) >> 2 is floor((floor((a + c) / 2) + b) / 2): with a + c = 2m + r,
// (2m + r + 2b) / 4 and (m + b) / 2 differ by r / 4 < 1/2, which never
// crosses an integer when m + b is whole. On complemented bytes x' = 255 - x
// a floored average is the rounded-up one, 255 - floor((x + y) / 2) =
// (x' + y' + 1) >> 1, which SSE2 has per byte: a pass on complemented pixels
// is avg(avg(a', c'), b'). A run of passes is complemented once on the way in
// and once on the way out, and gives the bytes of the per-pass rule.

namespace
{

const __m128i all_ones = _mm_set1_epi32(-1);

// ---- Blurs by sweeps ---------------------------------------------------------------
// blur_columns works on strips four columns wide, each held as one vector per
// row (complemented); blur_rows lays four rows across the lanes likewise. Pass j + 1 of row r needs only rows
// r - 1, r and r + 1 of pass j, so one sweep down the rows carries several passes at once: when pass j takes
// row s, pass j + 1 can finish row s - 1. Each pass keeps the last two rows it took in registers, and the
// strip is read and written once per sweep instead of once per pass; every row gets the bytes of the
// pass-by-pass rule. Rows 0 and 479 are the same in every pass.

// Step t of a sweep of K passes over column[0..LAST]: pass j takes row
// s = t - j. x[j], y[j] are rows s - 2 and s - 1 of pass j's input (pass 0's
// input is the strip). EDGES: the first and last K steps, where some passes
// have not started (s < 1) or are done (s > LAST).
template <int K, int BLUR_LAST, bool EDGES>
inline void blur_step(__m128i* column, __m128i* x, __m128i* y, int32_t t)
{
    __m128i carry = column[EDGES && t > BLUR_LAST ? BLUR_LAST : t];
    // Unrolled, so that x and y live in registers.
#pragma GCC unroll 4
    for (int j = 0; j < K; j++) {
        const int32_t s = t - j;
        if (EDGES && s > BLUR_LAST) {
            carry = column[BLUR_LAST]; // pass j is done; row 479 is fixed in pass j + 1 too
            continue;
        }
        const __m128i z = carry;
        carry = _mm_avg_epu8(_mm_avg_epu8(x[j], z), y[j]); // row s - 1 of pass j + 1
        x[j] = y[j];
        y[j] = z;
        if (EDGES && s == 1)
            return; // row 0 is fixed; the passes above start at the next steps
    }
    column[t - K] = carry; // row t - K after all K passes (the last row rewritten with itself)
}

template <int K, int BLUR_LAST> void blur_sweep(__m128i* column)
{
    __m128i x[K], y[K];
    for (int j = 0; j < K; j++)
        x[j] = y[j] = column[0];
    int32_t t = 1;
    for (; t <= K; t++)
        blur_step<K, BLUR_LAST, true>(column, x, y, t);
    for (; t <= BLUR_LAST; t++)
        blur_step<K, BLUR_LAST, false>(column, x, y, t);
    for (; t <= BLUR_LAST + K; t++)
        blur_step<K, BLUR_LAST, true>(column, x, y, t);
}

// `passes` passes over column[0..LAST], four at a time.
template <int LAST> void blur_passes(__m128i* column, int32_t passes)
{
    for (; passes >= 4; passes -= 4)
        blur_sweep<4, LAST>(column);
    if (passes == 3)
        blur_sweep<3, LAST>(column);
    else if (passes == 2)
        blur_sweep<2, LAST>(column);
    else if (passes == 1)
        blur_sweep<1, LAST>(column);
}

// Up to four pixels as a vector (the lanes past n are zero) and back.
inline __m128i load_upto4(const uint32_t* p, int32_t n)
{
    if (n == 4)
        return load4(p);
    alignas(16) uint32_t v[4] = {};
    std::memcpy(v, p, static_cast<size_t>(n) * 4);
    return _mm_load_si128(reinterpret_cast<const __m128i*>(v));
}

inline void store_upto4(uint32_t* p, __m128i value, int32_t n)
{
    if (n == 4) {
        store4(p, value);
        return;
    }
    alignas(16) uint32_t v[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(v), value);
    std::memcpy(p, v, static_cast<size_t>(n) * 4);
}

} // namespace

void blur_columns(int32_t a, int32_t b, int32_t passes)
{
    if (!screen || passes <= 0)
        return;
    int32_t c = std::min(a, b), e = std::max(a, b);
    if (c >= SCREEN_WIDTH || e < 0)
        return;
    int32_t x0 = std::max(c, 0), n = std::min(e, static_cast<int32_t>(SCREEN_WIDTH)) - x0;
    if (n <= 0)
        return;
    // Columns do not mix: strips of up to four are blurred one after another.
    alignas(16) __m128i column[SCREEN_HEIGHT];
    for (int32_t s0 = 0; s0 < n; s0 += 4) {
        const int32_t w = std::min(4, n - s0);
        for (int32_t r = 0; r < SCREEN_HEIGHT; r++)
            column[r] = _mm_xor_si128(load_upto4(screen_row(r) + x0 + s0, w), all_ones);
        blur_passes<SCREEN_HEIGHT - 1>(column, passes);
        for (int32_t r = 1; r < SCREEN_HEIGHT - 1; r++)
            store_upto4(screen_row(r) + x0 + s0, _mm_xor_si128(column[r], all_ones), w);
    }
}

void blur_rows(int32_t a, int32_t b, int32_t passes)
{
    if (!screen || passes <= 0)
        return;
    int32_t y0 = std::max(std::min(a, b), 0);
    int32_t y1 = std::min(std::max(a, b), static_cast<int32_t>(SCREEN_HEIGHT));
    // Rows do not mix: up to four at a time are laid across the vector lanes,
    // column x of the four rows in one vector, and swept along the columns
    // like the column strips (columns 0 and 639 stay as they are).
    alignas(16) __m128i column[SCREEN_WIDTH];
    for (int32_t y = y0; y < y1; y += 4) {
        const int32_t n = std::min(4, y1 - y);
        uint32_t* rows[4];
        for (int32_t k = 0; k < 4; k++)
            rows[k] = screen_row(y + std::min(k, n - 1)); // unused lanes repeat the last row
        for (int32_t x = 0; x < SCREEN_WIDTH; x++)
            column[x] = _mm_xor_si128(
                _mm_set_epi32(static_cast<int32_t>(rows[3][x]), static_cast<int32_t>(rows[2][x]),
                              static_cast<int32_t>(rows[1][x]), static_cast<int32_t>(rows[0][x])),
                all_ones);
        blur_passes<SCREEN_WIDTH - 1>(column, passes);
        for (int32_t x = 1; x < SCREEN_WIDTH - 1; x++) {
            alignas(16) uint32_t lanes[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(lanes), _mm_xor_si128(column[x], all_ones));
            for (int32_t k = 0; k < n; k++)
                rows[k][x] = lanes[k];
        }
    }
}

// ---- Glows ------------------------------------------------------------------------
// Running sum S per channel in 16 bits: S + P[i + 4] saturates at 65535,
// then - P[i] saturates at 0 (add first, then subtract, as each step).

void glow_vertical()
{
    glow_vertical_columns(0, SCREEN_WIDTH);
}

void glow_vertical_columns(int32_t x0, int32_t x1)
{
    if (!screen)
        return;
    // Whole groups of four columns (the columns do not mix).
    const int32_t first = std::clamp(x0, 0, static_cast<int32_t>(SCREEN_WIDTH)) / 4 * 2;
    const int32_t end = std::clamp(x1, 0, static_cast<int32_t>(SCREEN_WIDTH)) / 4 * 2;
    const __m128i z = _mm_setzero_si128();
    // Two pixels (eight 16-bit channels) per entry, 320 entries per row.
    alignas(16) __m128i sum[SCREEN_WIDTH / 2];
    const uint32_t* row2 = screen_row(2);
    for (int32_t i = first; i < end; i++)
        sum[i] = _mm_srli_epi16(
            _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row2 + 2 * i)), z), 2);
    for (int32_t r = 0; r + 4 < SCREEN_HEIGHT; r++) {
        const uint32_t* top = screen_row(r);
        const uint32_t* bottom = screen_row(r + 4);
        uint32_t* out = screen_row(r + 2);
        for (int32_t i = first; i < end; i += 2) {
            __m128i tv = load4(top + 2 * i), bv = load4(bottom + 2 * i);
            __m128i t0 = _mm_unpacklo_epi8(tv, z), t1 = _mm_unpackhi_epi8(tv, z);
            __m128i b0 = _mm_unpacklo_epi8(bv, z), b1 = _mm_unpackhi_epi8(bv, z);
            __m128i s0 = _mm_subs_epu16(_mm_adds_epu16(sum[i], b0), t0);
            __m128i s1 = _mm_subs_epu16(_mm_adds_epu16(sum[i + 1], b1), t1);
            __m128i o = _mm_packus_epi16(_mm_srli_epi16(s0, 1), _mm_srli_epi16(s1, 1));
            sum[i] = _mm_subs_epu16(_mm_adds_epu16(s0, b0), t0);
            sum[i + 1] = _mm_subs_epu16(_mm_adds_epu16(s1, b1), t1);
            store4(out + 2 * i, o);
        }
    }
}

namespace
{

inline __m128i load_pixel16(const uint32_t* p)
{
    return _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int32_t>(*p)), _mm_setzero_si128());
}

// Two pixels from two rows in 16-bit lanes: row a in the low half.
inline __m128i load_pair16(const uint32_t* a, const uint32_t* b)
{
    return _mm_unpacklo_epi64(load_pixel16(a), load_pixel16(b));
}

} // namespace

void glow_horizontal()
{
    glow_horizontal_rows(0, SCREEN_HEIGHT);
}

void glow_horizontal_rows(int32_t y0, int32_t y1)
{
    if (!screen)
        return;
    y0 = std::clamp(y0, 0, static_cast<int32_t>(SCREEN_HEIGHT)) / 4 * 4;
    y1 = std::clamp(y1, 0, static_cast<int32_t>(SCREEN_HEIGHT)) / 4 * 4;
    // Four rows at a time, two per register, so the four running sums
    // proceed independently along their rows.
    for (int32_t y = y0; y + 4 <= y1; y += 4) {
        uint32_t* r0 = screen_row(y);
        uint32_t* r1 = screen_row(y + 1);
        uint32_t* r2 = screen_row(y + 2);
        uint32_t* r3 = screen_row(y + 3);
        __m128i sa = _mm_srli_epi16(load_pair16(r0 + 2, r1 + 2), 2);
        __m128i sb = _mm_srli_epi16(load_pair16(r2 + 2, r3 + 2), 2);
        for (int32_t x = 0; x + 4 < SCREEN_WIDTH; x++) {
            __m128i ta = load_pair16(r0 + x, r1 + x), ba = load_pair16(r0 + x + 4, r1 + x + 4);
            __m128i tb = load_pair16(r2 + x, r3 + x), bb = load_pair16(r2 + x + 4, r3 + x + 4);
            sa = _mm_subs_epu16(_mm_adds_epu16(sa, ba), ta);
            sb = _mm_subs_epu16(_mm_adds_epu16(sb, bb), tb);
            __m128i oa = _mm_packus_epi16(_mm_srli_epi16(sa, 1), _mm_setzero_si128());
            __m128i ob = _mm_packus_epi16(_mm_srli_epi16(sb, 1), _mm_setzero_si128());
            r0[x + 2] = static_cast<uint32_t>(_mm_cvtsi128_si32(oa));
            r1[x + 2] = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(oa, 4)));
            r2[x + 2] = static_cast<uint32_t>(_mm_cvtsi128_si32(ob));
            r3[x + 2] = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(ob, 4)));
            sa = _mm_subs_epu16(_mm_adds_epu16(sa, ba), ta);
            sb = _mm_subs_epu16(_mm_adds_epu16(sb, bb), tb);
        }
    }
}

// ---- Block glow and scan lines -------------------------------------------------

void block_glow(uint32_t threshold)
{
    if (!screen)
        return;
    const __m128i t = _mm_set1_epi32(static_cast<int32_t>(threshold));
    for (int32_t by = 0; by < SCREEN_HEIGHT; by += 16) {
        for (int32_t bx = 0; bx < SCREEN_WIDTH; bx += 16) {
            __m128i s = _mm_set1_epi32(static_cast<int32_t>(screen_row(by + 7)[bx + 7]));
            __m128i add = _mm_subs_epu8(s, t); // max(0, s - threshold) per channel
            if (_mm_movemask_epi8(_mm_cmpeq_epi8(add, _mm_setzero_si128())) == 0xFFFF)
                continue;
            for (int32_t y = by; y < by + 16; y++) {
                uint32_t* row = screen_row(y) + bx;
                for (int32_t i = 0; i < 16; i += 4)
                    store4(row + i, _mm_adds_epu8(load4(row + i), add));
            }
        }
    }
}

void rgb_scanlines()
{
    if (!screen)
        return;
    static const uint32_t keep[3] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu};
    for (int32_t y = 0; y < SCREEN_HEIGHT; y++) {
        uint32_t* row = screen_row(y);
        uint32_t mask = keep[y % 3];
        for (int32_t x = 0; x < SCREEN_WIDTH; x++)
            row[x] &= mask;
    }
}
