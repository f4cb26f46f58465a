// The multi-texture fillers (1044, 3088, 3092, 4116, 5140) against a plain
// per-pixel reference written here from the lane rules, on random textures,
// triangles and light vectors; plus the documented special cases.
#include "core/frame.h"
#include "image/texture.h"
#include "raster/raster.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace
{

using TexturePtr = std::unique_ptr<Texture, decltype(&texture_free)>;

struct Rng {
    uint32_t s;
    uint32_t next() { return s = s * 1664525u + 1013904223u; }
    float unit() { return static_cast<float>(next() >> 8) / 16777216.0f; } // [0, 1)
};

TexturePtr make_texture(int32_t w, int32_t h, Rng* rng, uint32_t fill = 0, bool random = true)
{
    TexturePtr t(texture_create(w, h), texture_free);
    for (int32_t i = 0; i < w * h; ++i)
        t->pixels[i] = random ? rng->next() : fill;
    return t;
}

// A private 640 x 480 frame and depth buffer, installed as the drawing target
// for the lifetime of the object.
struct Frame {
    std::vector<uint32_t> pixels;
    FrameSurface surface;
    DepthBuffer* depth;
    FrameSurface* old_screen;
    DepthBuffer* old_depth;
    Frame() : pixels(SCREEN_WIDTH * SCREEN_HEIGHT, 0xFF000000u)
    {
        surface = FrameSurface{SCREEN_WIDTH, SCREEN_HEIGHT, SCREEN_WIDTH * 4, pixels.data()};
        depth = depth_buffer_create(SCREEN_WIDTH, SCREEN_HEIGHT);
        old_screen = screen;
        old_depth = depth_buffer;
        screen = &surface;
        depth_buffer = depth;
    }
    ~Frame()
    {
        screen = old_screen;
        depth_buffer = old_depth;
        depth_buffer_free(depth);
    }
    uint32_t at(int x, int y) const { return pixels[y * SCREEN_WIDTH + x]; }
};

struct Slots {
    const Texture* texture;
    const Texture* environment;
    const Texture* bump;
    const Texture* offset;
    void install() const
    {
        set_environment_texture(environment);
        set_bump_texture(bump);
        set_offset_texture(offset);
    }
};

// ---- The reference: each pixel of the box evaluated on its own -------------

uint32_t texel(const Texture* t, int32_t col, int32_t row)
{
    return t->pixels[(row << t->width_log2) + col];
}

int32_t byte_of(uint32_t p, int lane)
{
    return static_cast<int32_t>((p >> (8 * lane)) & 0xFFu);
}

uint32_t add_sat(uint32_t a, uint32_t b)
{
    uint32_t out = 0;
    for (int lane = 0; lane < 4; ++lane) {
        int32_t s = byte_of(a, lane) + byte_of(b, lane);
        out |= static_cast<uint32_t>(s > 255 ? 255 : s) << (8 * lane);
    }
    return out;
}

int16_t sat16(int32_t x)
{
    return static_cast<int16_t>(x < -32768 ? -32768 : x > 32767 ? 32767 : x);
}

int32_t diffuse(uint32_t n, uint32_t l)
{
    int16_t p[3];
    for (int lane = 0; lane < 3; ++lane)
        p[lane] = static_cast<int16_t>(((byte_of(n, lane) >> 1) - 64) * ((byte_of(l, lane) >> 1) - 64));
    int16_t s = sat16(sat16(p[0] + p[1]) + p[2]);
    int32_t i = s >> 5;
    return i < 0 ? 0 : i > 255 ? 255 : i;
}

struct Values {
    int32_t depth, u, v, u2, v2, b, g, r;
};

// Attribute value at pixel (x, y), wrapping like the 32-bit stepped walk.
int32_t value_at(const Interpolant& a, const RasterTriangle& t, int32_t x, int32_t y)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a.start) +
                                static_cast<uint32_t>(a.x_step) * static_cast<uint32_t>(x - t.min_x) +
                                static_cast<uint32_t>(a.y_step) * static_cast<uint32_t>(y - t.min_y));
}

