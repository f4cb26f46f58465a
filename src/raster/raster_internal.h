// What a span filler needs, shared by the rasterizer's own files: the texture
// slots, the filler table interface, the attribute-set builders, the lane
// arithmetic and the one pixel walk. Not for scenes (they use raster.h).
// Relies on core/frame.h (frame_surface, frame_depth) and image/texture.h.
//
// HOW A FILLER IS WRITTEN
// Every drawable mode M of raster/fill_modes.h has one explicit specialisation
//     template <> void fill_triangles<M>(RasterTriangle* triangles, int32_t count, const Texture* texture)
// defined in the file its family names (fill_colour.cpp, fill_texture.cpp, fill_multi.cpp).
// draw_triangles() looks the mode up once per call and hands it the whole array.
// A filler:
//   1. checks once what it needs: raster_target_ready(with_depth), the texture and
//      any slot it reads (null: return without drawing);
//   2. for each triangle in order: `if (setup_triangle(t)) continue;`
//   3. builds its attribute sets into an `Interpolant a[N]` with the raster_*_interpolants
//      helpers below (these read the box, so they come after set-up and before the walk);
//   4. calls raster_walk_pixels<DEPTH, N>(t, a, pixel_fn), where pixel_fn is
//          [&](uint32_t& pixel, int32_t* depth, const uint32_t* v) { ... }
//      called once per covered pixel left to right; v[i] is attribute i's 11-bit fixed
//      point value at that pixel (as uint32_t: cast to int32_t and shift right by 11);
//      depth points at the pixel's depth word (only when DEPTH is true, else null).
//      The depth rule is the filler's: `int32_t d = int32_t(v[0]) >> 11;
//      if (d < *depth) { *depth = d; pixel = ...; }`.
//      raster_walk<DEPTH, N>(t, a, span_fn) is the same walk handing whole spans
//      (pixels, depth, count, values at the first pixel) for fillers that vectorise.
// Nothing inside pixel_fn may test the mode: the specialisation decides at compile time.
#pragma once

#include "core/core.h"
#include "core/frame.h"
#include "image/texture.h"
#include "raster/fill_modes.h"
#include "raster/raster.h"

#include <cstddef>
#include <cstdint>
#include <xmmintrin.h>

// ---- Texture slots (set by set_*_texture, read by the multi-texture fillers) ----
// One set per thread: a thread drawing a shared draw sets the slots the draw
// was queued with.
extern constinit thread_local const Texture* environment_texture;
extern constinit thread_local const Texture* bump_texture;
extern constinit thread_local const Texture* offset_texture;

// ---- Filler table ---------------------------------------------------------------
typedef void (*FillFunction)(RasterTriangle* triangles, int32_t count, const Texture* texture);

template <uint32_t MODE>
void fill_triangles(RasterTriangle* triangles, int32_t count, const Texture* texture);

#define FILL_DECLARE_SPECIALISATION(mode, flags, name, family)                                               \
    template <> void fill_triangles<mode>(RasterTriangle * triangles, int32_t count, const Texture* texture);
FILL_MODE_LIST(FILL_DECLARE_SPECIALISATION)
#undef FILL_DECLARE_SPECIALISATION

// The clipper's near plane (camera-space z) and window, for the drawing.
float clip_near_plane();
struct ClipWindow {
    float min_x, min_y, max_x, max_y;
};
ClipWindow clip_window_bounds();

// The filler of a drawable mode, or null.
FillFunction fill_function(FillMode mode);

// Queues the draw when a share is open (share.cpp) and returns true; false
// when the caller is to draw at once.
bool raster_share_queue(RasterTriangle* triangles, int32_t count, const Texture* texture, FillFunction fill);
// Ends a share left open, however deep (raster_reset_state, so that no share
// outlives its timeline row).
void raster_share_close_all();

