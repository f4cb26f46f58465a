// The colour and single-texture fillers as one template over the mode's flag
// bits: what a covered pixel becomes is chosen at compile time, the set-up and
// walk are raster_internal.h's. The affine and colour modes draw four pixels
// at a time with SSE2, giving the same bits as the per-pixel rule. Included by
// fill_colour.cpp, fill_texture.cpp and the fillers' tests only.
#pragma once

#include "raster/raster_internal.h"

#include <cstddef>
#include <emmintrin.h>
#include <type_traits>

namespace fill_detail
{

// Attribute layout and depth behaviour of mode M.
template <uint32_t M> struct ModeTraits {
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
    // Mode 20 draws the environment-mapped spheres: small and far, so that
    // each pixel of a group reads a texel line of its own, rarely still
    // cached. There each group asks for the lines the row below will read
    // (about 8 % of the filler's time); on the Gouraud walls of mode 22 the
    // same cost 2 % on the terrain and gained nothing sure in the tunnel.
    static constexpr bool prefetch_below = M == (FILL_TEXTURE | FILL_DEPTH);
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
template <uint32_t M> inline bool shade(const ShadeState& s, uint32_t dst, const uint32_t* v, uint32_t* out)
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
            if (w == 0)
                return false;
            if constexpr (T::bilinear) {
                uint32_t uf = static_cast<uint32_t>((static_cast<int64_t>(up) * 2048) / w);
                uint32_t vf = static_cast<uint32_t>((static_cast<int64_t>(vp) * 2048) / w);
                texel = bilinear_texel(tex, uf, vf);
            } else {
                if (w == -1 && (up == INT32_MIN || vp == INT32_MIN))
                    return false; // the one 32-bit quotient that does not exist
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

// One covered pixel by the per-pixel rule: depth test first where the mode has it.
template <uint32_t M> inline void shade_pixel(const ShadeState& s, uint32_t& p, int32_t* z, const uint32_t* v)
{
    using T = ModeTraits<M>;
    uint32_t c;
    if constexpr (T::depth_test) {
        int32_t d = static_cast<int32_t>(v[0]) >> 11;
        if (!(d < *z))
            return;
        if (!shade<M>(s, p, v, &c))
            return;
        if constexpr (T::depth_write)
            *z = d;
        p = c;
    } else {
        if (shade<M>(s, p, v, &c))
            p = c;
    }
}

// Every affine and colour mode has a four-pixel span; the depth grey, the
// perspective, bilinear and mip-mapped modes go pixel by pixel.
template <uint32_t M>
inline constexpr bool has_simd_span =
    !ModeTraits<M>::grey && !ModeTraits<M>::perspective && !ModeTraits<M>::bilinear && !ModeTraits<M>::mipmap;

// Lanes (v, v + s, v + 2s, v + 3s), wrapping like the per-pixel steps.
inline __m128i lanes_of(uint32_t v, uint32_t s)
{
    return _mm_setr_epi32(static_cast<int32_t>(v), static_cast<int32_t>(v + s),
                          static_cast<int32_t>(v + 2 * s), static_cast<int32_t>(v + 3 * s));
}

inline __m128i select(__m128i mask, __m128i a, __m128i b)
{
    return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}

// Per byte (a x b) >> 8 of four pixels, on 16-bit lanes (the products fit).
inline __m128i multiply4(__m128i a, __m128i b)
{
    const __m128i zero = _mm_setzero_si128();
    __m128i lo = _mm_mullo_epi16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero));
    __m128i hi = _mm_mullo_epi16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero));
    return _mm_packus_epi16(_mm_srli_epi16(lo, 8), _mm_srli_epi16(hi, 8));
}