// What mode `mode` makes of one covered pixel that passed the depth test.
uint32_t reference_shade(FillMode mode, const Slots& s, const Values& q)
{
    const Texture* tex = s.texture;
    const Texture* env = s.environment;
    const Texture* bump = s.bump;
    int32_t U = q.u >> 11, V = q.v >> 11, U2 = q.u2 >> 11, V2 = q.v2 >> 11;
    switch (mode) {
    case 1044: {
        uint32_t e = texel(env, U2 & env->width_mask, V2 & env->height_mask);
        return add_sat(texel(tex, U & tex->width_mask, V & tex->height_mask), e);
    }
    case 3088: {
        uint32_t b = texel(bump, U & bump->width_mask, V & bump->height_mask);
        return texel(env, (U2 + byte_of(b, 2)) & env->width_mask, (V2 + byte_of(b, 1)) & env->height_mask);
    }
    case 3092: {
        int32_t tu = U & tex->width_mask, tv = V & tex->height_mask;
        uint32_t b = texel(bump, tu & bump->width_mask, tv & bump->height_mask);
        uint32_t e =
            texel(env, (U2 + byte_of(b, 2)) & env->width_mask, (V2 + byte_of(b, 1)) & env->height_mask);
        return add_sat(texel(tex, tu, tv), e);
    }
    default:
        break;
    }
    // 4116 and 5140.
    int32_t tu = U & tex->width_mask, tv = V & tex->height_mask;
    uint32_t base = texel(tex, tu, tv);
    uint32_t n = texel(bump, tu & bump->width_mask, tv & bump->height_mask) & 0xFFFFFFu;
    uint32_t l = static_cast<uint32_t>(q.r >> 11) << 16 | static_cast<uint32_t>(q.g >> 11) << 8 |
                 static_cast<uint32_t>(q.b >> 11);
    int32_t i = diffuse(n, l);
    uint32_t out = 0;
    if (mode == 4116) {
        for (int lane = 0; lane < 4; ++lane)
            out |= static_cast<uint32_t>((byte_of(base, lane) * i) >> 8) << (8 * lane);
        return out;
    }
    const Texture* off = s.offset;
    uint32_t o = texel(off, U2 & off->width_mask, V2 & off->height_mask) & 0xFFFF00u;
    uint32_t e = texel(env, (tu + byte_of(o, 2)) & env->width_mask, (tv + byte_of(o, 1)) & env->height_mask);
    uint32_t sp = specular_ramp[i];
    for (int lane = 0; lane < 4; ++lane) {
        int16_t x = static_cast<int16_t>(static_cast<uint16_t>(byte_of(base, lane) * i));
        int16_t y = static_cast<int16_t>(static_cast<uint16_t>(byte_of(sp, lane) * byte_of(e, lane)));
        uint16_t t = static_cast<uint16_t>(sat16(x + y));
        out |= static_cast<uint32_t>(t >> 8) << (8 * lane);
    }
    return out;
}

