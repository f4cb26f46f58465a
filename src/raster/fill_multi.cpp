// The multi-texture fillers: environment map added at the second coordinate
// set (1044), environment shifted by a bump texel (3088, 3092), normal-map
// diffuse lighting (4116) and diffuse plus a specular-scaled offset
// environment (5140). One template over the mode's flag bits; set-up and walk
// are raster_internal.h's, the lane rules are written out per pixel below.
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
};

// A texture's pixel pointer and masks held by value, so that the stores to
// the frame and depth buffer do not force them to be read again per pixel.
struct TexelView {
    const uint32_t* pixels;
    int32_t width_mask;
    int32_t height_mask;
    int32_t width_log2;
};

inline TexelView texel_view(const Texture* t)
{
    return t ? TexelView{t->pixels, t->width_mask, t->height_mask, t->width_log2}
             : TexelView{nullptr, 0, 0, 0};
}
inline uint32_t texel_at(const TexelView& t, int32_t tu, int32_t tv)
{
    return t.pixels[(static_cast<uint32_t>(tv) << t.width_log2) + static_cast<uint32_t>(tu)];
}
inline uint32_t texel_affine(const TexelView& t, uint32_t u, uint32_t v)
{
    return texel_at(t, texel_coordinate(u, t.width_mask), texel_coordinate(v, t.height_mask));
}

struct Slots {
    TexelView texture;
    TexelView environment;
    TexelView bump;
    TexelView offset;
    uint32_t ramp_from; // first intensity whose specular_ramp entry is not 0 (5140)
};

inline int32_t red_of(uint32_t p)
{
    return static_cast<int32_t>((p >> 16) & 0xFFu);
}
inline int32_t green_of(uint32_t p)
{
    return static_cast<int32_t>((p >> 8) & 0xFFu);
}

// The bump texel at the triangle texture's (tu, tv), wrapped by the bump
// texture's own masks so that a smaller bump map is never read outside.
inline uint32_t bump_texel(const TexelView& bump, int32_t tu, int32_t tv)
{
    return texel_at(bump, tu & bump.width_mask, tv & bump.height_mask);
}

// Diffuse term of a normal texel against a light vector, both bytes b, g, r
// holding a direction as 128 + 128 x component: each byte is halved and
// centred to -64..63, the three products summed with signed 16-bit
// saturation, the sum divided by 32 and clamped to 0..255. Each product lies
// within +-4096, so neither saturating add can reach the limits and plain
// sums give the same bits: one multiply-add on 16-bit lanes (the light's
// alpha lane cleared first) forms them. Returns the intensity in the low four
// lanes.
inline __m128i diffuse_lanes(uint32_t normal, uint32_t light)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i bias = _mm_set1_epi16(64);
    __m128i n = _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(normal)), zero);
    __m128i l = _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(light)), zero);
    n = _mm_sub_epi16(_mm_srli_epi16(n, 1), bias);
    l = _mm_and_si128(_mm_sub_epi16(_mm_srli_epi16(l, 1), bias), _mm_set_epi16(0, 0, 0, 0, 0, -1, -1, -1));
    __m128i p = _mm_madd_epi16(n, l);
    __m128i sum = _mm_srai_epi32(_mm_add_epi32(p, _mm_srli_si128(p, 4)), 5);
    __m128i i = _mm_packs_epi32(sum, sum);
    i = _mm_min_epi16(_mm_max_epi16(i, zero), _mm_set1_epi16(255));
    return _mm_shufflelo_epi16(i, 0);
}

// The light vector of the DOT3 modes: the colour values packed without
// clamping (alpha left out), so out-of-range channels spill into their neighbours.
inline uint32_t light_vector(uint32_t blue, uint32_t green, uint32_t red)
{
    auto c = [](uint32_t x) { return static_cast<uint32_t>(static_cast<int32_t>(x) >> 11); };
    return c(red) << 16 | c(green) << 8 | c(blue);
}

// The four bytes of a pixel widened to 16-bit lanes.
inline __m128i widen(uint32_t p)
{
    return _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(p)), _mm_setzero_si128());
}
inline uint32_t narrow(__m128i lanes)
{
    return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(lanes, lanes)));
}

