// The multi-texture fillers: environment map added at the second coordinate
// set (1044), environment shifted by a bump texel (3088, 3092), normal-map
// diffuse lighting (4116) and diffuse plus a specular-scaled offset
// environment (5140). One template over the mode's flag bits; set-up and walk
// are raster_internal.h's, the lane rules are written out per pixel below.
#include "raster/raster_internal.h"

namespace {

// Attribute layout and the slots mode M reads.
template <uint32_t M>
struct MultiTraits {
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

struct Slots {
    const Texture* texture;
    const Texture* environment;
    const Texture* bump;
    const Texture* offset;
};

inline int32_t red_of(uint32_t p) { return static_cast<int32_t>((p >> 16) & 0xFFu); }
inline int32_t green_of(uint32_t p) { return static_cast<int32_t>((p >> 8) & 0xFFu); }

inline int32_t saturate16(int32_t x) { return x < -32768 ? -32768 : x > 32767 ? 32767 : x; }

// The bump texel at the triangle texture's (tu, tv), wrapped by the bump
// texture's own masks so that a smaller bump map is never read outside.
inline uint32_t bump_texel(const Texture* bump, int32_t tu, int32_t tv)
{
    return texel_at(bump, tu & bump->width_mask, tv & bump->height_mask);
}

// Diffuse term of a normal texel against a light vector, both bytes b, g, r
// holding a direction as 128 + 128 x component: each byte is halved and
// centred to -64..63, the three products summed with signed 16-bit
// saturation, the sum divided by 32 and clamped to 0..255.
inline uint32_t diffuse(uint32_t normal, uint32_t light)
{
    int32_t p[3];
    for (int c = 0; c < 3; c++) {
        int32_t n = static_cast<int32_t>(((normal >> (8 * c)) & 0xFFu) >> 1) - 64;
        int32_t l = static_cast<int32_t>(((light >> (8 * c)) & 0xFFu) >> 1) - 64;
        p[c] = n * l;
    }
    int32_t s = saturate16(saturate16(p[0] + p[1]) + p[2]);
    int32_t i = s >> 5;
    return i < 0 ? 0u : i > 255 ? 255u : static_cast<uint32_t>(i);
}

// The light vector of the DOT3 modes: the colour values packed without
// clamping (alpha left out), so out-of-range channels spill into their neighbours.
inline uint32_t light_vector(const uint32_t* colour)
{
    auto c = [](uint32_t x) { return static_cast<uint32_t>(static_cast<int32_t>(x) >> 11); };
    return c(colour[2]) << 16 | c(colour[1]) << 8 | c(colour[0]);
}

// base x I + S x E per byte on signed 16-bit lanes: each product keeps its low
// 16 bits read as signed, the sum saturates to -32768..32767, and the lane's
// bit pattern shifted right by 8 is the channel.
inline uint32_t lit_specular(uint32_t base, uint32_t intensity, uint32_t ramp, uint32_t env)
{
    uint32_t out = 0;
    for (int s = 0; s < 32; s += 8) {
        int32_t x = static_cast<int16_t>(static_cast<uint16_t>(((base >> s) & 0xFFu) * intensity));
        int32_t y = static_cast<int16_t>(static_cast<uint16_t>(((ramp >> s) & 0xFFu) * ((env >> s) & 0xFFu)));
        uint32_t lane = static_cast<uint16_t>(saturate16(x + y));
        out |= (lane >> 8) << s;
    }
    return out;
}

// Colour of a covered pixel that passed the depth test.
template <uint32_t M>
inline uint32_t shade_multi(const Slots& s, const uint32_t* v)
{
    using T = MultiTraits<M>;
    const uint32_t* uv = v + T::texture_index;
    const Texture* env = s.environment;
    if constexpr (M == (FILL_SECOND_TEXTURE | FILL_DEPTH | FILL_TEXTURE)) { // 1044
        const uint32_t* uv2 = v + T::second_index;
        return lanes_add_saturate(texel_affine(s.texture, uv[0], uv[1]), texel_affine(env, uv2[0], uv2[1]));
    } else if constexpr (T::offset_env) { // 3088, 3092
        const uint32_t* uv2 = v + T::second_index;
        uint32_t b;
        uint32_t base = 0;
        if constexpr (T::textured) {
            int32_t tu = texel_coordinate(uv[0], s.texture->width_mask);
            int32_t tv = texel_coordinate(uv[1], s.texture->height_mask);
            base = texel_at(s.texture, tu, tv);
            b = bump_texel(s.bump, tu, tv);
        } else {
            b = texel_affine(s.bump, uv[0], uv[1]);
        }
        int32_t eu = ((static_cast<int32_t>(uv2[0]) >> 11) + red_of(b)) & env->width_mask;
        int32_t ev = ((static_cast<int32_t>(uv2[1]) >> 11) + green_of(b)) & env->height_mask;
        uint32_t e = texel_at(env, eu, ev);
        if constexpr (T::textured)
            return lanes_add_saturate(base, e);
        else
            return e;
    } else { // 4116, 5140
        int32_t tu = texel_coordinate(uv[0], s.texture->width_mask);
        int32_t tv = texel_coordinate(uv[1], s.texture->height_mask);
        uint32_t base = texel_at(s.texture, tu, tv);
        uint32_t normal = bump_texel(s.bump, tu, tv) & 0xFFFFFFu;
        uint32_t intensity = diffuse(normal, light_vector(v + T::colour_index));
        if constexpr (T::specular) {
            const uint32_t* uv2 = v + T::second_index;
            uint32_t o = texel_affine(s.offset, uv2[0], uv2[1]) & 0xFFFF00u;
            int32_t eu = (tu + red_of(o)) & env->width_mask;
            int32_t ev = (tv + green_of(o)) & env->height_mask;
            return lit_specular(base, intensity, specular_ramp[intensity], texel_at(env, eu, ev));
        } else {
            // (base x I) >> 8 on all four lanes; the product fits 16 bits.
            uint32_t out = 0;
            for (int sh = 0; sh < 32; sh += 8)
                out |= ((((base >> sh) & 0xFFu) * intensity) >> 8) << sh;
            return out;
        }
    }
}

template <uint32_t M>
void fill_multi(RasterTriangle* triangles, int32_t count, const Texture* texture)
{
    using T = MultiTraits<M>;
    constexpr int N = T::count;
    Slots s{texture, environment_texture, bump_texture, offset_texture};
    // A mode whose texture or slot is missing draws nothing.
    if (!raster_target_ready(true))
        return;
    if (T::textured && !raster_texture_ready(s.texture))
        return;
    if (T::second && !raster_texture_ready(s.environment))
        return;
    if (T::reads_bump && !raster_texture_ready(s.bump))
        return;
    if (T::reads_offset && !raster_texture_ready(s.offset))
        return;
    for (int32_t i = 0; i < count; i++) {
        RasterTriangle* t = &triangles[i];
        if (setup_triangle(t))
            continue;
        Interpolant a[N];
        a[T::depth_index] = raster_depth_interpolant(t);
        raster_texture_interpolants(t, T::textured ? s.texture : s.bump, a + T::texture_index);
        if constexpr (T::second)
            raster_second_interpolants(t, s.environment, a + T::second_index);
        if constexpr (T::dot3)
            raster_colour_interpolants(t, a + T::colour_index);
        raster_walk_pixels<true, N>(t, a, [&](uint32_t& p, int32_t* z, const uint32_t* v) {
            int32_t d = static_cast<int32_t>(v[T::depth_index]) >> 11;
            if (!(d < *z))
                return;
            *z = d;
            p = shade_multi<M>(s, v);
        });
    }
}

} // namespace

#define FILL_DEFINE(mode, flags, name, family) FILL_DEFINE_##family(mode)
#define FILL_DEFINE_MULTI(mode)                                                                   \
    template <>                                                                                   \
    void fill_triangles<mode>(RasterTriangle * triangles, int32_t count, const Texture * texture) \
    {                                                                                             \
        fill_multi<mode>(triangles, count, texture);                                              \
    }
#define FILL_DEFINE_COLOUR(mode)
#define FILL_DEFINE_TEXTURE(mode)
FILL_MODE_LIST(FILL_DEFINE)