// alpha_blend() of four pixels: k = (f x a) >> 8 per lane, then
// (t k >> 8) + (p (255 - k) >> 8) saturated to a byte by the unsigned pack.
inline __m128i alpha_blend4(__m128i texel, __m128i pixel, __m128i flat)
{
    const __m128i zero = _mm_setzero_si128(), full = _mm_set1_epi16(255);
    __m128i f = _mm_unpacklo_epi8(flat, zero);
    __m128i half[2];
    for (int h = 0; h < 2; h++) {
        __m128i t = h ? _mm_unpackhi_epi8(texel, zero) : _mm_unpacklo_epi8(texel, zero);
        __m128i p = h ? _mm_unpackhi_epi8(pixel, zero) : _mm_unpacklo_epi8(pixel, zero);
        __m128i a = _mm_shufflehi_epi16(_mm_shufflelo_epi16(t, 0xFF), 0xFF);
        __m128i k = _mm_srli_epi16(_mm_mullo_epi16(f, a), 8);
        __m128i x = _mm_srli_epi16(_mm_mullo_epi16(t, k), 8);
        __m128i y = _mm_srli_epi16(_mm_mullo_epi16(p, _mm_sub_epi16(full, k)), 8);
        half[h] = _mm_adds_epu16(x, y);
    }
    return _mm_packus_epi16(half[0], half[1]);
}

// Vertex colours of four pixels from their (blue, green, red, alpha) values:
// clamped to 0..255 per channel by the signed then unsigned saturating packs,
// or packed without clamping (each value >> 11 shifted into place and OR-ed).
template <bool CLAMPED> inline __m128i vertex_colour4(__m128i c0, __m128i c1, __m128i c2, __m128i c3)
{
    c0 = _mm_srai_epi32(c0, 11);
    c1 = _mm_srai_epi32(c1, 11);
    c2 = _mm_srai_epi32(c2, 11);
    c3 = _mm_srai_epi32(c3, 11);
    if constexpr (CLAMPED) {
        return _mm_packus_epi16(_mm_packs_epi32(c0, c1), _mm_packs_epi32(c2, c3));
    } else {
        __m128i t0 = _mm_unpacklo_epi32(c0, c1), t1 = _mm_unpacklo_epi32(c2, c3);
        __m128i t2 = _mm_unpackhi_epi32(c0, c1), t3 = _mm_unpackhi_epi32(c2, c3);
        __m128i b = _mm_unpacklo_epi64(t0, t1), g = _mm_unpackhi_epi64(t0, t1);
        __m128i r = _mm_unpacklo_epi64(t2, t3), a = _mm_unpackhi_epi64(t2, t3);
        return _mm_or_si128(_mm_or_si128(b, _mm_slli_epi32(g, 8)),
                            _mm_or_si128(_mm_slli_epi32(r, 16), _mm_slli_epi32(a, 24)));
    }
}

// Texel indices at the affine coordinates of four pixels, given the
// texture's masks and row shift in lanes.
inline __m128i texel_index4(__m128i u, __m128i v, __m128i width_mask, __m128i height_mask, __m128i row_shift)
{
    __m128i tu = _mm_and_si128(_mm_srai_epi32(u, 11), width_mask);
    __m128i tv = _mm_and_si128(_mm_srai_epi32(v, 11), height_mask);
    return _mm_add_epi32(_mm_sll_epi32(tv, row_shift), tu);
}

// The four texels at `index`.
inline __m128i gather4(const uint32_t* px, __m128i index)
{
    alignas(16) uint32_t i[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(i), index);
    return _mm_setr_epi32(static_cast<int32_t>(px[i[0]]), static_cast<int32_t>(px[i[1]]),
                          static_cast<int32_t>(px[i[2]]), static_cast<int32_t>(px[i[3]]));
}

// Per-triangle lane constants of the four-pixel spans: the offsets
// (0, s, 2s, 3s) of an attribute across a group (wrapping like the per-pixel
// steps), its step 4s from one group to the next, and the texture's
// addressing.
struct SpanSteps {
    __m128i z, u, v, z4, u4, v4, colour, colour4;
    __m128i width_mask, height_mask, row_shift;
    __m128i u_row, v_row; // one row's step, where the row below is prefetched
    const uint32_t* texels;
};