// base x I + S x E per byte on signed 16-bit lanes: each product keeps its low
// 16 bits read as signed, the sum saturates to -32768..32767, and the lane's
// bit pattern shifted right by 8 is the channel.
inline uint32_t lit_specular(uint32_t base, __m128i intensity, uint32_t ramp, uint32_t env)
{
    __m128i x = _mm_mullo_epi16(widen(base), intensity);
    __m128i y = _mm_mullo_epi16(widen(ramp), widen(env));
    return narrow(_mm_srli_epi16(_mm_adds_epi16(x, y), 8));
}

// (base x I) >> 8 on all four lanes; the product fits 16 bits.
inline uint32_t lit_diffuse(uint32_t base, __m128i intensity)
{
    __m128i x = _mm_mullo_epi16(widen(base), intensity);
    return narrow(_mm_srli_epi16(x, 8));
}

// The attribute values at pixel k of a span, formed only when asked for:
// start + k x step in wrapping 32-bit arithmetic, the same bits as stepping.
struct SpanPoint {
    const uint32_t* start;
    const uint32_t* step;
    uint32_t k;
    uint32_t operator[](int i) const { return start[i] + step[i] * k; }
};

// Colour of a covered pixel that passed the depth test.
template <uint32_t M> [[gnu::always_inline]] inline uint32_t shade_multi(const Slots& s, const SpanPoint& v)
{
    using T = MultiTraits<M>;
    constexpr int UV = T::texture_index, UV2 = T::second_index, C = T::colour_index;
    const TexelView& env = s.environment;
    if constexpr (M == (FILL_SECOND_TEXTURE | FILL_DEPTH | FILL_TEXTURE)) { // 1044
        return lanes_add_saturate(texel_affine(s.texture, v[UV], v[UV + 1]),
                                  texel_affine(env, v[UV2], v[UV2 + 1]));
    } else if constexpr (T::offset_env) { // 3088, 3092
        uint32_t b;
        uint32_t base = 0;
        if constexpr (T::textured) {
            int32_t tu = texel_coordinate(v[UV], s.texture.width_mask);
            int32_t tv = texel_coordinate(v[UV + 1], s.texture.height_mask);
            base = texel_at(s.texture, tu, tv);
            b = bump_texel(s.bump, tu, tv);
        } else {
            b = texel_affine(s.bump, v[UV], v[UV + 1]);
        }
        int32_t eu = ((static_cast<int32_t>(v[UV2]) >> 11) + red_of(b)) & env.width_mask;
        int32_t ev = ((static_cast<int32_t>(v[UV2 + 1]) >> 11) + green_of(b)) & env.height_mask;
        uint32_t e = texel_at(env, eu, ev);
        if constexpr (T::textured)
            return lanes_add_saturate(base, e);
        else
            return e;
    } else { // 4116, 5140
        int32_t tu = texel_coordinate(v[UV], s.texture.width_mask);
        int32_t tv = texel_coordinate(v[UV + 1], s.texture.height_mask);
        uint32_t base = texel_at(s.texture, tu, tv);
        uint32_t normal = bump_texel(s.bump, tu, tv) & 0xFFFFFFu;
        uint32_t light = light_vector(v[C], v[C + 1], v[C + 2]);
        __m128i intensity = diffuse_lanes(normal, light);
        if constexpr (T::specular) {
            // Below ramp_from the specular term is 0 x E in every lane: the
            // saturating add leaves the diffuse products as they are.
            uint32_t level = static_cast<uint32_t>(_mm_cvtsi128_si32(intensity)) & 0xFFu;
            if (level < s.ramp_from)
                return lit_diffuse(base, intensity);
            uint32_t o = texel_affine(s.offset, v[UV2], v[UV2 + 1]) & 0xFFFF00u;
            int32_t eu = (tu + red_of(o)) & env.width_mask;
            int32_t ev = (tv + green_of(o)) & env.height_mask;
            uint32_t ramp = specular_ramp[level];
            return lit_specular(base, intensity, ramp, texel_at(env, eu, ev));
        } else {
            return lit_diffuse(base, intensity);
        }
    }
}

