// Per-mode pixel rules of the colour and single-texture fillers on small,
// hand-checked cases: saturating add, lane multiply, vertex colours, depth
// grey, colour key, alpha blend, wrap-around addressing, perspective, bilinear
// and mip selection.
#include "raster_fixture.h"

namespace
{

class RasterFill : public RasterFixture
{
  protected:
    // A clockwise triangle covering pixel (50, 50) and its neighbourhood.
    RasterTriangle cover(uint32_t flat, float z = 0.5f)
    {
        return tri(sv(0, 0, z), sv(200, 0, z), sv(0, 200, z), flat);
    }
};

TEST_F(RasterFill, AddSaturatesPerByteAndMultiplyWorksOnLanes)
{
    px(50, 50) = 0xFF909010u;
    RasterTriangle t = cover(0x00808080u);
    draw_triangles(&t, 1, nullptr, 33);
    EXPECT_EQ(px(50, 50), 0xFFFFFF90u);

    px(50, 50) = 0xC8FF8001u;
    t = cover(0xFF808080u);
    draw_triangles(&t, 1, nullptr, 65);
    EXPECT_EQ(px(50, 50), 0xC77F4000u); // (c x 0x80) >> 8 per colour byte, alpha (200 x 255) >> 8
    t = cover(0xFFFFFFFFu);
    px(50, 50) = 0xFFFFFFFFu;
    draw_triangles(&t, 1, nullptr, 65);
    EXPECT_EQ(px(50, 50), 0xFEFEFEFEu);
    t = cover(0u);
    draw_triangles(&t, 1, nullptr, 65);
    EXPECT_EQ(px(50, 50), 0u);
}

TEST_F(RasterFill, MultiplyWithDepthWritesDepthSoThatLaterSurfacesBehindAreHidden)
{
    clear(0xFF808080u);
    RasterTriangle t = cover(0xFF808080u, 0.1f);
    draw_triangles(&t, 1, nullptr, 81);
    EXPECT_EQ(px(50, 50), 0xFE404040u);
    RasterTriangle behind = cover(0xFFFFFFFFu, 0.2f);
    draw_triangles(&behind, 1, nullptr, 17);
    EXPECT_EQ(px(50, 50), 0xFE404040u);
}

TEST_F(RasterFill, GouraudGivesTheExactVertexColourAtDrawnVertexPixels)
{
    // Only V0's pixel lies on two edges that keep their pixels (the bottom
    // edge runs leftwards, the left edge upwards), so only it is drawn.
    RasterTriangle t =
        tri(sv(10, 110, 0, 0xFFFF0000u), sv(60, 10, 0, 0xFF00FF00u), sv(110, 110, 0, 0xFF0000FFu));
    draw_triangles(&t, 1, nullptr, 2);
    EXPECT_EQ(px(10, 110), 0xFFFF0000u);
    EXPECT_EQ(px(60, 10), 0xFF000000u);
    EXPECT_EQ(px(110, 110), 0xFF000000u);
    for (int y = 0; y < 480; y++)
        for (int x = 0; x < 640; x++) {
            uint32_t p = px(x, y);
            if (p == 0xFF000000u)
                continue;
            uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
            ASSERT_EQ(p >> 24, 0xFFu);
            ASSERT_LE(r + g + b, 256u) << "a channel wrapped at " << x << "," << y;
        }
}

TEST_F(RasterFill, GouraudColoursNeverWrapIntoNeighbouringChannels)
{
    TestRandom r(3);
    for (uint32_t mode : {2u, 18u, 34u}) {
        for (int n = 0; n < 60; n++) {
            clear(0u);
            bool high = n % 2;
            RasterTriangle t{};
            for (int k = 0; k < 3; k++) {
                uint32_t c = 0;
                for (int s = 0; s < 32; s += 8)
                    c |= (high ? 200 + r.below(56) : r.below(56)) << s;
                t.v[k] = sv(r.range(0, 640), r.range(0, 480), 0.5f, c);
            }
            t.flags = RASTER_TWO_SIDED;
            draw_triangles(&t, 1, nullptr, mode);
            for (int i = 0; i < 640 * 480; i++) {
                uint32_t p = surface_.pixels[i];
                if (!p)
                    continue;
                for (int s = 0; s < 32; s += 8) {
                    uint32_t c = (p >> s) & 0xFF;
                    if (high)
                        ASSERT_GE(c, 199u) << "mode " << mode;
                    else
                        ASSERT_LE(c, 56u) << "mode " << mode;
                }
            }
        }
    }
}

TEST_F(RasterFill, DepthGreyIsBlackAtTheMiddleAndWhiteAtTheFarPlaneAndClamped)
{
    RasterTriangle t = cover(0, 0.0f);
    draw_triangles(&t, 1, nullptr, 16);
    EXPECT_EQ(px(50, 50), 0u);
    t = cover(0, 1.0f);
    draw_triangles(&t, 1, nullptr, 16);
    EXPECT_EQ(px(50, 50), 0xFFFFFFFFu);
    t = cover(0, -0.7f);
    draw_triangles(&t, 1, nullptr, 16);
    EXPECT_EQ(px(50, 50), 0u);
    t = cover(0, 5.0f);
    draw_triangles(&t, 1, nullptr, 16);
    EXPECT_EQ(px(50, 50), 0xFFFFFFFFu);
    t = cover(0, 0.5f);
    draw_triangles(&t, 1, nullptr, 16);
    EXPECT_EQ(px(50, 50), 0x7F7F7F7Fu); // 8192 / 16383 x 255 = 127.5
    EXPECT_EQ(dp(50, 50), DEPTH_CLEAR) << "mode 16 neither tests nor writes depth";
}

TEST_F(RasterFill, TextureCoordinatesRepeatBelowZeroAndBeyondOne)
{
    TestTexture tex(8, 8);
    for (int v = 0; v < 256; v++)
        for (int u = 0; u < 256; u++)
            tex.at(u, v) = 0xFF000000u | static_cast<uint32_t>(u << 8 | v);
    // u = -0.25 everywhere addresses column 192; v = 1.5 row 128.
    RasterTriangle t =
        tri(sv(0, 0, 0, 0, -0.25f, 1.5f), sv(200, 0, 0, 0, -0.25f, 1.5f), sv(0, 200, 0, 0, -0.25f, 1.5f));
    draw_triangles(&t, 1, &tex.t, 4);
    EXPECT_EQ(px(50, 50), 0xFF00C080u);
}

TEST_F(RasterFill, ColourKeySkipsOnlyOpaqueMagentaAndKeepsDepthThere)
{
    TestTexture tex(1, 1);
    tex.pixels = {0xFFFF00FFu, 0x00FF00FFu, 0xFFFF00FFu, 0x00FF00FFu};
    // u = 0.1 -> column 0 (key), u = 0.6 -> column 1 (magenta with alpha 0).
    RasterTriangle t =
        tri(sv(0, 0, 0.3f, 0, 0.1f, 0.1f), sv(200, 0, 0.3f, 0, 0.1f, 0.1f), sv(0, 200, 0.3f, 0, 0.1f, 0.1f));
    draw_triangles(&t, 1, &tex.t, 532);
    EXPECT_EQ(px(50, 50), 0xFF000000u);
    EXPECT_EQ(dp(50, 50), DEPTH_CLEAR);
    for (auto& v : t.v)
        v.u = 0.6f;
    draw_triangles(&t, 1, &tex.t, 532);
    EXPECT_EQ(px(50, 50), 0x00FF00FFu);
    EXPECT_EQ(dp(50, 50), 4915); // 0.3 x 16383 + 0.5, rounded down
}

TEST_F(RasterFill, AlphaBlendScalesTheTexelAlphaByTheFlatColour)
{
    TestTexture tex(0, 0);
    tex.pixels[0] = 0x00FF8040u; // alpha 0
    RasterTriangle t = cover(0xFFFFFFFFu);
    px(50, 50) = 0x80402000u;
    draw_triangles(&t, 1, &tex.t, 8196);
    EXPECT_EQ(px(50, 50), 0x7F3F1F00u); // (p x 255) >> 8
    tex.pixels[0] = 0xFFC08040u;
    px(50, 50) = 0xFFFFFFFFu;
    draw_triangles(&t, 1, &tex.t, 8196);
    // k = 254: (t x 254) >> 8 + (p x 1) >> 8
    EXPECT_EQ(px(50, 50), 0xFDBE7F3Fu);
    // Depth is tested but never written.
    RasterTriangle near = cover(0xFFFFFFFFu, 0.25f);
    draw_triangles(&near, 1, &tex.t, 8212);
    EXPECT_EQ(dp(50, 50), DEPTH_CLEAR);
}

TEST_F(RasterFill, AdditiveDepthModesTestButNeverWriteDepth)
{
    TestTexture tex(0, 0);
    tex.pixels[0] = 0xFF101010u;
    RasterTriangle t = cover(0xFFFFFFFFu, 0.3f);
    draw_triangles(&t, 1, &tex.t, 52);
    draw_triangles(&t, 1, &tex.t, 53);
    EXPECT_EQ(dp(50, 50), DEPTH_CLEAR);
    EXPECT_EQ(px(50, 50), 0xFF1F1F1Fu); // texel, then texel x white (one step darker)
    RasterTriangle wall = cover(0xFF000000u, 0.2f);
    draw_triangles(&wall, 1, nullptr, 17);
    draw_triangles(&t, 1, &tex.t, 52);
    EXPECT_EQ(px(50, 50), 0xFF000000u);
}

TEST_F(RasterFill, BilinearAtWholeTexelsIsOneStepDarker)
{
    TestTexture tex(2, 2);
    for (auto& p : tex.pixels)
        p = 0xFF808080u;
    tex.at(1, 2) = 0xFFFFFFFFu;
    // U = trunc(2048 a) + 1024 with a = u x 4: a = 0.5 + 0.5/2048 gives U = 2048,
    // texel column 1 with fraction 0, clear of the truncation; likewise row 2.
    float u = 0.12506103515625f, v = 0.37506103515625f;
    RasterTriangle t = tri(sv(0, 0, 0.5f, 0, u, v), sv(200, 0, 0.5f, 0, u, v), sv(0, 200, 0.5f, 0, u, v));
    draw_triangles(&t, 1, &tex.t, 148);
    EXPECT_EQ(px(50, 50), 0xFEFEFEFEu); // (255 x 255) >> 8
}

TEST_F(RasterFill, PerspectiveModesRejectVerticesAtOrBehindZeroAndMatchAffineWhenFlat)
{
    TestTexture tex(4, 4);
    for (int i = 0; i < 256; i++)
        tex.pixels[i] = 0xFF000000u | static_cast<uint32_t>(i * 65793);
    // Constant z: perspective and affine agree up to the rounding of the quotient.
    RasterTriangle t = tri(sv(10, 10, 0.3f, 0, 0.0f, 0.0f), sv(300, 10, 0.3f, 0, 2.0f, 0.0f),
                           sv(10, 300, 0.3f, 0, 0.0f, 2.0f));
    RasterTriangle p = t;
    draw_triangles(&p, 1, &tex.t, 24);
    uint32_t a = px(100, 100);
    EXPECT_NE(a, 0xFF000000u);
    EXPECT_EQ(dp(100, 100), 4915);
    clear(0xFF000000u);
    RasterTriangle behind = t;
    behind.v[1].z = 0.0f;
    draw_triangles(&behind, 1, &tex.t, 24);
    draw_triangles(&behind, 1, &tex.t, 8);
    draw_triangles(&behind, 1, &tex.t, 152);
    behind.v[1].z = -0.5f;
    draw_triangles(&behind, 1, &tex.t, 24);
    EXPECT_EQ(frame(), std::vector<uint32_t>(640 * 480, 0xFF000000u));
    // Tiny z: 256 / z overflows the interpolants but nothing crashes.
    RasterTriangle tiny = t;
    for (auto& v : tiny.v)
        v.z = 1e-30f;
    draw_triangles(&tiny, 1, &tex.t, 8);
    draw_triangles(&tiny, 1, &tex.t, 152);
    EXPECT_TRUE(guards_intact());
}

TEST_F(RasterFill, MipLevelComparesTextureAreaToPixelAreaAgainstDoublingThresholds)
{
    // A right triangle of 100 x 100 pixels: area value 2^12 x 5000.
    auto with_uv = [](float span) {
        RasterTriangle t = tri(sv(0, 0, 0, 0, 0, 0), sv(100, 0, 0, 0, span, 0), sv(0, 100, 0, 0, 0, span));
        EXPECT_EQ(setup_triangle(&t), 0);
        return t;
    };
    // uv area / pixel area = span^2 / 10000.
    RasterTriangle t = with_uv(100.0f); // ratio 1
    EXPECT_EQ(select_mip_level(&t), 0);
    t = with_uv(200.0f); // ratio 4: 5 > 4
    EXPECT_EQ(select_mip_level(&t), 1);
    t = with_uv(1000.0f); // ratio 100: 160 > 100
    EXPECT_EQ(select_mip_level(&t), 6);
    t = with_uv(6000.0f); // ratio 3600 >= 2560
    EXPECT_EQ(select_mip_level(&t), 11);
}

TEST_F(RasterFill, MipModesUseTheOnlyLevelOfATextureWithoutAChain)
{
    TestTexture tex(2, 2);
    for (int i = 0; i < 16; i++)
        tex.pixels[i] = 0xFF000000u + static_cast<uint32_t>(i);
    RasterTriangle t =
        tri(sv(0, 0, 0.5f, 0, 0, 0), sv(100, 0, 0.5f, 0, 400.0f, 0), sv(0, 100, 0.5f, 0, 0, 400.0f));
    RasterTriangle a = t;
    draw_triangles(&a, 1, &tex.t, 276);
    std::vector<uint32_t> mip = frame();
    clear(0xFF000000u);
    RasterTriangle b = t;
    draw_triangles(&b, 1, &tex.t, 20);
    EXPECT_EQ(frame(), mip);
}

} // namespace

