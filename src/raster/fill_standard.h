// The colour and single-texture fillers as one template over the mode's flag
// bits: what a covered pixel becomes is chosen at compile time, the set-up and
// walk are raster_internal.h's. Included by fill_colour.cpp and fill_texture.cpp only.
#pragma once

#include "raster/fill_spans.h"
#include "raster/raster_internal.h"

namespace fill_detail {

// Attribute layout and depth behaviour of mode M.
template <uint32_t M>
struct ModeTraits {
    static constexpr bool depth_values = (M & FILL_DEPTH) != 0; // also mode 16's grey
    static constexpr bool grey = M == FILL_DEPTH;
    static constexpr bool depth_test = depth_values && !grey;
    static constexpr bool depth_write = depth_test && !(M & (FILL_ADD | FILL_ALPHA));
    static constexpr bool gouraud = (M & FILL_GOURAUD) != 0;
    static constexpr bool flat = (M & FILL_FLAT) != 0;
    static constexpr bool affine = (M & FILL_TEXTURE) != 0;
    static constexpr bool perspective = (M & FILL_PERSPECTIVE) != 0;
    static constexpr bool textured = affine || perspective;
    static constexpr bool add = (M & FILL_ADD) != 0;
    static constexpr bool multiply = (M & FILL_MULTIPLY) != 0;
    static constexpr bool bilinear = (M & FILL_BILINEAR) != 0;
    static constexpr bool mipmap = (M & FILL_MIPMAP) != 0;
    static constexpr bool colour_key = (M & FILL_COLORKEY) != 0;
    static constexpr bool alpha = (M & FILL_ALPHA) != 0;
    // Mode 22 packs its vertex colour without clamping; 6 and 38 clamp.
    static constexpr bool unclamped = M == (FILL_TEXTURE | FILL_GOURAUD | FILL_DEPTH);
    static constexpr int depth_index = 0;
    static constexpr int colour_index = depth_values ? 1 : 0;
    static constexpr int texture_index = colour_index + (gouraud ? 4 : 0);
    static constexpr int count = texture_index + (perspective ? 3 : affine ? 2 : 0);
};

// Per byte of the four lanes: k = (f x a) >> 8, out = (t k >> 8) + (p (255 - k) >> 8),
// saturated to 255 (the sum of two terms below 255 never reaches 65535).
inline uint32_t alpha_blend(uint32_t texel, uint32_t pixel, uint32_t flat)
{
    uint32_t a = texel >> 24, out = 0;
    for (int s = 0; s < 32; s += 8) {
        uint32_t k = (((flat >> s) & 0xFFu) * a) >> 8;
        uint32_t c = ((((texel >> s) & 0xFFu) * k) >> 8) + ((((pixel >> s) & 0xFFu) * (255u - k)) >> 8);
        out |= (c > 255u ? 255u : c) << s;
    }
    return out;
}

// Bilinear texel at 11-bit fixed-point (uf, vf); the four weights sum to 255.
inline uint32_t bilinear_texel(const Texture* t, uint32_t uf, uint32_t vf)
{
    uint32_t fu = uf & 0x7FFu, fv = vf & 0x7FFu;
    int32_t tu = texel_coordinate(uf, t->width_mask), tv = texel_coordinate(vf, t->height_mask);
    int32_t tu1 = (tu + 1) & t->width_mask, tv1 = (tv + 1) & t->height_mask;
    uint32_t w00 = ((2047u - fu) * (2047u - fv)) >> 14;
    uint32_t w10 = ((2047u - fv) * fu) >> 14;
    uint32_t w11 = (fu * fv) >> 14;
    uint32_t w01 = 255u - w00 - w10 - w11;
    uint32_t t00 = texel_at(t, tu, tv), t10 = texel_at(t, tu1, tv), t11 = texel_at(t, tu1, tv1),
             t01 = texel_at(t, tu, tv1);
    uint32_t out = 0;
    for (int s = 0; s < 32; s += 8) {
        uint32_t c = ((t00 >> s) & 0xFFu) * w00 + ((t10 >> s) & 0xFFu) * w10 + ((t11 >> s) & 0xFFu) * w11 +
                     ((t01 >> s) & 0xFFu) * w01;
        out |= (c >> 8) << s;
    }
    return out;
}

// Per-triangle constants a pixel needs.
struct ShadeState {
    const Texture* texture;
    uint32_t flat;
    const uint32_t* mip_pixels;
    int32_t mip_level;
    int32_t mip_shift;
    int32_t mip_mask;
};

// The colour of a covered pixel of mode M over surface pixel `dst`; false when
// the pixel is not drawn (colour key, or a perspective pixel whose W is unusable).
template <uint32_t M>
inline bool shade(const ShadeState& s, uint32_t dst, const uint32_t* v, uint32_t* out)
{
    using T = ModeTraits<M>;
    if constexpr (T::grey) {
        int32_t d = static_cast<int32_t>(v[0]) >> 11;
        double g = (static_cast<double>(d) / 16383.0) * 255.0;
        int32_t level = g <= 0.0 ? 0 : g >= 255.0 ? 255 : static_cast<int32_t>(g);
        *out = static_cast<uint32_t>(level) * 0x01010101u;
        return true;
    } else if constexpr (!T::textured) {
        uint32_t c;
        if constexpr (T::gouraud)
            c = colour_clamped(v + T::colour_index);
        else
            c = s.flat;
        if constexpr (T::add)
            c = lanes_add_saturate(dst, c);
        else if constexpr (T::multiply)
            c = lanes_multiply(dst, c);
        *out = c;
        return true;
    } else {
        const Texture* tex = s.texture;
        const uint32_t* tv = v + T::texture_index;
        uint32_t texel;
        if constexpr (T::perspective) {
            int32_t up = static_cast<int32_t>(tv[0]), vp = static_cast<int32_t>(tv[1]),
                    w = static_cast<int32_t>(tv[2]);
            if (w == 0 || (w == -1 && (up == INT32_MIN || vp == INT32_MIN)))
                return false;
            if constexpr (T::bilinear) {
                uint32_t uf = static_cast<uint32_t>((static_cast<int64_t>(up) * 2048) / w);
                uint32_t vf = static_cast<uint32_t>((static_cast<int64_t>(vp) * 2048) / w);
                texel = bilinear_texel(tex, uf, vf);
            } else {
                texel = texel_at(tex, (up / w) & tex->width_mask, (vp / w) & tex->height_mask);
            }
        } else if constexpr (T::bilinear) {
            texel = bilinear_texel(tex, tv[0], tv[1]);
        } else if constexpr (T::mipmap) {
            int32_t tu = ((static_cast<int32_t>(tv[0]) >> 11) >> s.mip_level) & s.mip_mask;
            int32_t tw = ((static_cast<int32_t>(tv[1]) >> 11) >> s.mip_level) & s.mip_mask;
            texel = s.mip_pixels[(static_cast<uint32_t>(tw) << s.mip_shift) + static_cast<uint32_t>(tu)];
        } else {
            texel = texel_affine(tex, tv[0], tv[1]);
        }
        if constexpr (T::colour_key) {
            if (texel == KEY_COLOUR)
                return false;
        }
        uint32_t c = texel;
        if constexpr (T::flat && !T::alpha)
            c = lanes_multiply(c, s.flat);
        if constexpr (T::gouraud) {
            if constexpr (T::unclamped)
                c = lanes_multiply(c, colour_unclamped(v + T::colour_index));
            else
                c = lanes_multiply(c, colour_clamped(v + T::colour_index));
        }
        if constexpr (T::alpha)
            c = alpha_blend(c, dst, s.flat);
        else if constexpr (T::add)
            c = lanes_add_saturate(dst, c);
        *out = c;
        return true;
    }
}

// Mip level, shift and mask for one triangle; false when the level has no pixels.
inline bool mip_prepare(const RasterTriangle* t, const Texture* tex, ShadeState* s)
{
    int32_t level = select_mip_level(t);
    int32_t levels = tex->level_count > 0 ? tex->level_count : 1;
    if (level >= levels)
        level = levels - 1;
    int32_t log2 = tex->width_log2 < tex->height_log2 ? tex->width_log2 : tex->height_log2;
    if (level > log2)
        level = log2;
    s->mip_level = level;
    s->mip_shift = log2 - level;
    s->mip_mask = (1 << s->mip_shift) - 1;
    s->mip_pixels = level == 0 ? tex->pixels : tex->levels[level];
    return s->mip_pixels != nullptr;
}

template <uint32_t M>
void fill_standard(RasterTriangle* triangles, int32_t count, const Texture* texture)
{
    using T = ModeTraits<M>;
    constexpr int N = T::count;
    constexpr int NA = N > 0 ? N : 1;
    if (!raster_target_ready(T::depth_test))
        return;
    if constexpr (T::textured) {
        if (!raster_texture_ready(texture))
            return;
    }
    ShadeState state{texture, 0u, nullptr, 0, 0, 0};
    for (int32_t i = 0; i < count; i++) {
        RasterTriangle* t = &triangles[i];
        if constexpr (T::perspective) {
            // W must stay positive across the triangle: no vertex at or behind z = 0.
            if (!(t->v[0].z > 0.0f && t->v[1].z > 0.0f && t->v[2].z > 0.0f))
                continue;
        }
        if (setup_triangle(t))
            continue;
        Interpolant a[NA];
        if constexpr (T::depth_values)
            a[T::depth_index] = raster_depth_interpolant(t);
        if constexpr (T::gouraud)
            raster_colour_interpolants(t, a + T::colour_index);
        if constexpr (T::perspective) {
            if (!raster_perspective_interpolants(t, texture, a + T::texture_index))
                continue;
        } else if constexpr (T::affine) {
            raster_texture_interpolants(t, texture, a + T::texture_index);
        }
        if constexpr (T::mipmap) {
            if (!mip_prepare(t, texture, &state))
                continue;
        }
        state.flat = t->flat_colour;
        if constexpr (fill_spans::has_span<M>) {
            raster_walk<T::depth_test, N>(t, a, [&](uint32_t* p, int32_t* z, int32_t n, const uint32_t* v) {
                fill_spans::span<M>(state.texture, state.flat, a, p, z, n, v);
            });
        } else {
            raster_walk_pixels<T::depth_test, N>(t, a, [&](uint32_t& p, int32_t* z, const uint32_t* v) {
                uint32_t c;
                if constexpr (T::depth_test) {
                    int32_t d = static_cast<int32_t>(v[0]) >> 11;
                    if (!(d < *z))
                        return;
                    if (!shade<M>(state, p, v, &c))
                        return;
                    if constexpr (T::depth_write)
                        *z = d;
                    p = c;
                } else {
                    if (shade<M>(state, p, v, &c))
                        p = c;
                }
            });
        }
    }
}

} // namespace fill_detail