template <uint32_t M> inline SpanSteps span_steps(const Interpolant* a, const Texture* texture)
{
    using T = ModeTraits<M>;
    constexpr int ti = T::texture_index, ci = T::colour_index;
    auto offsets = [](int32_t step) { return lanes_of(0u, static_cast<uint32_t>(step)); };
    auto times4 = [](int32_t step) {
        return _mm_set1_epi32(static_cast<int32_t>(static_cast<uint32_t>(step) * 4u));
    };
    const __m128i zero = _mm_setzero_si128();
    SpanSteps st{zero, zero, zero, zero, zero, zero, zero, zero, zero, zero, zero, zero, zero, nullptr};
    if constexpr (T::depth_values) {
        st.z = offsets(a[0].x_step);
        st.z4 = times4(a[0].x_step);
    }
    if constexpr (T::affine) {
        st.u = offsets(a[ti].x_step);
        st.u4 = times4(a[ti].x_step);
        st.v = offsets(a[ti + 1].x_step);
        st.v4 = times4(a[ti + 1].x_step);
        st.width_mask = _mm_set1_epi32(texture->width_mask);
        st.height_mask = _mm_set1_epi32(texture->height_mask);
        st.row_shift = _mm_cvtsi32_si128(texture->width_log2);
        st.texels = texture->pixels;
        if constexpr (T::prefetch_below) {
            st.u_row = _mm_set1_epi32(a[ti].y_step);
            st.v_row = _mm_set1_epi32(a[ti + 1].y_step);
        }
    }
    if constexpr (T::gouraud) {
        st.colour = _mm_setr_epi32(a[ci].x_step, a[ci + 1].x_step, a[ci + 2].x_step, a[ci + 3].x_step);
        st.colour4 = _mm_slli_epi32(st.colour, 2);
    }
    return st;
}

// Asks for the lines of the texels at `index` (a hint: nothing is read).
// Always inlined: a function holding only prefetches counts as one without
// effect, and the compiler drops its calls.
[[gnu::always_inline]] inline void prefetch4(const uint32_t* px, __m128i index)
{
    alignas(16) uint32_t i[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(i), index);
    _mm_prefetch(reinterpret_cast<const char*>(px + i[0]), _MM_HINT_T0);
    _mm_prefetch(reinterpret_cast<const char*>(px + i[1]), _MM_HINT_T0);
    _mm_prefetch(reinterpret_cast<const char*>(px + i[2]), _MM_HINT_T0);
    _mm_prefetch(reinterpret_cast<const char*>(px + i[3]), _MM_HINT_T0);
}

// Whether the vertex colour of a set-up triangle lies in 0..255 per channel
// everywhere in its box (the value v of a channel is 255 at most while
// v < 2^19). A value is affine over the box, so its least and greatest are
// at corners, computed here without wrapping; when those lie in 0..2^19 - 1
// so does every value the walk forms, wrapping or not, and the unclamped
// pack of mode 22 equals the clamped one (a third of the instructions).
inline bool colour_within_bytes(const RasterTriangle* t, const Interpolant* colour)
{
    const int64_t w = t->max_x - t->min_x, h = t->max_y - t->min_y;
    for (int i = 0; i < 4; i++) {
        const int64_t x = colour[i].x_step * w, y = colour[i].y_step * h;
        const int64_t lo = colour[i].start + (x < 0 ? x : 0) + (y < 0 ? y : 0);
        const int64_t hi = colour[i].start + (x > 0 ? x : 0) + (y > 0 ? y : 0);
        if (lo < 0 || hi >= (int64_t{1} << 19))
            return false;
    }
    return true;
}