namespace
{

class RasterLayers : public RasterFixture
{
};

// Full-screen quads whose texture coordinates are whole texels at whole pixels
// map texels one to one; row 0 lies on the top edges, which the fill rule leaves out.
TEST_F(RasterLayers, FullScreenTexturedQuadsMapTexelsOneToOne)
{
    TestTexture tex(8, 8);
    for (uint32_t v = 0; v < 256; v++)
        for (uint32_t u = 0; u < 256; u++)
            tex.at(static_cast<int>(u), static_cast<int>(v)) = 0xFF000000u | ((u ^ v) << 16) | (u << 8) | v;
    uint32_t ou = 0, ov = 0;
    TestRandom r(6);
    for (int k = 0; k < 10; k++) {
        ou = r.below(256);
        ov = r.below(256);
        auto corner = [&](float X, float Y) {
            return sv(
                X, Y,
                static_cast<float>(((10 - k) << 20) + (X ? 1 << 18 : 0) + (Y ? 1 << 18 : 0)) / 16777216.0f,
                0xFFFFFFFFu, (X + static_cast<float>(ou)) / 256.0f, (Y + static_cast<float>(ov)) / 256.0f);
        };
        RasterTriangle t[2] = {tri(corner(0, 0), corner(640, 0), corner(640, 480)),
                               tri(corner(0, 0), corner(640, 480), corner(0, 480))};
        draw_triangles(t, 2, &tex.t, FILL_TEXTURE | FILL_DEPTH);
    }
    for (int x = 0; x < 640; x++)
        ASSERT_EQ(px(x, 0), 0xFF000000u);
    for (int y = 1; y < 480; y++)
        for (int x = 0; x < 640; x++)
            ASSERT_EQ(px(x, y), tex.at((x + static_cast<int>(ou)) & 255, (y + static_cast<int>(ov)) & 255))
                << x << "," << y;
}

} // namespace
