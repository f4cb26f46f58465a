// The multi-texture fillers: environment map added at the second coordinate
// set (1044), environment shifted by a bump texel (3088, 3092), normal-map
// diffuse lighting (4116) and diffuse plus a specular-scaled offset
// environment (5140). One template over the mode's flag bits that shades four
// neighbouring pixels in vector lanes; set-up and walk are raster_internal.h's.
#include "raster/raster_internal.h"

#include <emmintrin.h>

namespace
{

// Attribute layout and the slots mode M reads.
template <uint32_t M> struct MultiTraits {
    static constexpr bool textured = (M & FILL_TEXTURE) != 0;
    static constexpr bool second = (M & FILL_SECOND_TEXTURE) != 0;
    static constexpr bool offset_env = (M & FILL_OFFSET) != 0;
    static constexpr bool dot3 = (M & FILL_DOT3) != 0;
    static constexpr bool specular = dot3 && second; // 5140
    static constexpr bool reads_bump = offset_env || dot3;
    static constexpr bool reads_offset = specular;
    static constexpr int depth_index = 0;
    static constexpr int texture_index = 1; // scaled by the bump texture when not textured (3088)
    static constexpr int second_index = 3;
    static constexpr int colour_index = second ? 5 : 3;
    static constexpr int count = colour_index + (dot3 ? 4 : 0);
    // The attributes the shading reads: the colour's alpha never is.
    static constexpr int read = colour_index + (dot3 ? 3 : 0);
    // On the bumped spheres the texture runs across the screen rows, so that
    // each pixel of a group reads lines of its own, rarely still cached: there
    // the lines of the row below a group are asked for, and the lanes past a
    // span's end repeat its last pixel. Both paid only there (about 10 % of
    // the filler's time); on the water and ribbon each cost about 5 %.
    static constexpr bool scattered = specular;
    static constexpr int prefetch_rows = scattered ? 1 : 0;
};

// A texture's pixels with its masks and row shift spread over four lanes,
// held by value so that the stores to the frame and depth buffer do not
// force them to be read again.
struct TexelLanes {
    const uint32_t* pixels;
    __m128i width_mask;
    __m128i height_mask;
    __m128i width_log2; // shift count
};

inline TexelLanes texel_lanes(const Texture* t)
{
    if (!t)
        return TexelLanes{nullptr, _mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128()};
    return TexelLanes{t->pixels, _mm_set1_epi32(t->width_mask), _mm_set1_epi32(t->height_mask),
                      _mm_cvtsi32_si128(t->width_log2)};
}

struct Slots {
    TexelLanes texture;
    TexelLanes environment;
    TexelLanes bump;
    TexelLanes offset;
    __m128i ramp_below; // one less than the first intensity whose specular_ramp entry is not 0 (5140)
};

// (value >> 11) AND mask in each lane: the texel_coordinate rule.
inline __m128i coordinate4(__m128i value, __m128i mask)
{
    return _mm_and_si128(_mm_srai_epi32(value, 11), mask);
}

// The words at four indices, read one by one.
inline __m128i gather4(const uint32_t* words, __m128i index)
{
    alignas(16) uint32_t i[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(i), index);
    return _mm_setr_epi32(static_cast<int32_t>(words[i[0]]), static_cast<int32_t>(words[i[1]]),
                          static_cast<int32_t>(words[i[2]]), static_cast<int32_t>(words[i[3]]));
}

// The texels at four (tu, tv): row tv shifted by the width's logarithm plus
// column tu, in wrapping 32-bit lanes as texel_at forms it.
inline __m128i texels4(const TexelLanes& t, __m128i tu, __m128i tv)
{
    return gather4(t.pixels, _mm_add_epi32(_mm_sll_epi32(tv, t.width_log2), tu));
}

// Byte SHIFT / 8 of each word.
template <int SHIFT> inline __m128i byte4(__m128i w)
{
    return _mm_and_si128(_mm_srli_epi32(w, SHIFT), _mm_set1_epi32(0xFF));
}

// Byte lane of four words halved and centred to -64..63.
template <int SHIFT> inline __m128i centred4(__m128i w)
{
    return _mm_sub_epi32(_mm_and_si128(_mm_srli_epi32(w, SHIFT + 1), _mm_set1_epi32(0x7F)),
                         _mm_set1_epi32(64));
}

// Colours of four neighbouring pixels; a[i] holds attribute i at the four
// pixels. Lanes whose pixel is not drawn are shaded too (their texel reads
// stay inside the textures: every coordinate is masked) and dropped by the
// caller; `drawn` has a bit per lane that is kept.
template <uint32_t M>
[[gnu::always_inline]] inline __m128i shade4(const Slots& s, const __m128i* a, [[maybe_unused]] int drawn)
{
    using T = MultiTraits<M>;
    constexpr int UV = T::texture_index, UV2 = T::second_index, C = T::colour_index;
    const TexelLanes& env = s.environment;
    if constexpr (M == (FILL_SECOND_TEXTURE | FILL_DEPTH | FILL_TEXTURE)) { // 1044
        __m128i base = texels4(s.texture, coordinate4(a[UV], s.texture.width_mask),
                               coordinate4(a[UV + 1], s.texture.height_mask));
        __m128i e =
            texels4(env, coordinate4(a[UV2], env.width_mask), coordinate4(a[UV2 + 1], env.height_mask));
        // Per byte min(255, a + b): lanes_add_saturate.
        return _mm_adds_epu8(base, e);
    } else if constexpr (T::offset_env) { // 3088, 3092
        // The bump texel at the triangle texture's (tu, tv), wrapped by the
        // bump texture's own masks so that a smaller bump map is never read
        // outside; its red and green bytes shift the environment lookup.
        const TexelLanes& scale = T::textured ? s.texture : s.bump;
        __m128i tu = coordinate4(a[UV], scale.width_mask);
        __m128i tv = coordinate4(a[UV + 1], scale.height_mask);
        __m128i b;
        [[maybe_unused]] __m128i base;
        if constexpr (T::textured) {
            base = texels4(s.texture, tu, tv);
            b = texels4(s.bump, _mm_and_si128(tu, s.bump.width_mask), _mm_and_si128(tv, s.bump.height_mask));
        } else {
            b = texels4(s.bump, tu, tv);
        }
        __m128i eu = _mm_and_si128(_mm_add_epi32(_mm_srai_epi32(a[UV2], 11), byte4<16>(b)), env.width_mask);
        __m128i ev =
            _mm_and_si128(_mm_add_epi32(_mm_srai_epi32(a[UV2 + 1], 11), byte4<8>(b)), env.height_mask);
        __m128i e = texels4(env, eu, ev);
        if constexpr (T::textured)
            return _mm_adds_epu8(base, e);
        else
            return e;
    } else { // 4116, 5140
        const __m128i zero = _mm_setzero_si128();
        __m128i tu = coordinate4(a[UV], s.texture.width_mask);
        __m128i tv = coordinate4(a[UV + 1], s.texture.height_mask);
        __m128i base = texels4(s.texture, tu, tv);
        __m128i normal =
            texels4(s.bump, _mm_and_si128(tu, s.bump.width_mask), _mm_and_si128(tv, s.bump.height_mask));
        // The light vector: the colour values packed without clamping (alpha
        // left out), so out-of-range channels spill into their neighbours.
        __m128i cb = _mm_srai_epi32(a[C], 11);
        __m128i cg = _mm_srai_epi32(a[C + 1], 11);
        __m128i cr = _mm_srai_epi32(a[C + 2], 11);
        __m128i light = _mm_or_si128(_mm_or_si128(_mm_slli_epi32(cr, 16), _mm_slli_epi32(cg, 8)), cb);
        // Diffuse term: bytes b, g, r of normal and light hold a direction as
        // 128 + 128 x component; each is halved and centred to -64..63, the
        // three products summed with signed 16-bit saturation, the sum divided
        // by 32 and clamped to 0..255. Each product lies within +-4096 and the
        // sum within +-12288, so neither saturating add can reach the limits
        // and the low 16 bits of plain 32-bit sums carry it exactly.
        __m128i sum = _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(centred4<0>(normal), centred4<0>(light)),
                                                  _mm_mullo_epi16(centred4<8>(normal), centred4<8>(light))),
                                    _mm_mullo_epi16(centred4<16>(normal), centred4<16>(light)));
        __m128i i32 = _mm_srai_epi32(_mm_slli_epi32(sum, 16), 21);
        __m128i i16 = _mm_packs_epi32(i32, i32);
        i16 = _mm_min_epi16(_mm_max_epi16(i16, zero), _mm_set1_epi16(255));
        // base x I per byte on 16-bit lanes (each pixel's intensity across
        // its four byte lanes: pixels 0, 1 and 2, 3); the product fits.
        __m128i pairs = _mm_unpacklo_epi16(i16, i16);
        __m128i x_lo = _mm_mullo_epi16(_mm_unpacklo_epi8(base, zero), _mm_unpacklo_epi32(pairs, pairs));
        __m128i x_hi = _mm_mullo_epi16(_mm_unpackhi_epi8(base, zero), _mm_unpackhi_epi32(pairs, pairs));
        if constexpr (T::specular) {
            // base x I + S x E, S = specular_ramp[I]: each product keeps its
            // low 16 bits read as signed and the sum saturates to
            // -32768..32767. Below ramp_below + 1 every byte of S is 0 and the
            // saturating add leaves base x I as it is, so the lookups are made
            // only when a drawn lane is at or above it (then for all four).
            __m128i level = _mm_unpacklo_epi16(i16, zero);
            int lit = _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpgt_epi32(level, s.ramp_below))) & drawn;
            if (lit) {
                __m128i o = texels4(s.offset, coordinate4(a[UV2], s.offset.width_mask),
                                    coordinate4(a[UV2 + 1], s.offset.height_mask));
                __m128i eu = _mm_and_si128(_mm_add_epi32(tu, byte4<16>(o)), env.width_mask);
                __m128i ev = _mm_and_si128(_mm_add_epi32(tv, byte4<8>(o)), env.height_mask);
                __m128i e = texels4(env, eu, ev);
                __m128i ramp = gather4(specular_ramp, level);
                x_lo = _mm_adds_epi16(
                    x_lo, _mm_mullo_epi16(_mm_unpacklo_epi8(ramp, zero), _mm_unpacklo_epi8(e, zero)));
                x_hi = _mm_adds_epi16(
                    x_hi, _mm_mullo_epi16(_mm_unpackhi_epi8(ramp, zero), _mm_unpackhi_epi8(e, zero)));
            }
        }
        // The lane's bit pattern shifted right by 8 is the channel.
        return _mm_packus_epi16(_mm_srli_epi16(x_lo, 8), _mm_srli_epi16(x_hi, 8));
    }
}

