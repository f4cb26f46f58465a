// Coverage properties of triangle set-up and the walk: shared edges, the box,
// two-sided drawing, redraws, the strict depth test, degenerate and
// out-of-range triangles.
#include "raster_fixture.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace
{

struct Fixed {
    int64_t x, y;
};
Fixed fx(const ScreenVertex& v)
{
    return Fixed{static_cast<int32_t>(v.x * 32.0f), static_cast<int32_t>(v.y * 32.0f)};
}

// Pixel-unit edge function (times 32) of P->Q at integer pixel (px, py); positive
// inside a front-facing (clockwise on screen) triangle.
int64_t edge_at(Fixed p, Fixed q, int px, int py)
{
    return (p.y - q.y) * (32 * static_cast<int64_t>(px)) + (q.x - p.x) * (32 * static_cast<int64_t>(py)) +
           (p.x * q.y - q.x * p.y);
}

int64_t orient(Fixed a, Fixed b, Fixed c)
{
    return (a.x * b.y - b.x * a.y) + (b.x * c.y - c.x * b.y) + (c.x * a.y - a.x * c.y);
}

class RasterCoverage : public RasterFixture
{
  protected:
    // Draws with mode 33 adding 1 to the blue byte of a black frame.
    void count(RasterTriangle t)
    {
        t.flat_colour = 1u;
        draw_triangles(&t, 1, nullptr, 33);
    }
};

TEST_F(RasterCoverage, TwoClockwiseTrianglesSharingAnEdgeCoverItExactlyOnce)
{
    TestRandom r(11);
    int checked_on_edge = 0;
    for (int n = 0; n < 400; n++) {
        clear(0u);
        // Shared edge A-B between whole pixels, so that pixels lie exactly on it.
        int ax = 40 + static_cast<int>(r.below(560)), ay = 40 + static_cast<int>(r.below(400));
        int bx = ax + static_cast<int>(r.below(61)) - 30, by = ay + static_cast<int>(r.below(61)) - 30;
        if (ax == bx && ay == by)
            continue;
        ScreenVertex A = sv(static_cast<float>(ax), static_cast<float>(ay));
        ScreenVertex B = sv(static_cast<float>(bx), static_cast<float>(by));
        ScreenVertex C = sv(ax + r.range(-40, 40), ay + r.range(-40, 40));
        ScreenVertex D = sv(ax + r.range(-40, 40), ay + r.range(-40, 40));
        int64_t oc = orient(fx(A), fx(B), fx(C)), od = orient(fx(A), fx(B), fx(D));
        if (oc == 0 || od == 0 || (oc > 0) == (od > 0))
            continue;
        if (oc < 0)
            std::swap(C, D); // now (A, B, C) and (B, A, D) are both clockwise
        RasterTriangle t1 = tri(A, B, C), t2 = tri(B, A, D);
        count(t1);
        count(t2);
        Fixed a = fx(A), b = fx(B), c = fx(C), d = fx(D);
        int x0 = std::max(0, static_cast<int>(std::min({A.x, B.x, C.x, D.x})) - 1);
        int x1 = std::min(639, static_cast<int>(std::max({A.x, B.x, C.x, D.x})) + 2);
        int y0 = std::max(0, static_cast<int>(std::min({A.y, B.y, C.y, D.y})) - 1);
        int y1 = std::min(479, static_cast<int>(std::max({A.y, B.y, C.y, D.y})) + 2);
        for (int y = y0; y <= y1; y++)
            for (int x = x0; x <= x1; x++) {
                uint32_t k = px(x, y);
                ASSERT_LE(k, 1u) << "pixel " << x << "," << y << " covered twice";
                bool in1 = edge_at(a, b, x, y) > 0 && edge_at(b, c, x, y) > 0 && edge_at(c, a, x, y) > 0;
                bool in2 = edge_at(b, a, x, y) > 0 && edge_at(a, d, x, y) > 0 && edge_at(d, b, x, y) > 0;
                bool out1 = edge_at(a, b, x, y) < 0 || edge_at(b, c, x, y) < 0 || edge_at(c, a, x, y) < 0;
                bool out2 = edge_at(b, a, x, y) < 0 || edge_at(a, d, x, y) < 0 || edge_at(d, b, x, y) < 0;
                if (in1 || in2) {
                    ASSERT_EQ(k, 1u) << "inside pixel " << x << "," << y << " missed";
                }
                if (out1 && out2) {
                    ASSERT_EQ(k, 0u) << "outside pixel " << x << "," << y << " drawn";
                }
                // Strictly between the shared vertices on the shared edge.
                bool on_ab = edge_at(a, b, x, y) == 0 && (x != ax || y != ay) && (x != bx || y != by) &&
                             (x - ax) * (bx - ax) + (y - ay) * (by - ay) > 0 &&
                             (x - bx) * (ax - bx) + (y - by) * (ay - by) > 0;
                if (on_ab) {
                    checked_on_edge++;
                    ASSERT_EQ(k, 1u) << "shared-edge pixel " << x << "," << y;
                }
            }
    }
    EXPECT_GT(checked_on_edge, 100);
}

TEST_F(RasterCoverage, ATriangleNeverWritesOutsideItsBoxOrTheScreen)
{
    TestRandom r(5);
    for (int n = 0; n < 400; n++) {
        clear(0u);
        RasterTriangle t{};
        for (int k = 0; k < 3; k++)
            t.v[k] = sv(r.range(-400, 1040), r.range(-400, 880), r.range(-1, 1), r.next());
        t.flags = RASTER_TWO_SIDED;
        t.flat_colour = 0xFFFFFFFFu;
        RasterTriangle probe = t;
        bool drawn = setup_triangle(&probe) == 0;
        draw_triangles(&t, 1, nullptr, n % 2 ? 1 : 18);
        ASSERT_TRUE(guards_intact());
        for (int y = 0; y < 480; y++)
            for (int x = 0; x < 640; x++)
                if (px(x, y) != 0u) {
                    ASSERT_TRUE(drawn);
                    ASSERT_GE(x, probe.min_x);
                    ASSERT_LE(x, probe.max_x);
                    ASSERT_GE(y, probe.min_y);
                    ASSERT_LE(y, probe.max_y);
                }
        if (drawn) {
            EXPECT_GE(probe.min_x, 0);
            EXPECT_LE(probe.max_x, 639);
            EXPECT_GE(probe.min_y, 0);
            EXPECT_LE(probe.max_y, 479);
            // The walk leaves row offsets in the record.
            EXPECT_EQ(t.min_y, probe.min_y * 640);
            EXPECT_EQ(t.max_y, probe.max_y * 640);
        }
    }
}

TEST_F(RasterCoverage, ABackFaceWithTheTwoSidedFlagCoversItsTwinAndItsEdgePixels)
{
    TestRandom r(21);
    for (int n = 0; n < 300; n++) {
        // Whole and half pixel vertices put many pixels exactly on the edges.
        ScreenVertex p[3];
        for (auto& v : p)
            v = sv(static_cast<float>(100 + r.below(160)) * 0.5f + 100,
                   static_cast<float>(100 + r.below(160)) * 0.5f + 100);
        Fixed a = fx(p[0]), b = fx(p[1]), c = fx(p[2]);
        if (orient(a, b, c) == 0)
            continue;
        if (orient(a, b, c) > 0)
            std::swap(p[1], p[2]); // p is counter-clockwise: a back face
        clear(0u);
        count(tri(p[0], p[1], p[2]));
        EXPECT_EQ(frame(), std::vector<uint32_t>(640 * 480, 0u)) << "back face drawn without the flag";
        count(tri(p[0], p[1], p[2], 1u, RASTER_TWO_SIDED));
        std::vector<uint32_t> back = frame();
        clear(0u);
        count(tri(p[0], p[2], p[1]));
        std::vector<uint32_t> twin = frame();
        a = fx(p[0]), b = fx(p[2]), c = fx(p[1]);
        for (int y = 0; y < 480; y++)
            for (int x = 0; x < 640; x++) {
                int i = y * 640 + x;
                if (twin[i]) {
                    ASSERT_EQ(back[i], 1u);
                }
                if (back[i] && !twin[i]) {
                    ASSERT_TRUE(edge_at(a, b, x, y) == 0 || edge_at(b, c, x, y) == 0 ||
                                edge_at(c, a, x, y) == 0)
                        << x << "," << y << " is not on an edge";
                }
            }
    }
}

TEST_F(RasterCoverage, RedrawingARecordGivesTheSamePixels)
{
    TestTexture tex(4, 4);
    for (int i = 0; i < 256; i++)
        tex.pixels[i] = 0xFF000000u | static_cast<uint32_t>(i * 977);
    RasterTriangle t =
        tri(sv(10.3f, 20.7f, 0.1f, 0xFF102030u, 0.0f, 0.0f), sv(300.2f, 50.1f, 0.2f, 0xFFFFFFFFu, 3.0f, 0.5f),
            sv(120.9f, 400.4f, 0.3f, 0xFF00FF00u, 1.0f, 4.0f));
    draw_triangles(&t, 1, &tex.t, 4);
    std::vector<uint32_t> first = frame();
    RasterTriangle after_first = t;
    clear(0xFF000000u);
    draw_triangles(&t, 1, &tex.t, 4);
    EXPECT_EQ(frame(), first);
    EXPECT_EQ(0, std::memcmp(&t, &after_first, sizeof t));
}

TEST_F(RasterCoverage, TheDepthTestIsStrict)
{
    RasterTriangle t = tri(sv(10, 10, 0.25f), sv(200, 30, 0.25f), sv(50, 220, 0.25f), 0xFF0000FFu);
    draw_triangles(&t, 1, nullptr, 17);
    ASSERT_EQ(px(60, 60), 0xFF0000FFu);
    int32_t d = dp(60, 60);
    EXPECT_EQ(d, static_cast<int32_t>(0.25f * 16383.0f + 0.5f)); // 4096 after rounding
    t.flat_colour = 0xFFFF0000u;
    draw_triangles(&t, 1, nullptr, 17);
    EXPECT_EQ(px(60, 60), 0xFF0000FFu) << "equal depth must fail";
    for (auto& v : t.v)
        v.z = 0.2499f;
    draw_triangles(&t, 1, nullptr, 17);
    EXPECT_EQ(px(60, 60), 0xFFFF0000u);
    EXPECT_LT(dp(60, 60), d);
}

TEST_F(RasterCoverage, DegenerateTrianglesDrawNothing)
{
    RasterTriangle line = tri(sv(10, 10), sv(100, 100), sv(200, 200), 0xFFFFFFFFu, RASTER_TWO_SIDED);
    EXPECT_EQ(setup_triangle(&line), 1);
    // Legs of 4/32 pixel: constants -1 (fill rule), 31 and 0 give area 30, drawn;
    // legs of 1/32: -1, 1 and 0 give 0, and the counter-clockwise twin gives -3:
    // both in the rejected range -15..0, even two-sided.
    RasterTriangle tiny = tri(sv(0, 0), sv(0.125f, 0), sv(0, 0.125f));
    EXPECT_EQ(setup_triangle(&tiny), 0);
    EXPECT_EQ(tiny.area, 30);
    RasterTriangle smaller = tri(sv(0, 0), sv(0.03125f, 0), sv(0, 0.03125f), 0xFFFFFFFFu, RASTER_TWO_SIDED);
    EXPECT_EQ(setup_triangle(&smaller), 1);
    RasterTriangle twin = tri(sv(0, 0), sv(0, 0.03125f), sv(0.03125f, 0), 0xFFFFFFFFu, RASTER_TWO_SIDED);
    EXPECT_EQ(setup_triangle(&twin), 1);
    draw_triangles(&line, 1, nullptr, 1);
    EXPECT_EQ(frame(), std::vector<uint32_t>(640 * 480, 0xFF000000u));
}

TEST_F(RasterCoverage, OutOfRangeAndNonFiniteVerticesAreRejectedSafely)
{
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    const float bad[] = {inf, -inf, nan, 1e9f, -1e9f, 7e7f, 3e6f, -40000.0f, 5000.0f};
    TestTexture tex(3, 3);
    int rejected = 0;
    for (float b : bad)
        for (int k = 0; k < 3; k++)
            for (int axis = 0; axis < 2; axis++) {
                RasterTriangle t = tri(sv(10, 10, 0.5f), sv(600, 40, 0.5f), sv(300, 470, 0.5f), 0xFFFFFFFFu,
                                       RASTER_TWO_SIDED);
                (axis ? t.v[k].y : t.v[k].x) = b;
                RasterTriangle probe = t;
                rejected += setup_triangle(&probe);
                for (uint32_t mode : {1u, 17u, 18u, 20u, 24u, 148u, 8212u})
                    draw_triangles(&t, 1, &tex.t, mode);
                ASSERT_TRUE(guards_intact());
            }
    EXPECT_GE(rejected, 36);
    // A big triangle whose vertices fit but whose edge values at the far box
    // corners do not: drawn without overflow (the sanitizer build checks).
    RasterTriangle far = tri(sv(-1500, -900), sv(2100, -1000), sv(320, 1400), 0xFF00FF00u);
    draw_triangles(&far, 1, nullptr, 1);
    EXPECT_TRUE(guards_intact());
}

TEST_F(RasterCoverage, ModesOutsideTheTableAndTexturedModesWithoutATextureDrawNothing)
{
    RasterTriangle t = tri(sv(10, 10, 0.5f), sv(600, 40, 0.5f), sv(300, 470, 0.5f), 0xFFFFFFFFu);
    for (uint32_t mode : {0u, 3u, 7u, 19u, 64u, 100u, 1045u, 0xFFFFFFFFu})
        draw_triangles(&t, 1, nullptr, mode);
    for (FillMode mode : fill_modes)
        if (mode & (FILL_TEXTURE | FILL_PERSPECTIVE | FILL_SECOND_TEXTURE | FILL_DOT3 | FILL_OFFSET))
            draw_triangles(&t, 1, nullptr, mode);
    EXPECT_EQ(frame(), std::vector<uint32_t>(640 * 480, 0xFF000000u));
    for (FillMode mode : fill_modes)
        EXPECT_NE(fill_mode_name(mode), nullptr);
    EXPECT_EQ(fill_mode_name(3), nullptr);
}

} // namespace