void reference_draw(const RasterTriangle* triangles, int count, FillMode mode, const Slots& s)
{
    const bool textured = mode != 3088;
    const bool second = mode != 4116;
    const bool dot3 = mode == 4116 || mode == 5140;
    for (int k = 0; k < count; ++k) {
        RasterTriangle t = triangles[k];
        if (setup_triangle(&t))
            continue;
        const ScreenVertex* v = t.v;
        const Texture* scale = textured ? s.texture : s.bump;
        auto attr = [&](float a, float b, float c) { return setup_interpolant(&t, a, b, c); };
        Interpolant depth = attr(v[0].z * 16383.0f, v[1].z * 16383.0f, v[2].z * 16383.0f);
        float w = static_cast<float>(scale->width), h = static_cast<float>(scale->height);
        Interpolant iu = attr(v[0].u * w, v[1].u * w, v[2].u * w);
        Interpolant iv = attr(v[0].v * h, v[1].v * h, v[2].v * h);
        Interpolant iu2{}, iv2{}, ic[3]{};
        if (second) {
            float ew = static_cast<float>(s.environment->width),
                  eh = static_cast<float>(s.environment->height);
            iu2 = attr(v[0].u2 * ew, v[1].u2 * ew, v[2].u2 * ew);
            iv2 = attr(v[0].v2 * eh, v[1].v2 * eh, v[2].v2 * eh);
        }
        if (dot3) {
            for (int lane = 0; lane < 3; ++lane)
                ic[lane] = attr(static_cast<float>(byte_of(v[0].colour, lane)),
                                static_cast<float>(byte_of(v[1].colour, lane)),
                                static_cast<float>(byte_of(v[2].colour, lane)));
        }
        for (int32_t y = t.min_y; y <= t.max_y; ++y) {
            for (int32_t x = t.min_x; x <= t.max_x; ++x) {
                int32_t e[3];
                for (int i = 0; i < 3; ++i)
                    e[i] = static_cast<int32_t>(
                        static_cast<uint32_t>(t.edges[i].x_step) * static_cast<uint32_t>(x) +
                        static_cast<uint32_t>(t.edges[i].y_step) * static_cast<uint32_t>(y) +
                        static_cast<uint32_t>(t.edges[i].constant));
                if (e[0] < 0 || e[1] < 0 || e[2] < 0)
                    continue;
                Values q{value_at(depth, t, x, y), value_at(iu, t, x, y),   value_at(iv, t, x, y),
                         value_at(iu2, t, x, y),   value_at(iv2, t, x, y),  value_at(ic[0], t, x, y),
                         value_at(ic[1], t, x, y), value_at(ic[2], t, x, y)};
                int32_t d = q.depth >> 11;
                int32_t& stored = depth_buffer->values[y * SCREEN_WIDTH + x];
                if (!(d < stored))
                    continue;
                stored = d;
                screen->pixels[y * SCREEN_WIDTH + x] = reference_shade(mode, s, q);
            }
        }
    }
}

std::vector<RasterTriangle> random_triangles(Rng* rng, int count)
{
    std::vector<RasterTriangle> out(count);
    for (RasterTriangle& t : out) {
        std::memset(&t, 0, sizeof t);
        float cx = 20.0f + rng->unit() * 600.0f, cy = 20.0f + rng->unit() * 440.0f;
        for (ScreenVertex& v : t.v) {
            v.x = cx + (rng->unit() - 0.5f) * 160.0f;
            v.y = cy + (rng->unit() - 0.5f) * 160.0f;
            v.x = v.x < 0.0f ? 0.0f : v.x > 639.0f ? 639.0f : v.x;
            v.y = v.y < 0.0f ? 0.0f : v.y > 479.0f ? 479.0f : v.y;
            v.z = rng->unit() * 2.0f - 1.0f;
            v.rhw = 1.0f;
            v.colour = rng->next();
            v.u = rng->unit() * 4.0f - 2.0f;
            v.v = rng->unit() * 4.0f - 2.0f;
            v.u2 = rng->unit() * 4.0f - 2.0f;
            v.v2 = rng->unit() * 4.0f - 2.0f;
        }
        t.flags = rng->next() & 1u;
    }
    return out;
}

struct TextureSet {
    TexturePtr texture, environment, bump, offset;
    Slots slots() const { return Slots{texture.get(), environment.get(), bump.get(), offset.get()}; }
};

TextureSet random_textures(Rng* rng, int32_t bump_size)
{
    return TextureSet{make_texture(64, 64, rng), make_texture(128, 32, rng),
                      make_texture(bump_size, bump_size, rng), make_texture(16, 64, rng)};
}

// Small triangles around random centres within `spread` pixels, their
// corners clamped to `box`, each vertex of a triangle at one of `depths`
// depth levels (1: every triangle at one depth, so that later ones tie).
std::vector<RasterTriangle> small_triangles(Rng* rng, int count, float spread, const float box[4], int depths)
{
    std::vector<RasterTriangle> out = random_triangles(rng, count);
    for (RasterTriangle& t : out) {
        float cx = box[0] + rng->unit() * (box[2] - box[0]), cy = box[1] + rng->unit() * (box[3] - box[1]);
        float z = static_cast<float>(rng->next() % static_cast<uint32_t>(depths)) / 8.0f - 0.5f;
        for (ScreenVertex& v : t.v) {
            v.x = std::min(std::max(cx + (rng->unit() - 0.5f) * spread, box[0]), box[2]);
            v.y = std::min(std::max(cy + (rng->unit() - 0.5f) * spread, box[1]), box[3]);
            v.z = z;
        }
    }
    return out;
}

