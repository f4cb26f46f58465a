// The rasterizer written out the long way, for the tests that compare it with
// the real one: the per-mode pixel rules of the colour and single-texture
// modes, a literal walk of the triangle's box (edge test by OR of the three
// values, leaving a row once past its span) and one triangle drawn with them.
// The set-up (edges, box, interpolants, mip level) comes from the caller, so
// the same walk checks both the real set-up and an independent reading of it.
#pragma once

#include "raster_fixture.h"

#include <algorithm>
#include <climits>
#include <vector>

namespace raster_reference
{

inline uint32_t byte_of(uint32_t p, int c)
{
    return (p >> (8 * c)) & 0xFFu;
}

inline uint32_t mul(uint32_t a, uint32_t b)
{
    uint32_t o = 0;
    for (int c = 0; c < 4; c++)
        o |= ((byte_of(a, c) * byte_of(b, c)) >> 8) << (8 * c);
    return o;
}

inline uint32_t adds(uint32_t a, uint32_t b)
{
    uint32_t o = 0;
    for (int c = 0; c < 4; c++)
        o |= std::min(255u, byte_of(a, c) + byte_of(b, c)) << (8 * c);
    return o;
}

// v[0..3] = blue, green, red, alpha interpolant values.
inline uint32_t clamped(const int32_t* v)
{
    uint32_t o = 0;
    for (int c = 0; c < 4; c++) {
        int32_t x = v[c] >> 11;
        uint32_t b = (x >= 0 && x <= 255) ? static_cast<uint32_t>(x) : (v[c] < 0 ? 0u : 255u);
        o |= b << (8 * c);
    }
    return o;
}

inline uint32_t unclamped(const int32_t* v)
{
    return (static_cast<uint32_t>(v[3] >> 11) << 24) | (static_cast<uint32_t>(v[2] >> 11) << 16) |
           (static_cast<uint32_t>(v[1] >> 11) << 8) | static_cast<uint32_t>(v[0] >> 11);
}

// Texel alpha scaled by the flat colour, per channel.
inline uint32_t alpha_blend(uint32_t texel, uint32_t pixel, uint32_t flat)
{
    uint32_t a = texel >> 24, o = 0;
    for (int c = 0; c < 4; c++) {
        uint32_t k = (byte_of(flat, c) * a) >> 8;
        uint32_t sum = ((byte_of(texel, c) * k) >> 8) + ((byte_of(pixel, c) * (255 - k)) >> 8);
        o |= std::min(sum, 255u) << (8 * c);
    }
    return o;
}

inline uint32_t texel(const Texture& t, int32_t tu, int32_t tv)
{
    return t.pixels[(tv << t.width_log2) + tu];
}

inline uint32_t bilinear(const Texture& t, int32_t uf, int32_t vf)
{
    int32_t fu = uf & 0x7FF, fv = vf & 0x7FF;
    int32_t tu = (uf >> 11) & t.width_mask, tv = (vf >> 11) & t.height_mask;
    int32_t tu1 = (tu + 1) & t.width_mask, tv1 = (tv + 1) & t.height_mask;
    int32_t w00 = ((2047 - fu) * (2047 - fv)) >> 14;
    int32_t w10 = ((2047 - fv) * fu) >> 14;
    int32_t w11 = (fu * fv) >> 14;
    int32_t w01 = 255 - w00 - w10 - w11;
    uint32_t o = 0;
    for (int c = 0; c < 4; c++) {
        uint32_t sum = byte_of(texel(t, tu, tv), c) * w00 + byte_of(texel(t, tu1, tv), c) * w10 +
                       byte_of(texel(t, tu1, tv1), c) * w11 + byte_of(texel(t, tu, tv1), c) * w01;
        o |= (sum >> 8) << (8 * c);
    }
    return o;
}

// Edge functions (steps and constants) and the box of a set-up triangle.
struct Box {
    int32_t xs[3], ys[3], c[3];
    int32_t min_x, min_y, max_x, max_y;
};

// The box the real set-up wrote into the record.
inline Box box_of(const RasterTriangle& t)
{
    Box b{};
    for (int i = 0; i < 3; i++) {
        b.xs[i] = t.edges[i].x_step;
        b.ys[i] = t.edges[i].y_step;
        b.c[i] = t.edges[i].constant;
    }
    b.min_x = t.min_x;
    b.min_y = t.min_y;
    b.max_x = t.max_x;
    b.max_y = t.max_y;
    return b;
}

// Literal walk of the box in 32-bit wrapping arithmetic: fn(pixel index,
// interpolant values) for each covered pixel.
template <typename Fn> void walk(const Box& b, const std::vector<Interpolant>& a, Fn fn)
{
    uint32_t er[3];
    for (int i = 0; i < 3; i++)
        er[i] = static_cast<uint32_t>(b.xs[i]) * static_cast<uint32_t>(b.min_x) +
                static_cast<uint32_t>(b.ys[i]) * static_cast<uint32_t>(b.min_y) +
                static_cast<uint32_t>(b.c[i]);
    std::vector<uint32_t> vr(a.size()), v(a.size());
    for (size_t i = 0; i < a.size(); i++)
        vr[i] = static_cast<uint32_t>(a[i].start);
    for (int y = b.min_y; y <= b.max_y; y++) {
        uint32_t e[3] = {er[0], er[1], er[2]};
        v = vr;
        int entered = 0;
        for (int x = b.min_x; x <= b.max_x; x++) {
            if (static_cast<int32_t>(e[0] | e[1] | e[2]) >= 0) {
                int32_t values[16] = {};
                for (size_t i = 0; i < v.size() && i < 16; i++)
                    values[i] = static_cast<int32_t>(v[i]);
                fn(y * 640 + x, values);
                entered++;
            } else if (entered) {
                break;
            }
            for (int i = 0; i < 3; i++)
                e[i] += static_cast<uint32_t>(b.xs[i]);
            for (size_t i = 0; i < v.size(); i++)
                v[i] += static_cast<uint32_t>(a[i].x_step);
        }
        for (int i = 0; i < 3; i++)
            er[i] += static_cast<uint32_t>(b.ys[i]);
        for (size_t i = 0; i < v.size(); i++)
            vr[i] += static_cast<uint32_t>(a[i].y_step);
    }
}

// One row's run of the walk: columns lo..hi of the box (lo > hi: none).
struct Run {
    int32_t y, lo, hi;
    bool operator==(const Run& o) const { return y == o.y && lo == o.lo && hi == o.hi; }
};

// Whether every edge value at the box's four corners fits 32 bits (and so
// every value inside, the edges being linear).
inline bool box_fits_plain(const Box& b)
{
    auto fits32 = [](int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; };
    for (int i = 0; i < 3; i++)
        for (int32_t x : {b.min_x, b.max_x})
            for (int32_t y : {b.min_y, b.max_y})
                if (!fits32(int64_t{b.c[i]} + int64_t{b.xs[i]} * x + int64_t{b.ys[i]} * y))
                    return false;
    return true;
}

// The walk's runs found the plain way: in a box whose values fit 32 bits,
// one division per edge and row (ceil(-E / a) for a > 0, floor(E / -a) for
// a < 0, E the row's first value); otherwise by stepping along the row in
// wrapping 32-bit arithmetic. Only the rows with a run are listed.
inline std::vector<Run> runs_by_division(const Box& b)
{
    const int32_t width = b.max_x - b.min_x + 1;
    const bool linear = box_fits_plain(b);
    std::vector<Run> out;
    for (int32_t y = b.min_y; y <= b.max_y; y++) {
        uint32_t e[3];
        for (int i = 0; i < 3; i++)
            e[i] = static_cast<uint32_t>(b.xs[i]) * static_cast<uint32_t>(b.min_x) +
                   static_cast<uint32_t>(b.ys[i]) * static_cast<uint32_t>(y) + static_cast<uint32_t>(b.c[i]);
        int64_t lo = 0, hi = width - 1;
        if (linear) {
            for (int i = 0; i < 3; i++) {
                const int64_t E = static_cast<int32_t>(e[i]), a = b.xs[i];
                if (a > 0 && E < 0)
                    lo = std::max(lo, std::min<int64_t>((-E + a - 1) / a, width));
                else if (a < 0)
                    hi = E < 0 ? -1 : std::min(hi, E / -a);
                else if (a == 0 && E < 0)
                    hi = -1;
            }
        } else {
            int64_t k = 0;
            auto inside = [&] { return static_cast<int32_t>(e[0] | e[1] | e[2]) >= 0; };
            auto step = [&] {
                for (int i = 0; i < 3; i++)
                    e[i] += static_cast<uint32_t>(b.xs[i]);
                k++;
            };
            while (k < width && !inside())
                step();
            lo = k;
            while (k < width && inside())
                step();
            hi = k - 1;
        }
        if (lo <= hi)
            out.push_back(Run{y, static_cast<int32_t>(lo), static_cast<int32_t>(hi)});
    }
    return out;
}

// Triangle set-up as it was first written, one coordinate and one edge at a
// time: 0 with the record's edges, area, box and inverse area filled, 1 when
// rejected. The real set-up must give the same answer and, when it draws, the
// same record.
inline int32_t setup_triangle_plain(RasterTriangle* t)
{
    auto fits32 = [](int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; };
    auto to_fixed = [](float value, int64_t* out) {
        float scaled = value * 32.0f;
        if (!(scaled >= -2147483648.0f && scaled < 2147483648.0f))
            return false;
        *out = static_cast<int32_t>(scaled);
        return true;
    };
    int64_t X[3], Y[3];
    for (int k = 0; k < 3; k++)
        if (!to_fixed(t->v[k].x, &X[k]) || !to_fixed(t->v[k].y, &Y[k]))
            return 1;
    int64_t xs[3], ys[3], cs[3];
    for (int i = 0; i < 3; i++) {
        int p = i, q = i == 2 ? 0 : i + 1;
        int64_t dy = Y[p] - Y[q];
        int64_t dx = X[q] - X[p];
        xs[i] = dy * 64;
        ys[i] = dx * 64;
        if (!fits32(xs[i]) || !fits32(ys[i]))
            return 1;
        cs[i] = -(X[p] + X[q]) * dy - (Y[p] + Y[q]) * dx;
        t->edges[i].direction = (xs[i] >= 0 ? 8 : 0) + (ys[i] >= 0 ? 1 : 0);
        if (!(xs[i] > 0 || (xs[i] == 0 && ys[i] <= 0)))
            cs[i] -= 1;
        if (!fits32(cs[i]))
            return 1;
    }
    int64_t area = cs[0] + cs[1] + cs[2];
    if (!fits32(area))
        return 1;
    if (area >= -15 && area <= 0)
        return 1;
    if (area < 0) {
        if (!(t->flags & RASTER_TWO_SIDED))
            return 1;
        for (int i = 0; i < 3; i++) {
            xs[i] = -xs[i];
            ys[i] = -ys[i];
            cs[i] = -cs[i];
            if (!fits32(xs[i]) || !fits32(ys[i]) || !fits32(cs[i]))
                return 1;
        }
        area = -area;
    }
    for (int i = 0; i < 3; i++) {
        t->edges[i].x_step = static_cast<int32_t>(xs[i]);
        t->edges[i].y_step = static_cast<int32_t>(ys[i]);
        t->edges[i].constant = static_cast<int32_t>(cs[i]);
    }
    t->area = static_cast<int32_t>(area);
    static const int pair_first[7] = {0, 0, 1, 0, 2, 2, 1};
    static const int pair_second[7] = {0, 1, 2, 2, 0, 1, 0};
    int x_code = 0, y_code = 0;
    for (int i = 0; i < 3; i++) {
        x_code |= (t->edges[i].direction & 1) << i;
        y_code |= ((t->edges[i].direction >> 3) & 1) << i;
    }
    if (x_code == 0 || x_code == 7 || y_code == 0 || y_code == 7)
        return 1;
    int32_t min_x = static_cast<int32_t>(t->v[pair_first[x_code]].x);
    int32_t max_x = static_cast<int32_t>(t->v[pair_second[x_code]].x + 1.0f);
    int32_t max_y = static_cast<int32_t>(t->v[pair_first[y_code]].y + 1.0f);
    int32_t min_y = static_cast<int32_t>(t->v[pair_second[y_code]].y);
    min_x = std::max(min_x, 0);
    min_y = std::max(min_y, 0);
    max_x = std::min(max_x, 639);
    max_y = std::min(max_y, 479);
    if (min_x > max_x || min_y > max_y)
        return 1;
    t->min_x = min_x;
    t->min_y = min_y;
    t->max_x = max_x;
    t->max_y = max_y;
    for (int i = 0; i < 3; i++)
        if (!fits32(xs[i] * min_x + ys[i] * min_y + cs[i]))
            return 1;
    t->inverse_area = static_cast<float>(2048.0 / static_cast<double>(area));
    return 0;
}

// One triangle of `mode` drawn the long way into pixels / depth, given its box,
// a maker of interpolants (make(a, b, c) for the values at V0, V1, V2) and the
// mip level chosen for it. Perspective modes draw nothing unless every z > 0.
template <typename Make>
void draw(const RasterTriangle& t, const Box& box, Make make, int32_t mip_level, uint32_t mode,
          const Texture& tex, uint32_t* pixels, int32_t* depth)
{
    const bool persp = mode & FILL_PERSPECTIVE;
    if (persp && !(t.v[0].z > 0 && t.v[1].z > 0 && t.v[2].z > 0))
        return;
    const bool has_depth = mode & FILL_DEPTH;
    const bool gouraud = mode & FILL_GOURAUD;
    const bool textured = mode & FILL_TEXTURE;
    std::vector<Interpolant> a;
    if (has_depth)
        a.push_back(make(t.v[0].z * 16383.0f, t.v[1].z * 16383.0f, t.v[2].z * 16383.0f));
    const int ci = static_cast<int>(a.size());
    if (gouraud)
        for (int c = 0; c < 4; c++)
            a.push_back(make(static_cast<float>(byte_of(t.v[0].colour, c)),
                             static_cast<float>(byte_of(t.v[1].colour, c)),
                             static_cast<float>(byte_of(t.v[2].colour, c))));
    const int ti = static_cast<int>(a.size());
    const float W = static_cast<float>(tex.width), H = static_cast<float>(tex.height);
    if (persp) {
        float up[3], vp[3], sv[3];
        for (int k = 0; k < 3; k++) {
            sv[k] = static_cast<float>(256.0 / static_cast<double>(t.v[k].z));
            up[k] = W * t.v[k].u * sv[k];
            vp[k] = sv[k] * (H * t.v[k].v);
        }
        a.push_back(make(up[0], up[1], up[2]));
        a.push_back(make(vp[0], vp[1], vp[2]));
        a.push_back(make(sv[0], sv[1], sv[2]));
    } else if (textured) {
        a.push_back(make(t.v[0].u * W, t.v[1].u * W, t.v[2].u * W));
        a.push_back(make(t.v[0].v * H, t.v[1].v * H, t.v[2].v * H));
    }
    int32_t level = 0, shift = 0, mip_mask = 0;
    const uint32_t* level_pixels = tex.pixels;
    if (mode & FILL_MIPMAP) {
        const int32_t count = tex.level_count > 0 ? tex.level_count : 1;
        const int32_t lg = std::min(tex.width_log2, tex.height_log2);
        level = std::min(std::min(mip_level, count - 1), lg);
        shift = lg - level;
        mip_mask = (1 << shift) - 1;
        level_pixels = level ? tex.levels[level] : tex.pixels;
    }
    const uint32_t f = t.flat_colour;
    walk(box, a, [&](int i, const int32_t* val) {
        uint32_t& p = pixels[i];
        const int32_t d = has_depth ? val[0] >> 11 : 0;
        if (mode == 16) {
            const double g = (d / 16383.0) * 255.0;
            const int32_t gi = g < 0 ? 0 : g > 255 ? 255 : static_cast<int32_t>(g);
            p = static_cast<uint32_t>(gi) * 0x01010101u;
            return;
        }
        if (has_depth && !(d < depth[i]))
            return;
        uint32_t tx = 0;
        if (persp) {
            const int32_t up = val[ti], vp = val[ti + 1], w = val[ti + 2];
            if (w == 0)
                return;
            if (mode & FILL_BILINEAR) {
                tx = bilinear(tex, static_cast<int32_t>((static_cast<int64_t>(up) * 2048) / w),
                              static_cast<int32_t>((static_cast<int64_t>(vp) * 2048) / w));
            } else {
                if (w == -1 && (up == INT32_MIN || vp == INT32_MIN))
                    return;
                tx = texel(tex, (up / w) & tex.width_mask, (vp / w) & tex.height_mask);
            }
        } else if (mode & FILL_MIPMAP) {
            const int32_t tu = ((val[ti] >> 11) >> level) & mip_mask;
            const int32_t tv = ((val[ti + 1] >> 11) >> level) & mip_mask;
            tx = level_pixels[(tv << shift) + tu];
        } else if (mode & FILL_BILINEAR) {
            tx = bilinear(tex, val[ti], val[ti + 1]);
        } else if (textured) {
            tx = texel(tex, (val[ti] >> 11) & tex.width_mask, (val[ti + 1] >> 11) & tex.height_mask);
        }
        uint32_t out;
        switch (mode) {
        case 1:
        case 17:
            out = f;
            break;
        case 2:
        case 18:
            out = clamped(val + ci);
            break;
        case 33:
            out = adds(p, f);
            break;
        case 34:
            out = adds(p, clamped(val + ci));
            break;
        case 65:
        case 81:
            out = mul(p, f);
            break;
        case 4:
        case 20:
        case 8:
        case 24:
        case 148:
        case 152:
        case 260:
        case 276:
            out = tx;
            break;
        case 5:
        case 21:
            out = mul(tx, f);
            break;
        case 6:
            out = mul(tx, clamped(val + ci));
            break;
        case 22:
            out = mul(tx, unclamped(val + ci));
            break;
        case 36:
        case 52:
            out = adds(p, tx);
            break;
        case 37:
        case 53:
            out = adds(p, mul(tx, f));
            break;
        case 38:
            out = adds(p, mul(tx, clamped(val + ci)));
            break;
        case 532:
            if (tx == KEY_COLOUR)
                return;
            out = tx;
            break;
        case 8196:
        case 8212:
            out = alpha_blend(tx, p, f);
            break;
        default:
            ADD_FAILURE() << "no reference for mode " << mode;
            return;
        }
        // Additive and alpha-blended modes test depth but never write it.
        if (has_depth && !(mode & (FILL_ADD | FILL_ALPHA)))
            depth[i] = d;
        p = out;
    });
}

// The same with the rasterizer's own set-up: the record is set up on a copy,
// a rejected triangle draws nothing.
inline void draw_with_setup(RasterTriangle t, uint32_t mode, const Texture& tex, uint32_t* pixels,
                            int32_t* depth)
{
    if (setup_triangle(&t))
        return;
    const int32_t level = (mode & FILL_MIPMAP) ? select_mip_level(&t) : 0;
    draw(
        t, box_of(t), [&](float a, float b, float c) { return setup_interpolant(&t, a, b, c); }, level, mode,
        tex, pixels, depth);
}

} // namespace raster_reference