// ---- Four pixels at once for the diffuse DOT3 mode (4116) ------------------
// The same lane rules as shade_multi on four neighbouring pixels; texels are
// read one by one from indices formed in vector lanes. (5140 gained nothing
// from this: it stays one pixel at a time.)
inline __m128i lanes_at(uint32_t start, uint32_t step, uint32_t k)
{
    uint32_t v = start + step * k;
    return _mm_setr_epi32(static_cast<int32_t>(v), static_cast<int32_t>(v + step),
                          static_cast<int32_t>(v + 2u * step), static_cast<int32_t>(v + 3u * step));
}

inline __m128i gather4(const TexelView& t, __m128i tu, __m128i tv)
{
    __m128i index = _mm_add_epi32(_mm_sll_epi32(tv, _mm_cvtsi32_si128(t.width_log2)), tu);
    alignas(16) uint32_t i[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(i), index);
    const uint32_t* px = t.pixels;
    return _mm_setr_epi32(static_cast<int32_t>(px[i[0]]), static_cast<int32_t>(px[i[1]]),
                          static_cast<int32_t>(px[i[2]]), static_cast<int32_t>(px[i[3]]));
}

// Byte lane of four words halved and centred to -64..63 (see diffuse_lanes).
template <int SHIFT> inline __m128i centred4(__m128i w)
{
    return _mm_sub_epi32(_mm_and_si128(_mm_srli_epi32(w, SHIFT + 1), _mm_set1_epi32(0x7F)),
                         _mm_set1_epi32(64));
}

template <uint32_t M>
inline __m128i shade4_diffuse(const Slots& s, const uint32_t* v0, const uint32_t* vx, uint32_t k)
{
    using T = MultiTraits<M>;
    constexpr int UV = T::texture_index, C = T::colour_index;
    const __m128i zero = _mm_setzero_si128();
    __m128i tu =
        _mm_and_si128(_mm_srai_epi32(lanes_at(v0[UV], vx[UV], k), 11), _mm_set1_epi32(s.texture.width_mask));
    __m128i tv = _mm_and_si128(_mm_srai_epi32(lanes_at(v0[UV + 1], vx[UV + 1], k), 11),
                               _mm_set1_epi32(s.texture.height_mask));
    __m128i base = gather4(s.texture, tu, tv);
    __m128i normal = gather4(s.bump, _mm_and_si128(tu, _mm_set1_epi32(s.bump.width_mask)),
                             _mm_and_si128(tv, _mm_set1_epi32(s.bump.height_mask)));
    // The light vector packed without clamping, as light_vector.
    __m128i cb = _mm_srai_epi32(lanes_at(v0[C], vx[C], k), 11);
    __m128i cg = _mm_srai_epi32(lanes_at(v0[C + 1], vx[C + 1], k), 11);
    __m128i cr = _mm_srai_epi32(lanes_at(v0[C + 2], vx[C + 2], k), 11);
    __m128i light = _mm_or_si128(_mm_or_si128(_mm_slli_epi32(cr, 16), _mm_slli_epi32(cg, 8)), cb);
    // Each product lies within +-4096 and the sum within +-12288, so the low
    // 16 bits of each lane carry it exactly; sign-extend, then divide by 32.
    __m128i sum = _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(centred4<0>(normal), centred4<0>(light)),
                                              _mm_mullo_epi16(centred4<8>(normal), centred4<8>(light))),
                                _mm_mullo_epi16(centred4<16>(normal), centred4<16>(light)));
    __m128i i32 = _mm_srai_epi32(_mm_slli_epi32(sum, 16), 21);
    __m128i i16 = _mm_packs_epi32(i32, i32);
    i16 = _mm_min_epi16(_mm_max_epi16(i16, zero), _mm_set1_epi16(255));
    // Each pixel's intensity across its four byte lanes: pixels 0, 1 and 2, 3.
    __m128i pairs = _mm_unpacklo_epi16(i16, i16);
    __m128i i_lo = _mm_unpacklo_epi32(pairs, pairs), i_hi = _mm_unpackhi_epi32(pairs, pairs);
    __m128i x_lo = _mm_mullo_epi16(_mm_unpacklo_epi8(base, zero), i_lo);
    __m128i x_hi = _mm_mullo_epi16(_mm_unpackhi_epi8(base, zero), i_hi);
    return _mm_packus_epi16(_mm_srli_epi16(x_lo, 8), _mm_srli_epi16(x_hi, 8));
}