// ---- Frame and texture checks ---------------------------------------------------------
// True when the surface this thread draws into (frame_surface(): `screen`
// outside queued work) is 640 x 480 with a 2,560-byte pitch and, when
// with_depth, its depth buffer (frame_depth()) is at least 640 x 480.
bool raster_target_ready(bool with_depth);
// True for a texture that can be sampled: pixels present and masks and
// logarithms consistent with the sizes, so that masked addressing stays inside.
inline bool raster_texture_ready(const Texture* t)
{
    if (!t || !t->pixels || t->width <= 0 || t->height <= 0)
        return false;
    if (t->width_log2 < 0 || t->width_log2 > 30 || t->height_log2 < 0 || t->height_log2 > 30)
        return false;
    return (1 << t->width_log2) <= t->width && (1 << t->height_log2) <= t->height &&
           t->width_mask == (1 << t->width_log2) - 1 && t->height_mask == (1 << t->height_log2) - 1;
}

// ---- Attribute sets (after a successful setup_triangle) ---------------------------
// depth: z * 16383
Interpolant raster_depth_interpolant(const RasterTriangle* t);
// colour: out[0] blue, out[1] green, out[2] red, out[3] alpha (vertex colour bytes)
void raster_colour_interpolants(const RasterTriangle* t, Interpolant out[4]);
// texture: out[0] = u * width, out[1] = v * height of `scale`
void raster_texture_interpolants(const RasterTriangle* t, const Texture* scale, Interpolant out[2]);
// second: out[0] = u2 * width, out[1] = v2 * height of `scale`
void raster_second_interpolants(const RasterTriangle* t, const Texture* scale, Interpolant out[2]);
// perspective: with s = float(256 / z): out[0] = width u s, out[1] = s (height v), out[2] = s.
// Returns false (draw nothing) when a vertex has z <= 0 or 256 / z is not finite.
bool raster_perspective_interpolants(const RasterTriangle* t, const Texture* scale, Interpolant out[3]);

// ---- Texel addressing and lane arithmetic --------------------------------------------
inline uint32_t texel_at(const Texture* t, int32_t tu, int32_t tv)
{
    return t->pixels[(static_cast<uint32_t>(tv) << t->width_log2) + static_cast<uint32_t>(tu)];
}
// (value >> 11) AND mask for an 11-bit fixed-point coordinate.
inline int32_t texel_coordinate(uint32_t value, int32_t mask)
{
    return (static_cast<int32_t>(value) >> 11) & mask;
}
// Affine texel at 11-bit fixed-point (U, V), repeating.
inline uint32_t texel_affine(const Texture* t, uint32_t u, uint32_t v)
{
    return texel_at(t, texel_coordinate(u, t->width_mask), texel_coordinate(v, t->height_mask));
}

// Per byte (a * b) >> 8, all four lanes.
inline uint32_t lanes_multiply(uint32_t a, uint32_t b)
{
    uint32_t out = 0;
    for (int s = 0; s < 32; s += 8)
        out |= ((((a >> s) & 0xFFu) * ((b >> s) & 0xFFu)) >> 8) << s;
    return out;
}

// Per byte min(255, a + b), branch-free.
inline uint32_t lanes_add_saturate(uint32_t a, uint32_t b)
{
    uint32_t h = ((a & b) + (((a ^ b) & 0xFEFEFEFEu) >> 1)) & 0x80808080u;
    uint32_t m = h + h - (h >> 7);
    return (a | m) + (b & ~m);
}

// One colour channel from its 11-bit value, clamped to 0..255.
inline uint32_t channel_clamped(uint32_t value)
{
    int32_t c = static_cast<int32_t>(value) >> 11;
    return c < 0 ? 0u : c > 255 ? 255u : static_cast<uint32_t>(c);
}
// Clamped vertex colour from the four colour values (blue, green, red, alpha).
inline uint32_t colour_clamped(const uint32_t* v)
{
    return channel_clamped(v[3]) << 24 | channel_clamped(v[2]) << 16 | channel_clamped(v[1]) << 8 |
           channel_clamped(v[0]);
}
// Unclamped: each channel's value >> 11 taken as a word, so out-of-range values
// spill into their neighbours.
inline uint32_t colour_unclamped(const uint32_t* v)
{
    auto c = [](uint32_t x) { return static_cast<uint32_t>(static_cast<int32_t>(x) >> 11); };
    return c(v[3]) << 24 | c(v[2]) << 16 | c(v[1]) << 8 | c(v[0]);
}