// Draws the same triangles with the filler and with the reference and
// compares both frames and depth buffers pixel for pixel.
void expect_matches_reference(FillMode mode, const Slots& s, const std::vector<RasterTriangle>& triangles,
                              int min_changed = 10000)
{
    std::vector<RasterTriangle> copy = triangles;
    Frame drawn;
    s.install();
    draw_triangles(copy.data(), static_cast<int32_t>(copy.size()), s.texture, mode);
    std::vector<uint32_t> drawn_pixels = drawn.pixels;
    std::vector<int32_t> drawn_depth(drawn.depth->values, drawn.depth->values + SCREEN_WIDTH * SCREEN_HEIGHT);
    Frame expected;
    reference_draw(triangles.data(), static_cast<int>(triangles.size()), mode, s);
    int changed = 0, mismatches = 0;
    for (int i = 0; i < SCREEN_WIDTH * SCREEN_HEIGHT; ++i) {
        changed += expected.pixels[i] != 0xFF000000u;
        if (drawn_pixels[i] != expected.pixels[i] || drawn_depth[i] != expected.depth->values[i]) {
            if (++mismatches <= 5)
                ADD_FAILURE() << "mode " << mode << " pixel (" << i % SCREEN_WIDTH << ", " << i / SCREEN_WIDTH
                              << "): " << std::hex << drawn_pixels[i] << " expected " << expected.pixels[i]
                              << std::dec << ", depth " << drawn_depth[i] << " expected "
                              << expected.depth->values[i];
        }
    }
    EXPECT_EQ(mismatches, 0) << "mode " << mode;
    EXPECT_GT(changed, min_changed) << "mode " << mode;
}

const FillMode MULTI_MODES[] = {1044, 3088, 3092, 4116, 5140};

class FillMulti : public ::testing::Test
{
  protected:
    void SetUp() override { specular_ramp_build(); }
    void TearDown() override { Slots{nullptr, nullptr, nullptr, nullptr}.install(); }
};

// One large clockwise triangle covering the box (100..300, 100..300) and more.
RasterTriangle big_triangle(uint32_t colour, float u2 = 0.0f, float v2 = 0.0f)
{
    RasterTriangle t;
    std::memset(&t, 0, sizeof t);
    t.v[0] = ScreenVertex{50, 50, 0.0f, 1, colour, 0, 0, u2, v2};
    t.v[1] = ScreenVertex{600, 50, 0.0f, 1, colour, 1, 0, u2, v2};
    t.v[2] = ScreenVertex{50, 450, 0.0f, 1, colour, 0, 1, u2, v2};
    return t;
}

} // namespace

TEST_F(FillMulti, EveryModeMatchesThePerPixelReference)
{
    Rng rng{2024};
    TextureSet set = random_textures(&rng, 64);
    std::vector<RasterTriangle> triangles = random_triangles(&rng, 300);
    for (FillMode mode : MULTI_MODES)
        expect_matches_reference(mode, set.slots(), triangles);
}

