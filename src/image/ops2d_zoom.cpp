// Zoom blur: radial streaks on a texture, walked quadrant by quadrant from
// the centre outwards, four rows at a time across the vector lanes where the
// samples allow; either side of the centre can run on its own thread.
// Relies on ops2d_lanes.h.
#include "image/ops2d.h"

#include "core/core.h"
#include "core/frame.h"
#include "image/ops2d_lanes.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

using namespace ops2d_detail;

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
void free_lanes(void* lanes)
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