// One span of mode M, four pixels at a time. The last partial group is done
// as a full group with the lanes outside the span masked off (the pixels
// after the span, or at the end of the frame those before it); masked lanes
// are written back unchanged.
template <uint32_t M, int N, bool CLAMP_EXACT>
__attribute__((always_inline)) inline void span_simd(const ShadeState& s, const SpanSteps& st,
                                                     const Interpolant* a, uint32_t* p, int32_t* z, int32_t n,
                                                     const uint32_t* v0)
{
    using T = ModeTraits<M>;
    constexpr int NA = N > 0 ? N : 1;
    constexpr int ti = T::texture_index, ci = T::colour_index;
    // Modes whose result reads the pixel underneath.
    constexpr bool blends = T::add || T::multiply || T::alpha;
    const __m128i flat = _mm_set1_epi32(static_cast<int32_t>(s.flat));
    // Register copies of the per-triangle constants: SSE vectors may alias
    // anything, so read through `st` they would be loaded again after every
    // store to the frame.
    const __m128i z4 = st.z4, u4 = st.u4, v4 = st.v4, colour_step = st.colour, colour4 = st.colour4;
    const __m128i width_mask = st.width_mask, height_mask = st.height_mask, row_shift = st.row_shift;
    const __m128i u_row = st.u_row, v_row = st.v_row;
    const uint32_t* const texels = st.texels;

    // Attribute lanes of the four pixels starting at column k of the span.
    struct Lanes {
        __m128i z, u, v, colour;
    };
    auto lanes_at = [&](int32_t k) __attribute__((always_inline))
    {
        Lanes l{_mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128()};
        auto at = [&](int i) __attribute__((always_inline))
        {
            return static_cast<int32_t>(v0[i] +
                                        static_cast<uint32_t>(a[i].x_step) * static_cast<uint32_t>(k));
        };
        if constexpr (T::depth_values)
            l.z = _mm_add_epi32(_mm_set1_epi32(at(0)), st.z);
        if constexpr (T::affine) {
            l.u = _mm_add_epi32(_mm_set1_epi32(at(ti)), st.u);
            l.v = _mm_add_epi32(_mm_set1_epi32(at(ti + 1)), st.v);
        }
        if constexpr (T::gouraud)
            l.colour = _mm_setr_epi32(at(ci), at(ci + 1), at(ci + 2), at(ci + 3));
        return l;
    };

    // WHOLE: the group lies inside the span (no lane masked off before the depth test).
    auto group = [&](int32_t k, __m128i mask, const Lanes& l, auto whole) __attribute__((always_inline))
    {
        constexpr bool WHOLE = decltype(whole)::value;
        __m128i d = _mm_setzero_si128(), old_depth = _mm_setzero_si128();
        int bits = WHOLE ? 0xFFFF : _mm_movemask_epi8(mask);
        if constexpr (T::prefetch_below) {
            // The same pixels one row down, whether or not they pass here;
            // lanes outside the span ask for lane 0's line again.
            __m128i below = texel_index4(_mm_add_epi32(l.u, u_row), _mm_add_epi32(l.v, v_row), width_mask,
                                         height_mask, row_shift);
            if (!WHOLE)
                below = select(mask, below, _mm_shuffle_epi32(below, 0));
            prefetch4(texels, below);
        }
        if constexpr (T::depth_test) {
            d = _mm_srai_epi32(l.z, 11);
            old_depth = _mm_loadu_si128(reinterpret_cast<const __m128i*>(z + k));
            mask = _mm_and_si128(mask, _mm_cmplt_epi32(d, old_depth));
            bits = _mm_movemask_epi8(mask);
            if (bits == 0)
                return;
        }
        __m128i vertex = _mm_setzero_si128();
        if constexpr (T::gouraud) {
            __m128i c1 = _mm_add_epi32(l.colour, colour_step), c2 = _mm_add_epi32(c1, colour_step),
                    c3 = _mm_add_epi32(c2, colour_step);
            vertex = vertex_colour4 < !T::unclamped || CLAMP_EXACT > (l.colour, c1, c2, c3);
        }
        __m128i c;
        if constexpr (T::affine) {
            __m128i index = texel_index4(l.u, l.v, width_mask, height_mask, row_shift);
            // A masked lane's texel is never used: it reads lane 0's texel
            // instead of one outside the span, which may be far off in the
            // texture (a cache line touched for nothing).
            if (bits != 0xFFFF)
                index = select(mask, index, _mm_shuffle_epi32(index, 0));
            c = gather4(texels, index);
            if constexpr (T::colour_key) {
                mask = _mm_andnot_si128(_mm_cmpeq_epi32(c, _mm_set1_epi32(static_cast<int32_t>(KEY_COLOUR))),
                                        mask);
                // Sprites are mostly key colour: four keyed pixels leave the group untouched.
                bits = _mm_movemask_epi8(mask);
                if (bits == 0)
                    return;
            }
            if constexpr (T::flat && !T::alpha)
                c = multiply4(c, flat);
            if constexpr (T::gouraud)
                c = multiply4(c, vertex);
        } else if constexpr (T::gouraud) {
            c = vertex;
        } else {
            c = flat;
        }
        // Every lane drawn: the selects below would give c and d.
        auto store_whole = [&]() __attribute__((always_inline))
        {
            if constexpr (T::depth_write)
                _mm_storeu_si128(reinterpret_cast<__m128i*>(z + k), d);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(p + k), c);
        };
        // A mode that does not read the pixel underneath need not load it then.
        if (!blends && bits == 0xFFFF)
            return store_whole();
        __m128i dst = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k));
        if constexpr (T::alpha)
            c = alpha_blend4(c, dst, flat);
        else if constexpr (T::add)
            c = _mm_adds_epu8(dst, c);
        else if constexpr (T::multiply)
            c = multiply4(dst, c);
        if (bits == 0xFFFF)
            return store_whole();
        if constexpr (T::depth_write)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(z + k), select(mask, d, old_depth));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p + k), select(mask, c, dst));
    };

    const __m128i all = _mm_set1_epi32(-1);
    Lanes l = lanes_at(0);
    int32_t k = 0;
    for (; k + 4 <= n; k += 4) {
        group(k, all, l, std::true_type{});
        if constexpr (T::depth_values)
            l.z = _mm_add_epi32(l.z, z4);
        if constexpr (T::affine) {
            l.u = _mm_add_epi32(l.u, u4);
            l.v = _mm_add_epi32(l.v, v4);
        }
        if constexpr (T::gouraud)
            l.colour = _mm_add_epi32(l.colour, colour4);
    }
    if (k == n)
        return;
    const __m128i lane = _mm_setr_epi32(0, 1, 2, 3);
    // Masked lanes are written back as they were read, which is only safe on
    // this thread's rows (those of the frame, outside a share).
    const std::ptrdiff_t base = p - frame_surface()->pixels;
    const raster_detail::Band& band = raster_detail::band;
    if (base + k + 4 <= band.end_pixel) {
        // The four pixels from column k, lanes past the span masked off.
        group(k, _mm_cmpgt_epi32(_mm_set1_epi32(n - k), lane), l, std::false_type{});
        return;
    }
    const int32_t start = n - 4;
    if (base + start >= band.first_pixel) {
        // At the end of the rows: the four pixels ending the span, lanes
        // already drawn masked off.
        group(start, _mm_cmpgt_epi32(_mm_add_epi32(_mm_set1_epi32(start), lane), _mm_set1_epi32(k - 1)),
              lanes_at(start), std::false_type{});
        return;
    }
    uint32_t v[NA];