TEST_F(FillMulti, ShortSpansTiesAndTheLastRowMatchTheReference)
{
    // Pixels are shaded in groups of four: spans of one to three pixels, the
    // group that runs past a span's end, depth ties (a later triangle at the
    // same depth keeps the earlier pixel) and spans that end at the very
    // last pixel of the frame, where a group may read nothing beyond it.
    Rng rng{4242};
    TextureSet set = random_textures(&rng, 64);
    const float screen_box[4] = {0.0f, 0.0f, 639.0f, 479.0f};
    const float corner_box[4] = {560.0f, 400.0f, 700.0f, 520.0f};
    std::vector<RasterTriangle> tiny = small_triangles(&rng, 4000, 7.0f, screen_box, 3);
    std::vector<RasterTriangle> ties = small_triangles(&rng, 600, 60.0f, screen_box, 1);
    std::vector<RasterTriangle> corner = small_triangles(&rng, 300, 50.0f, corner_box, 4);
    for (FillMode mode : MULTI_MODES) {
        expect_matches_reference(mode, set.slots(), tiny, 5000);
        expect_matches_reference(mode, set.slots(), ties, 10000);
        expect_matches_reference(mode, set.slots(), corner, 2000);
    }
    // The corner set reaches the frame's last pixel.
    Frame f;
    set.slots().install();
    std::vector<RasterTriangle> copy = corner;
    draw_triangles(copy.data(), static_cast<int32_t>(copy.size()), set.texture.get(), 5140);
    EXPECT_NE(f.depth->values[SCREEN_WIDTH * SCREEN_HEIGHT - 1], DEPTH_CLEAR);
}

TEST_F(FillMulti, SmallerBumpMapWrapsWithItsOwnMasks)
{
    Rng rng{77};
    TextureSet set = random_textures(&rng, 16);
    std::vector<RasterTriangle> triangles = random_triangles(&rng, 150);
    for (FillMode mode : {3088u, 3092u, 4116u, 5140u})
        expect_matches_reference(mode, set.slots(), triangles);
}

TEST_F(FillMulti, BrightLightsFollowTheSignedLaneRule)
{
    // Normals and light vectors near +z in every lane push I to 255 and the
    // products past 32767, where the 16-bit lanes wrap and saturate.
    Rng rng{5};
    TextureSet set = random_textures(&rng, 64);
    for (int32_t i = 0; i < 64 * 64; ++i)
        set.bump->pixels[i] = 0xE0E0E0u | (rng.next() & 0x1F1F1Fu);
    std::vector<RasterTriangle> triangles = random_triangles(&rng, 150);
    for (RasterTriangle& t : triangles)
        for (ScreenVertex& v : t.v)
            v.colour = 0xE0E0E0u | (v.colour & 0x1F1F1Fu);
    expect_matches_reference(5140, set.slots(), triangles);
    expect_matches_reference(4116, set.slots(), triangles);
}

TEST_F(FillMulti, AnyRampContentFollowsTheReference)
{
    // The filler skips the specular lookups below the ramp's first non-zero
    // entry: a ramp non-zero from index 0, one zero up to the middle and one
    // zero throughout must all still match.
    Rng rng{31};
    TextureSet set = random_textures(&rng, 64);
    std::vector<RasterTriangle> triangles = random_triangles(&rng, 150);
    for (int from : {0, 128, 256}) {
        for (int i = 0; i < 256; ++i)
            specular_ramp[i] = i < from ? 0u : rng.next();
        expect_matches_reference(5140, set.slots(), triangles);
    }
    specular_ramp_build();
}

TEST_F(FillMulti, SpecularOverflowIsNotClampedTo255)
{
    Rng rng{1};
    TexturePtr base = make_texture(64, 64, &rng, 0x81818181u, false);
    TexturePtr normal = make_texture(64, 64, &rng, 0x00FFFFFFu, false);
    TexturePtr env = make_texture(64, 64, &rng, 0x81818181u, false);
    TexturePtr env_black = make_texture(64, 64, &rng, 0u, false);
    TexturePtr offset = make_texture(64, 64, &rng, 0u, false);
    // I = 255, S = 0xFFFFFFFF: 129 x 255 = 32895 reads as -32641 in each
    // product; their sum saturates to -32768, whose top byte is 0x80.
    {
        Frame f;
        Slots{base.get(), env.get(), normal.get(), offset.get()}.install();
        RasterTriangle t = big_triangle(0x00FFFFFFu);
        draw_triangles(&t, 1, base.get(), 5140);
        EXPECT_EQ(f.at(200, 200), 0x80808080u);
    }
    // With a black environment the specular term vanishes: (129 x 255) >> 8 = 128,
    // exactly what mode 4116 draws.
    {
        Frame f;
        Slots{base.get(), env_black.get(), normal.get(), offset.get()}.install();
        RasterTriangle t = big_triangle(0x00FFFFFFu);
        draw_triangles(&t, 1, base.get(), 5140);
        EXPECT_EQ(f.at(200, 200), 0x80808080u);
        RasterTriangle t2 = big_triangle(0x00FFFFFFu);
        Frame g;
        draw_triangles(&t2, 1, base.get(), 4116);
        EXPECT_EQ(g.at(200, 200), 0x80808080u);
    }
}

