// The optimised pixel walk and fillers against a literal per-pixel walk of the
// box (edge test by OR of the three values, leaving a row once past its span)
// with independently written per-mode pixel rules, on many random triangles.
#include "raster_reference.h"

namespace
{

using raster_reference::draw_with_setup;

RasterTriangle random_triangle(TestRandom& r, float spread, bool allow_back)
{
    float cx = r.range(-60.0f, 700.0f), cy = r.range(-60.0f, 540.0f);
    float size = r.range(0.5f, spread);
    RasterTriangle t{};
    for (int k = 0; k < 3; k++) {
        uint32_t colour = r.next();
        if (r.below(4) == 0)
            colour |= 0xFF000000u;
        t.v[k] = ScreenVertex{cx + r.range(-size, size),
                              cy + r.range(-size, size),
                              r.range(-1.0f, 1.0f),
                              1.0f,
                              colour,
                              r.range(-3.0f, 3.0f),
                              r.range(-3.0f, 3.0f),
                              0.0f,
                              0.0f};
    }
    t.flat_colour = r.next();
    t.flags = allow_back && r.below(2) ? RASTER_TWO_SIDED : 0u;
    return t;
}

class RasterWalk : public RasterFixture
{
};

TEST_F(RasterWalk, EveryModeMatchesTheLiteralWalkOnRandomTriangles)
{
    const uint32_t modes[] = {1,  2,  16, 17, 18, 33, 34, 65, 81,  4,   5,    6,
                              20, 21, 22, 36, 37, 38, 52, 53, 148, 532, 8196, 8212};
    TestTexture tex(6, 5);
    TestRandom r(7);
    for (auto& p : tex.pixels)
        p = r.below(8) == 0 ? 0xFFFF00FFu : r.next();
    for (uint32_t mode : modes) {
        TestRandom tr(1000 + mode);
        std::vector<uint32_t> expect(640 * 480);
        std::vector<int32_t> expect_depth(640 * 480, DEPTH_CLEAR);
        clear(0xFF000000u);
        for (int i = 0; i < 640 * 480; i++)
            surface_.pixels[i] = expect[i] = tr.next();
        for (int n = 0; n < 300; n++) {
            RasterTriangle t = random_triangle(tr, n < 150 ? 40.0f : 400.0f, true);
            RasterTriangle copy = t;
            draw_with_setup(t, mode, tex.t, expect.data(), expect_depth.data());
            draw_triangles(&copy, 1, &tex.t, mode);
        }
        int mismatches = 0;
        for (int i = 0; i < 640 * 480; i++)
            mismatches += surface_.pixels[i] != expect[i] ||
                          ((mode & FILL_DEPTH) && mode != 16 && depth_buffer->values[i] != expect_depth[i]);
        EXPECT_EQ(mismatches, 0) << "mode " << mode << " (" << fill_mode_name(mode) << ")";
        EXPECT_TRUE(guards_intact());
    }
}

// Vertex channels of only 0 and 255 put the interpolated colour just outside
// 0..255 near edges, where the unclamped mode spills into the neighbouring
// channels; texels that are mostly key colour in runs leave whole four-pixel
// groups keyed. Spans of every length and start column are drawn.
TEST_F(RasterWalk, ExtremeColoursAndKeyedRunsMatchTheLiteralWalk)
{
    TestTexture tex(5, 5);
    TestRandom r(24);
    for (int i = 0; i < 32 * 32; i++)
        tex.pixels[i] = (i / 3) % 4 == 0 ? r.next() : 0xFFFF00FFu;
    const uint32_t modes[] = {6, 18, 22, 34, 38, 532};
    for (uint32_t mode : modes) {
        TestRandom tr(500 + mode);
        std::vector<uint32_t> expect(640 * 480);
        std::vector<int32_t> expect_depth(640 * 480, DEPTH_CLEAR);
        clear(0xFF000000u);
        for (int i = 0; i < 640 * 480; i++)
            surface_.pixels[i] = expect[i] = tr.next();
        for (int n = 0; n < 400; n++) {
            RasterTriangle t = random_triangle(tr, n < 200 ? 24.0f : 200.0f, true);
            for (auto& v : t.v) {
                uint32_t c = 0;
                for (int k = 0; k < 4; k++)
                    c |= (tr.below(2) ? 0xFFu : 0u) << (8 * k);
                v.colour = c;
            }
            RasterTriangle copy = t;
            draw_with_setup(t, mode, tex.t, expect.data(), expect_depth.data());
            draw_triangles(&copy, 1, &tex.t, mode);
        }
        int mismatches = 0;
        for (int i = 0; i < 640 * 480; i++)
            mismatches += surface_.pixels[i] != expect[i] ||
                          ((mode & FILL_DEPTH) && depth_buffer->values[i] != expect_depth[i]);
        EXPECT_EQ(mismatches, 0) << "mode " << mode << " (" << fill_mode_name(mode) << ")";
        EXPECT_TRUE(guards_intact());
    }
}

// Mode 22 packs its vertex colour without clamping, so that a channel just
// below 0 or above 255 spills into its neighbours; a triangle whose colour
// stays inside 0..255 all over its box may pack with clamping instead. Vertex
// colour bytes at and next to 0 and 255 put values near the bounds: in
// triangles thousands of pixels wide the rounding of the set-up carries them
// past the bounds inside the frame, and in slivers the steps are steep.
TEST_F(RasterWalk, UnclampedColourNearTheChannelBoundsMatchesTheLiteralWalk)
{
    TestTexture tex(5, 5);
    TestRandom r(2222);
    for (auto& p : tex.pixels)
        p = r.below(3) == 0 ? 0xFFFFFFFFu : r.next();
    const uint32_t bytes[] = {0, 1, 2, 127, 253, 254, 255};
    std::vector<uint32_t> expect(640 * 480);
    std::vector<int32_t> expect_depth(640 * 480, DEPTH_CLEAR);
    for (int i = 0; i < 640 * 480; i++)
        surface_.pixels[i] = expect[i] = r.next();
    const std::vector<uint32_t> before = expect;
    for (int n = 0; n < 1200; n++) {
        const float spreads[] = {4.0f, 30.0f, 200.0f, 3000.0f};
        RasterTriangle t = random_triangle(r, spreads[n % 4], true);
        if (n % 5 == 0) {
            float k = r.range(0.0f, 1.0f);
            t.v[2].x = t.v[0].x + k * (t.v[1].x - t.v[0].x) + r.range(-1.5f, 1.5f);
            t.v[2].y = t.v[0].y + k * (t.v[1].y - t.v[0].y) + r.range(-1.5f, 1.5f);
        }
        for (auto& v : t.v)
            v.colour = 0;
        for (int b = 0; b < 32; b += 8) {
            // a channel the same at all three vertices half the time
            const uint32_t same = r.below(2) ? bytes[r.below(7)] : 1000u;
            for (auto& v : t.v)
                v.colour |= (same < 256u ? same : bytes[r.below(7)]) << b;
        }
        RasterTriangle copy = t;
        draw_with_setup(t, 22, tex.t, expect.data(), expect_depth.data());
        draw_triangles(&copy, 1, &tex.t, 22);
    }
    int mismatches = 0, changed = 0;
    for (int i = 0; i < 640 * 480; i++) {
        mismatches += surface_.pixels[i] != expect[i] || depth_buffer->values[i] != expect_depth[i];
        changed += before[i] != expect[i];
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(changed, 20000);
    EXPECT_TRUE(guards_intact());
}

TEST_F(RasterWalk, ThinAndSliverTrianglesMatchTheLiteralWalk)
{
    TestTexture tex(8, 8);
    for (int i = 0; i < 256 * 256; i++)
        tex.pixels[i] = static_cast<uint32_t>(i) * 2654435761u;
    TestRandom r(99);
    std::vector<uint32_t> expect(640 * 480, 0xFF000000u);
    std::vector<int32_t> expect_depth(640 * 480, DEPTH_CLEAR);
    for (int n = 0; n < 3000; n++) {
        RasterTriangle t{};
        float x0 = r.range(0, 640), y0 = r.range(0, 480);
        float dx = r.range(-300, 300), dy = r.range(-300, 300);
        float w = r.range(-2.0f, 2.0f);
        t.v[0] = sv(x0, y0, r.range(-1, 1), r.next(), r.range(0, 1), r.range(0, 1));
        t.v[1] = sv(x0 + dx, y0 + dy, r.range(-1, 1), r.next(), r.range(0, 1), r.range(0, 1));
        t.v[2] = sv(x0 + dx * r.range(0, 1) + w, y0 + dy * r.range(0, 1) - w, r.range(-1, 1), r.next());
        t.flags = RASTER_TWO_SIDED;
        uint32_t mode = n % 2 ? 20 : 18;
        RasterTriangle copy = t;
        draw_with_setup(t, mode, tex.t, expect.data(), expect_depth.data());
        draw_triangles(&copy, 1, &tex.t, mode);
    }
    EXPECT_EQ(frame(), expect);
}

} // namespace

namespace
{

TEST_F(RasterWalk, PerspectiveBilinearAndMipModesMatchTheLiteralWalk)
{
    Texture* tex = texture_create_mipmapped(64, 64);
    ASSERT_NE(tex, nullptr);
    TestRandom r(31);
    for (int i = 0; i < 64 * 64; i++)
        tex->pixels[i] = r.next();
    ASSERT_EQ(texture_build_mips(tex), 0);
    for (uint32_t mode : {8u, 24u, 152u, 260u, 276u}) {
        TestRandom tr(500 + mode);
        std::vector<uint32_t> expect(640 * 480, 0xFF000000u);
        std::vector<int32_t> expect_depth(640 * 480, DEPTH_CLEAR);
        clear(0xFF000000u);
        for (int n = 0; n < 300; n++) {
            RasterTriangle t = random_triangle(tr, n < 150 ? 50.0f : 300.0f, true);
            float scale = (mode & FILL_MIPMAP) ? tr.range(0.5f, 60.0f) : 1.0f;
            for (auto& v : t.v) {
                v.z = (mode & FILL_PERSPECTIVE) ? tr.range(0.02f, 1.0f) : v.z;
                v.u *= scale;
                v.v *= scale;
            }
            RasterTriangle copy = t;
            draw_with_setup(t, mode, *tex, expect.data(), expect_depth.data());
            draw_triangles(&copy, 1, tex, mode);
        }
        int mismatches = 0;
        for (int i = 0; i < 640 * 480; i++)
            mismatches += surface_.pixels[i] != expect[i] ||
                          ((mode & FILL_DEPTH) && depth_buffer->values[i] != expect_depth[i]);
        EXPECT_EQ(mismatches, 0) << "mode " << mode << " (" << fill_mode_name(mode) << ")";
        EXPECT_TRUE(guards_intact());
        int drawn = 0;
        for (uint32_t p : expect)
            drawn += p != 0xFF000000u;
        EXPECT_GT(drawn, 50000) << "mode " << mode;
    }
    texture_free(tex);
}

} // namespace