// Asks for the texture lines of four (tu, tv) (a hint only: nothing is
// read). Always inlined: a function holding only prefetches counts as one
// without effects, and its calls are dropped.
[[gnu::always_inline]] inline void prefetch_lanes(const TexelLanes& t, __m128i tu, __m128i tv)
{
    alignas(16) uint32_t i[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(i), _mm_add_epi32(_mm_sll_epi32(tv, t.width_log2), tu));
#pragma GCC unroll 4
    for (int k = 0; k < 4; k++)
        _mm_prefetch(reinterpret_cast<const char*>(t.pixels + i[k]), _MM_HINT_T0);
}

// The lines that the texture, bump and offset reads of the pixels `below`
// (the attributes' row steps times prefetch_rows) will touch.
template <uint32_t M>
[[gnu::always_inline]] inline void prefetch4(const Slots& s, const __m128i* a, const __m128i* below)
{
    using T = MultiTraits<M>;
    constexpr int UV = T::texture_index, UV2 = T::second_index;
    const TexelLanes& scale = T::textured ? s.texture : s.bump;
    __m128i tu = coordinate4(_mm_add_epi32(a[UV], below[0]), scale.width_mask);
    __m128i tv = coordinate4(_mm_add_epi32(a[UV + 1], below[1]), scale.height_mask);
    if constexpr (T::textured)
        prefetch_lanes(s.texture, tu, tv);
    if constexpr (T::reads_bump)
        prefetch_lanes(s.bump, _mm_and_si128(tu, s.bump.width_mask), _mm_and_si128(tv, s.bump.height_mask));
    if constexpr (T::specular)
        prefetch_lanes(s.offset, coordinate4(_mm_add_epi32(a[UV2], below[2]), s.offset.width_mask),
                       coordinate4(_mm_add_epi32(a[UV2 + 1], below[3]), s.offset.height_mask));
}

