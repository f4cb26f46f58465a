// Whole-frame passes on a band of rows or columns: wave shift, box blurs by
// sweeps, running-sum glows, block glow and scan lines. Relies on
// core/frame.h (the surface drawn into), core/core.h (core_sin, core_floor)
// and ops2d_lanes.h.
#include "image/ops2d.h"

#include "core/core.h"
#include "core/frame.h"
#include "image/ops2d_lanes.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

using namespace ops2d_detail;

// ---- Wave shift -----------------------------------------------------------------

void wave_shift(float phase, uint32_t colour)
{
    wave_shift_band(phase, colour, 0, SCREEN_HEIGHT);
}

void wave_shift_band(float phase, uint32_t colour, int32_t y0, int32_t y1)
{
    frame_check_write("wave_shift_band");
    if (!frame_surface())
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
    frame_check_write("blur_columns");
    if (!frame_surface() || passes <= 0)
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
    frame_check_write("blur_rows");
    if (!frame_surface() || passes <= 0)
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
    glow_vertical_band(0, SCREEN_WIDTH);
}

void glow_vertical_band(int32_t x0, int32_t x1)
{
    frame_check_write("glow_vertical_band");
    if (!frame_surface())
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
    glow_horizontal_band(0, SCREEN_HEIGHT);
}

void glow_horizontal_band(int32_t y0, int32_t y1)
{
    frame_check_write("glow_horizontal_band");
    if (!frame_surface())
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
    block_glow_band(threshold, 0, SCREEN_HEIGHT);
}

void block_glow_band(uint32_t threshold, int32_t y0, int32_t y1)
{
    frame_check_write("block_glow_band");
    if (!frame_surface())
        return;
    y0 = std::clamp(y0, 0, static_cast<int32_t>(SCREEN_HEIGHT)) / 16 * 16;
    y1 = std::clamp(y1, 0, static_cast<int32_t>(SCREEN_HEIGHT)) / 16 * 16;
    const __m128i t = _mm_set1_epi32(static_cast<int32_t>(threshold));
    for (int32_t by = y0; by < y1; by += 16) {
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
    rgb_scanlines_band(0, SCREEN_HEIGHT);
}

void rgb_scanlines_band(int32_t y0, int32_t y1)
{
    frame_check_write("rgb_scanlines_band");
    if (!frame_surface())
        return;
    y0 = std::max(y0, 0);
    y1 = std::min(y1, static_cast<int32_t>(SCREEN_HEIGHT));
    static const uint32_t keep[3] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu};
    for (int32_t y = y0; y < y1; y++) {
        uint32_t* row = screen_row(y);
        uint32_t mask = keep[y % 3];
        for (int32_t x = 0; x < SCREEN_WIDTH; x++)
            row[x] &= mask;
    }
}