// ---- The pixel walk ---------------------------------------------------------------------
// Visits the rows of the set-up box; per row finds the run of pixels where all
// three edge values are >= 0 (the first run from the left: the walk leaves a row
// once it has passed its span) and calls span(pixels, depth, count, values) with
// the attribute values at the run's first pixel. Replaces the record's min_y and
// max_y with row offsets, as the fillers always have.
namespace raster_detail
{
inline bool fits32(int64_t v)
{
    return v >= INT32_MIN && v <= INT32_MAX;
}

// Whether every edge value inside the box is representable, so that the
// per-row span ends can be computed by division instead of by stepping.
// An edge's values are a constant plus a term in x plus a term in y, so the
// extremes over the box's four corners are the constant plus the smaller
// (larger) x term plus the smaller (larger) y term: two checks per edge
// instead of four.
inline bool box_is_linear(const RasterTriangle* t)
{
    for (int i = 0; i < 3; i++) {
        const EdgeFunction& e = t->edges[i];
        const int64_t x0 = static_cast<int64_t>(e.x_step) * t->min_x,
                      x1 = static_cast<int64_t>(e.x_step) * t->max_x;
        const int64_t y0 = static_cast<int64_t>(e.y_step) * t->min_y,
                      y1 = static_cast<int64_t>(e.y_step) * t->max_y;
        const int64_t low = e.constant + (x0 < x1 ? x0 : x1) + (y0 < y1 ? y0 : y1);
        const int64_t high = e.constant + (x0 < x1 ? x1 : x0) + (y0 < y1 ? y1 : y0);
        if (low < INT32_MIN || high > INT32_MAX)
            return false;
    }
    return true;
}

// floor(e / d) and the remainder e - d floor(e / d) (0 <= remainder < d) for
// d >= 1, by one unsigned 32-bit division.
struct FloorDivision {
    int64_t quotient;
    uint32_t remainder;
};
inline FloorDivision floor_divide(int32_t e, uint32_t d)
{
    if (e >= 0)
        return {static_cast<int64_t>(static_cast<uint32_t>(e) / d), static_cast<uint32_t>(e) % d};
    // e = -(m + 1) with m >= 0: floor(e / d) = -(m / d) - 1, remainder d - 1 - m % d.
    const uint32_t m = 0u - static_cast<uint32_t>(e) - 1u;
    return {-static_cast<int64_t>(m / d) - 1, d - 1u - m % d};
}

// The rows this thread draws: [first_row, end_row), and the same as pixel
// offsets in the frame. Every row outside a share; a share gives the caller
// the rows above its split and the helper the rest, so that each pixel has
// one owner. Nothing a thread draws reads or writes a pixel of another
// thread's rows.
struct Band {
    int32_t first_row;
    int32_t end_row;
    std::ptrdiff_t first_pixel;
    std::ptrdiff_t end_pixel;
};
extern constinit thread_local Band band;

// How many rows ahead of the row being drawn the walk prefetches.
constexpr int32_t PREFETCH_ROWS = 2;

// Prefetches the 64-byte lines holding words x0..x1 of the row at `row`.
inline void prefetch_run(const uint32_t* row, int32_t x0, int32_t x1)
{
    const char* p = reinterpret_cast<const char*>(row + x0);
    const char* end = reinterpret_cast<const char*>(row + x1);
    for (; p <= end; p += 64)
        _mm_prefetch(p, _MM_HINT_T0);
    // The last word's line when the steps above skipped past its start.
    _mm_prefetch(end, _MM_HINT_T0);
}
} // namespace raster_detail