// The first `count` (1..3) depth words of a group that ends beyond its span;
// the lanes past it hold INT32_MIN, which no depth is below.
inline __m128i depth_lanes(const int32_t* z, int32_t count)
{
    return _mm_setr_epi32(z[0], count > 1 ? z[1] : INT32_MIN, count > 2 ? z[2] : INT32_MIN, INT32_MIN);
}

// The attribute lanes of a group that ends beyond its span, the lanes past
// it repeating the last pixel's values: their texel reads then fall on lines
// the group reads anyway instead of fetching lines no pixel needs.
template <int R> inline void repeat_last_lanes(__m128i* out, const __m128i* v, int32_t count)
{
    if (count == 1) {
        for (int k = 0; k < R; k++)
            out[k] = _mm_shuffle_epi32(v[k], _MM_SHUFFLE(0, 0, 0, 0));
    } else if (count == 2) {
        for (int k = 0; k < R; k++)
            out[k] = _mm_shuffle_epi32(v[k], _MM_SHUFFLE(1, 1, 1, 0));
    } else {
        for (int k = 0; k < R; k++)
            out[k] = _mm_shuffle_epi32(v[k], _MM_SHUFFLE(2, 2, 1, 0));
    }
}

template <uint32_t M> void fill_multi(RasterTriangle* triangles, int32_t count, const Texture* texture)
{
    using T = MultiTraits<M>;
    constexpr int N = T::count, R = T::read;
    // A mode whose texture or slot is missing draws nothing.
    if (!raster_target_ready(true))
        return;
    if (T::textured && !raster_texture_ready(texture))
        return;
    if (T::second && !raster_texture_ready(environment_texture))
        return;
    if (T::reads_bump && !raster_texture_ready(bump_texture))
        return;
    if (T::reads_offset && !raster_texture_ready(offset_texture))
        return;
    const Texture* const bump = bump_texture;
    const Texture* const environment = environment_texture;
    int32_t ramp_from = 0;
    if constexpr (T::specular) {
        while (ramp_from < 256 && specular_ramp[ramp_from] == 0)
            ramp_from++;
    }
    const Slots s{texel_lanes(texture), texel_lanes(environment), texel_lanes(bump),
                  texel_lanes(offset_texture), _mm_set1_epi32(ramp_from - 1)};
    for (int32_t i = 0; i < count; i++) {
        RasterTriangle* t = &triangles[i];
        if (setup_triangle(t))
            continue;
        Interpolant a[N];
        a[T::depth_index] = raster_depth_interpolant(t);
        raster_texture_interpolants(t, T::textured ? texture : bump, a + T::texture_index);
        if constexpr (T::second)
            raster_second_interpolants(t, environment, a + T::second_index);
        if constexpr (T::dot3)
            raster_colour_interpolants(t, a + T::colour_index);
        // Attribute i at pixel j of a group of four is the group's first
        // value + j x step, and each group starts 4 x step further on, all in
        // the wrapping 32-bit arithmetic of stepping pixel by pixel: the same bits.
        __m128i lane_offset[R], group_step[R];
#pragma GCC unroll 8
        for (int k = 0; k < R; k++) {
            const uint32_t dx = static_cast<uint32_t>(a[k].x_step);
            lane_offset[k] = _mm_setr_epi32(0, static_cast<int32_t>(dx), static_cast<int32_t>(2u * dx),
                                            static_cast<int32_t>(3u * dx));
            group_step[k] = _mm_set1_epi32(static_cast<int32_t>(4u * dx));
        }
        __m128i below[4];
        for (int k = 0; k < 4; k++)
            below[k] =
                _mm_set1_epi32(static_cast<int32_t>(static_cast<uint32_t>(T::prefetch_rows) *
                                                    static_cast<uint32_t>(a[T::texture_index + k].y_step)));
        raster_walk<true, N>(t, a, [&](uint32_t* p, int32_t* z, int32_t n, const uint32_t* v0) {
            __m128i v[R];
#pragma GCC unroll 8
            for (int k = 0; k < R; k++)
                v[k] = _mm_add_epi32(_mm_set1_epi32(static_cast<int32_t>(v0[k])), lane_offset[k]);
            for (int32_t k = 0; k < n; k += 4) {
                // Four depth tests at once; groups where all four fail (most
                // of them under heavy overdraw) cost one compare. A group
                // past the span's end reads and writes only its own pixels.
                const int32_t left = n - k;
                const __m128i d = _mm_srai_epi32(v[T::depth_index], 11);
                const __m128i stored = left >= 4 ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(z + k))
                                                 : depth_lanes(z + k, left);
                const __m128i pass = _mm_cmplt_epi32(d, stored);
                int mask = _mm_movemask_ps(_mm_castsi128_ps(pass));
                if (mask) {
                    if constexpr (T::prefetch_rows > 0)
                        prefetch4<M>(s, v, below);
                    __m128i c;
                    if (T::scattered && left < 4) {
                        __m128i last[R];
                        repeat_last_lanes<R>(last, v, left);
                        c = shade4<M>(s, last, mask);
                    } else {
                        c = shade4<M>(s, v, mask);
                    }
                    if (left >= 4) {
                        // The failing lanes written back unchanged.
                        __m128i* q = reinterpret_cast<__m128i*>(p + k);
                        _mm_storeu_si128(
                            reinterpret_cast<__m128i*>(z + k),
                            _mm_or_si128(_mm_and_si128(pass, d), _mm_andnot_si128(pass, stored)));
                        _mm_storeu_si128(q, _mm_or_si128(_mm_and_si128(pass, c),
                                                         _mm_andnot_si128(pass, _mm_loadu_si128(q))));
                    } else {
                        alignas(16) int32_t dl[4];
                        alignas(16) uint32_t cl[4];
                        _mm_store_si128(reinterpret_cast<__m128i*>(dl), d);
                        _mm_store_si128(reinterpret_cast<__m128i*>(cl), c);
                        do {
                            int j = __builtin_ctz(static_cast<unsigned>(mask));
                            mask &= mask - 1;
                            z[k + j] = dl[j];
                            p[k + j] = cl[j];
                        } while (mask);
                    }
                }
#pragma GCC unroll 8
                for (int j = 0; j < R; j++)
                    v[j] = _mm_add_epi32(v[j], group_step[j]);
            }
        });
    }
}

} // namespace

#define FILL_DEFINE(mode, flags, name, family) FILL_DEFINE_##family(mode)
#define FILL_DEFINE_MULTI(mode)                                                                              \
    template <> void fill_triangles<mode>(RasterTriangle * triangles, int32_t count, const Texture* texture) \
    {                                                                                                        \
        fill_multi<mode>(triangles, count, texture);                                                         \
    }
#define FILL_DEFINE_COLOUR(mode)
#define FILL_DEFINE_TEXTURE(mode)
FILL_MODE_LIST(FILL_DEFINE)