TEST_F(FillMulti, ZeroLightVectorDrawsBlackWithAlphaZero)
{
    Rng rng{3};
    TextureSet set = random_textures(&rng, 64);
    Frame f;
    set.slots().install();
    RasterTriangle t = big_triangle(0x00808080u);
    draw_triangles(&t, 1, set.texture.get(), 4116);
    EXPECT_EQ(f.at(200, 200), 0u);
    EXPECT_EQ(f.at(300, 150), 0u);
}

TEST_F(FillMulti, BlackEnvironmentOrBumpLeavesThePlainLookups)
{
    Rng rng{9};
    TextureSet set = random_textures(&rng, 64);
    TexturePtr black = make_texture(128, 32, &rng, 0u, false);
    TexturePtr black_bump = make_texture(64, 64, &rng, 0u, false);
    {
        Frame f;
        Slots{set.texture.get(), black.get(), nullptr, nullptr}.install();
        RasterTriangle t = big_triangle(0);
        draw_triangles(&t, 1, set.texture.get(), 1044);
        // Pixel (51, 51) is just inside the corner where u = v = 0: texel (0, 0).
        EXPECT_EQ(f.at(51, 51), set.texture->pixels[0]);
    }
    {
        Frame f;
        Slots{set.texture.get(), set.environment.get(), black_bump.get(), nullptr}.install();
        RasterTriangle t = big_triangle(0, 3.25f / 128.0f, 5.25f / 32.0f);
        draw_triangles(&t, 1, set.texture.get(), 3092);
        uint32_t e = set.environment->pixels[5 * 128 + 3];
        EXPECT_EQ(f.at(51, 51), add_sat(set.texture->pixels[0], e));
    }
}

TEST_F(FillMulti, OffsetOf255WrapsOneColumnLeft)
{
    Rng rng{11};
    TexturePtr env(texture_create(256, 4), texture_free);
    for (int32_t i = 0; i < 256 * 4; ++i)
        env->pixels[i] = 0xFF000000u | static_cast<uint32_t>(i);
    TexturePtr bump = make_texture(256, 4, &rng, 0x00FF0000u, false);
    Frame f;
    Slots{nullptr, env.get(), bump.get(), nullptr}.install();
    RasterTriangle t = big_triangle(0, 10.25f / 256.0f, 2.25f / 4.0f);
    draw_triangles(&t, 1, nullptr, 3088);
    EXPECT_EQ(f.at(51, 51), env->pixels[2 * 256 + 9]);
}

TEST_F(FillMulti, MissingTextureOrSlotDrawsNothing)
{
    Rng rng{13};
    TextureSet set = random_textures(&rng, 64);
    const Slots full = set.slots();
    for (FillMode mode : MULTI_MODES) {
        for (int missing = 0; missing < 4; ++missing) {
            Slots s = full;
            const Texture** slot[] = {&s.texture, &s.environment, &s.bump, &s.offset};
            *slot[missing] = nullptr;
            bool needed = (missing == 0 && mode != 3088) || (missing == 1 && mode != 4116) ||
                          (missing == 2 && mode != 1044) || (missing == 3 && mode == 5140);
            Frame f;
            s.install();
            RasterTriangle t = big_triangle(0x00FFFFFFu);
            draw_triangles(&t, 1, s.texture, mode);
            bool drawn = f.depth->values[200 * SCREEN_WIDTH + 200] != DEPTH_CLEAR;
            EXPECT_EQ(drawn, !needed) << "mode " << mode << " without slot " << missing;
        }
    }
}