template <uint32_t M> void fill_multi(RasterTriangle* triangles, int32_t count, const Texture* texture)
{
    using T = MultiTraits<M>;
    constexpr int N = T::count;
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
    uint32_t ramp_from = 0;
    if constexpr (T::specular) {
        while (ramp_from < 256 && specular_ramp[ramp_from] == 0)
            ramp_from++;
    }
    const Slots s{texel_view(texture), texel_view(environment), texel_view(bump), texel_view(offset_texture),
                  ramp_from};
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
        // Only the depth value is stepped across the span; the other
        // attributes are formed at the pixels that pass, as start + k x step
        // in the same wrapping 32-bit arithmetic as stepping would give.
        uint32_t vx[N];
        for (int k = 0; k < N; k++)
            vx[k] = static_cast<uint32_t>(a[k].x_step);
        raster_walk<true, N>(t, a, [&](uint32_t* p, int32_t* z, int32_t n, const uint32_t* v0) {
            const uint32_t dx = vx[T::depth_index];
            uint32_t depth = v0[T::depth_index];
            auto pixel = [&](int32_t k, uint32_t value) [[gnu::always_inline]] {
                int32_t d = static_cast<int32_t>(value) >> 11;
                if (!(d < z[k]))
                    return;
                z[k] = d;
                p[k] = shade_multi<M>(s, SpanPoint{v0, vx, static_cast<uint32_t>(k)});
            };
            // Four depth tests at once; groups where all four fail (most of
            // them under heavy overdraw) cost one compare.
            const __m128i step4 = _mm_set1_epi32(static_cast<int32_t>(dx * 4u));
            __m128i depth4 =
                _mm_set_epi32(static_cast<int32_t>(depth + 3u * dx), static_cast<int32_t>(depth + 2u * dx),
                              static_cast<int32_t>(depth + dx), static_cast<int32_t>(depth));
            int32_t k = 0;
            for (; k + 4 <= n; k += 4) {
                __m128i d = _mm_srai_epi32(depth4, 11);
                __m128i stored = _mm_loadu_si128(reinterpret_cast<const __m128i*>(z + k));
                int mask = _mm_movemask_ps(_mm_castsi128_ps(_mm_cmplt_epi32(d, stored)));
                if (mask) {
                    // The four results are exact: store the passing depths
                    // and shade only those pixels.
                    const __m128i pass = _mm_cmplt_epi32(d, stored);
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(z + k),
                                     _mm_or_si128(_mm_and_si128(pass, d), _mm_andnot_si128(pass, stored)));
                    if constexpr (T::dot3 && !T::specular) {
                        // All four shaded (cheaper than one by one even when
                        // one passes), the failing ones written back unchanged.
                        __m128i c = shade4_diffuse<M>(s, v0, vx, static_cast<uint32_t>(k));
                        __m128i* q = reinterpret_cast<__m128i*>(p + k);
                        _mm_storeu_si128(q, _mm_or_si128(_mm_and_si128(pass, c),
                                                         _mm_andnot_si128(pass, _mm_loadu_si128(q))));
                        depth4 = _mm_add_epi32(depth4, step4);
                        continue;
                    }
                    do {
                        int j = __builtin_ctz(static_cast<unsigned>(mask));
                        mask &= mask - 1;
                        p[k + j] = shade_multi<M>(s, SpanPoint{v0, vx, static_cast<uint32_t>(k + j)});
                    } while (mask);
                }
                depth4 = _mm_add_epi32(depth4, step4);
            }
            for (uint32_t value = depth + dx * static_cast<uint32_t>(k); k < n; k++, value += dx)
                pixel(k, value);
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