#pragma GCC unroll 8
    for (int i = 0; i < N; i++)
        v[i] = v0[i] + static_cast<uint32_t>(a[i].x_step) * static_cast<uint32_t>(k);
    for (; k < n; k++) {
        shade_pixel<M>(s, p[k], T::depth_test ? z + k : nullptr, v);
#pragma GCC unroll 8
        for (int i = 0; i < N; i++)
            v[i] += static_cast<uint32_t>(a[i].x_step);
    }
}

template <uint32_t M> void fill_standard(RasterTriangle* triangles, int32_t count, const Texture* texture)
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
        if constexpr (has_simd_span<M>) {
            const SpanSteps steps = span_steps<M>(a, texture);
            if (T::unclamped && colour_within_bytes(t, a + T::colour_index))
                raster_walk<T::depth_test, N>(
                    t, a,
                    [&](uint32_t * p, int32_t * z, int32_t n, const uint32_t* v) __attribute__((
                        always_inline)) { span_simd<M, N, true>(state, steps, a, p, z, n, v); });
            else
                raster_walk<T::depth_test, N>(
                    t, a,
                    [&](uint32_t * p, int32_t * z, int32_t n, const uint32_t* v) __attribute__((
                        always_inline)) { span_simd<M, N, false>(state, steps, a, p, z, n, v); });
        } else {
            raster_walk_pixels<T::depth_test, N>(
                t, a, [&](uint32_t& p, int32_t* z, const uint32_t* v) { shade_pixel<M>(state, p, z, v); });
        }
    }
}

} // namespace fill_detail