template <bool DEPTH, int N, class SpanFn>
inline void raster_walk(RasterTriangle* t, const Interpolant* attributes, SpanFn&& span)
{
    constexpr int NA = N > 0 ? N : 1;
    constexpr int32_t stride = SCREEN_WIDTH;
    const int32_t min_x = t->min_x, min_y = t->min_y, max_x = t->max_x, max_y = t->max_y;
    const int32_t width = max_x - min_x + 1;
    const bool linear = raster_detail::box_is_linear(t);
    t->min_y = min_y * stride;
    t->max_y = max_y * stride;
    // The box's rows in this thread's band. Starting k rows down, each value
    // is its top-row value plus k steps in wrapping arithmetic: what k single
    // steps give, so every row is drawn as the whole walk draws it.
    const raster_detail::Band band = raster_detail::band;
    const int32_t first_y = min_y > band.first_row ? min_y : band.first_row;
    const int32_t last_y = max_y < band.end_row ? max_y : band.end_row - 1;
    if (first_y > last_y)
        return;
    const uint32_t skipped = static_cast<uint32_t>(first_y - min_y);

    uint32_t e_row[3];
    int32_t ex[3];
    uint32_t ey[3];
    for (int i = 0; i < 3; i++) {
        const EdgeFunction& e = t->edges[i];
        e_row[i] = static_cast<uint32_t>(e.x_step) * static_cast<uint32_t>(min_x) +
                   static_cast<uint32_t>(e.y_step) * static_cast<uint32_t>(min_y) +
                   static_cast<uint32_t>(e.constant) + static_cast<uint32_t>(e.y_step) * skipped;
        ex[i] = e.x_step;
        ey[i] = static_cast<uint32_t>(e.y_step);
    }
    // Linear box: edge i covers column k of a row where E + a k >= 0, E its
    // value at the row's first column and a its x step: from k = ceil(-E / a)
    // = -floor(E / a) on for a > 0, up to floor(E / -a) for a < 0. With d = |a|
    // the walk keeps q = floor(E / d) and the remainder as r = E - d q - d
    // (-d <= r < 0) and moves them down a row by the quotient and remainder
    // of the y step, carrying one when r reaches 0: exactly the division of
    // each row's E, with no division per row. The values of the box fit 32
    // bits, so every E divided here is the edge's true value; q is 64-bit
    // because it runs on past the last row. An edge with a = 0 keeps d = 1,
    // so q is E itself and only its sign matters.
    int64_t q[3] = {}, q_step[3] = {}, r[3] = {}, r_step[3] = {}, d[3] = {1, 1, 1};
    if (linear) {
#pragma GCC unroll 3
        for (int i = 0; i < 3; i++) {
            const int32_t e = static_cast<int32_t>(e_row[i]), a = ex[i], step = static_cast<int32_t>(ey[i]);
            const uint32_t divisor = a > 0   ? static_cast<uint32_t>(a)
                                     : a < 0 ? 0u - static_cast<uint32_t>(a)
                                             : 1u;
            raster_detail::FloorDivision f{e, 0u}, g{step, 0u};
            if (a != 0) {
                f = raster_detail::floor_divide(e, divisor);
                // A walk of one row never steps.
                if (last_y > first_y)
                    g = raster_detail::floor_divide(step, divisor);
            }
            d[i] = divisor;
            q[i] = f.quotient;
            r[i] = static_cast<int64_t>(f.remainder) - divisor;
            q_step[i] = g.quotient + 1; // the carry's 1 taken back below when r stays negative
            r_step[i] = g.remainder;
        }
    }
    uint32_t v_row[NA], vx[NA], vy[NA];
    for (int i = 0; i < N; i++) {
        v_row[i] = static_cast<uint32_t>(attributes[i].start) +
                   static_cast<uint32_t>(attributes[i].y_step) * skipped;
        vx[i] = static_cast<uint32_t>(attributes[i].x_step);
        vy[i] = static_cast<uint32_t>(attributes[i].y_step);
    }
    uint32_t* pixels = frame_surface()->pixels;
    int32_t* depths = DEPTH ? frame_depth()->values : nullptr;

    for (int32_t y = first_y; y <= last_y; y++) {
        int32_t lo = 0, hi = width - 1;
        if (linear) {
            // A run past the right end (lo >= width) or an edge with no
            // covered column (hi < 0) leaves lo > hi: an empty row.
            int64_t first = 0, last = width - 1;
#pragma GCC unroll 3
            for (int i = 0; i < 3; i++) {
                if (ex[i] > 0)
                    first = -q[i] > first ? -q[i] : first;
                else if (ex[i] < 0)
                    last = q[i] < last ? q[i] : last;
                else if (q[i] < 0)
                    last = -1;
                // Next row, without a branch: -d <= r + r_step < d, and
                // `borrow` is -1 when that sum is negative (no carry).
                const int64_t sum = r[i] + r_step[i], borrow = sum >> 63;
                r[i] = sum - (d[i] & ~borrow);
                q[i] += q_step[i] + borrow;
            }
            lo = first > last ? 1 : static_cast<int32_t>(first);
            hi = first > last ? 0 : static_cast<int32_t>(last);
        } else {
            // Step pixel by pixel in wrapping 32-bit arithmetic, as the edge
            // values of a box this far from the triangle do.
            uint32_t e0 = e_row[0], e1 = e_row[1], e2 = e_row[2];
            int32_t k = 0;
            while (k < width && static_cast<int32_t>(e0 | e1 | e2) < 0) {
                e0 += static_cast<uint32_t>(ex[0]);
                e1 += static_cast<uint32_t>(ex[1]);
                e2 += static_cast<uint32_t>(ex[2]);
                k++;
            }
            lo = k;
            while (k < width && static_cast<int32_t>(e0 | e1 | e2) >= 0) {
                e0 += static_cast<uint32_t>(ex[0]);
                e1 += static_cast<uint32_t>(ex[1]);
                e2 += static_cast<uint32_t>(ex[2]);
                k++;
            }
            hi = k - 1;
        }
        if (lo <= hi) {
            // The frame and depth rows are far apart in memory and a span
            // rarely fills a cache line: ask for the lines this run covers
            // PREFETCH_ROWS rows further down while this row is drawn, so that
            // the spans there find them loaded. (A hint only: nothing is read.)
            if (y + raster_detail::PREFETCH_ROWS <= last_y) {
                const std::size_t ahead = static_cast<std::size_t>(y + raster_detail::PREFETCH_ROWS) * stride;
                raster_detail::prefetch_run(pixels + ahead, min_x + lo, min_x + hi);
                if (DEPTH)
                    raster_detail::prefetch_run(reinterpret_cast<uint32_t*>(depths) + ahead, min_x + lo,
                                                min_x + hi);
            }
            uint32_t v[NA];
#pragma GCC unroll 8
            for (int i = 0; i < N; i++)
                v[i] = v_row[i] + vx[i] * static_cast<uint32_t>(lo);
            std::size_t offset = static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(min_x + lo);
            span(pixels + offset, DEPTH ? depths + offset : nullptr, hi - lo + 1,
                 static_cast<const uint32_t*>(v));
        }
        for (int i = 0; i < 3; i++)
            e_row[i] += ey[i];
#pragma GCC unroll 8
        for (int i = 0; i < N; i++)
            v_row[i] += vy[i];
    }
}

// The walk with a per-pixel callback: pixel_fn(pixel, depth, values).
template <bool DEPTH, int N, class PixelFn>
inline void raster_walk_pixels(RasterTriangle* t, const Interpolant* attributes, PixelFn&& pixel_fn)
{
    constexpr int NA = N > 0 ? N : 1;
    uint32_t vx[NA];
#pragma GCC unroll 8
    for (int i = 0; i < N; i++)
        vx[i] = static_cast<uint32_t>(attributes[i].x_step);
    raster_walk<DEPTH, N>(t, attributes, [&](uint32_t* p, int32_t* z, int32_t count, const uint32_t* v0) {
        uint32_t v[NA];
#pragma GCC unroll 8
        for (int i = 0; i < N; i++)
            v[i] = v0[i];
        for (int32_t k = 0; k < count; k++) {
            pixel_fn(p[k], DEPTH ? z + k : nullptr, static_cast<const uint32_t*>(v));
#pragma GCC unroll 8
            for (int i = 0; i < N; i++)
                v[i] += vx[i];
        }
    });
}
