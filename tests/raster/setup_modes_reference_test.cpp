// A second, independently written reading of the triangle set-up, the
// attribute interpolants, the mip level choice and the per-mode pixel rules,
// checked against the rasterizer on many random triangles: record by record
// (edges, area, box, inverse area, interpolants) and pixel by pixel.
#include "raster_reference.h"
#include "raster/raster_internal.h"

#include "core/core.h"

#include <cmath>

namespace
{

// ---- Set-up, written out step by step ----------------------------------------
struct RefSetup {
    int32_t xs[3], ys[3], c[3], dir[3];
    int32_t area;
    int32_t min_x, min_y, max_x, max_y;
    float inverse_area;
};

raster_reference::Box ref_box(const RefSetup& s)
{
    raster_reference::Box box{};
    for (int i = 0; i < 3; i++) {
        box.xs[i] = s.xs[i];
        box.ys[i] = s.ys[i];
        box.c[i] = s.c[i];
    }
    box.min_x = s.min_x;
    box.min_y = s.min_y;
    box.max_x = s.max_x;
    box.max_y = s.max_y;
    return box;
}

// 1 when rejected. Only for triangles whose arithmetic fits 32 bits.
int ref_setup(const RasterTriangle& t, RefSetup* s)
{
    int32_t X[3], Y[3];
    for (int k = 0; k < 3; k++) {
        X[k] = static_cast<int32_t>(std::trunc(static_cast<double>(t.v[k].x) * 32.0));
        Y[k] = static_cast<int32_t>(std::trunc(static_cast<double>(t.v[k].y) * 32.0));
    }
    for (int i = 0; i < 3; i++) {
        int p = i, q = (i + 1) % 3;
        int32_t dy = Y[p] - Y[q], dx = X[q] - X[p];
        s->c[i] = -(X[p] + X[q]) * dy - (Y[p] + Y[q]) * dx;
        s->xs[i] = dy << 6;
        s->ys[i] = dx << 6;
        s->dir[i] = (s->xs[i] >= 0 ? 8 : 0) + (s->ys[i] >= 0 ? 1 : 0);
        bool keep = s->xs[i] > 0 || (s->xs[i] == 0 && s->ys[i] <= 0);
        if (!keep)
            s->c[i] -= 1;
    }
    s->area = s->c[0] + s->c[1] + s->c[2];
    if (s->area >= -15 && s->area <= 0)
        return 1;
    if (s->area < 0) {
        if (!(t.flags & 1u))
            return 1;
        for (int i = 0; i < 3; i++) {
            s->xs[i] = -s->xs[i];
            s->ys[i] = -s->ys[i];
            s->c[i] = -s->c[i];
        }
        s->area = -s->area;
    }
    int xcode = 0, ycode = 0;
    for (int i = 0; i < 3; i++) {
        xcode += (s->dir[i] & 1) << i;
        ycode += ((s->dir[i] >> 3) & 1) << i;
    }
    if (xcode < 1 || xcode > 6 || ycode < 1 || ycode > 6)
        return 1;
    static const int first[7] = {-1, 0, 1, 0, 2, 2, 1};
    static const int second[7] = {-1, 1, 2, 2, 0, 1, 0};
    // x code: (smallest x, largest x); y code: (largest y, smallest y).
    const ScreenVertex& sx = t.v[first[xcode]];
    const ScreenVertex& lx = t.v[second[xcode]];
    const ScreenVertex& ly = t.v[first[ycode]];
    const ScreenVertex& sy = t.v[second[ycode]];
    s->min_x = static_cast<int32_t>(sx.x);
    s->max_x = static_cast<int32_t>(lx.x + 1.0f);
    s->min_y = static_cast<int32_t>(sy.y);
    s->max_y = static_cast<int32_t>(ly.y + 1.0f);
    if (s->min_x < 0)
        s->min_x = 0;
    if (s->min_y < 0)
        s->min_y = 0;
    if (s->max_x >= 640)
        s->max_x = 639;
    if (s->max_y >= 480)
        s->max_y = 479;
    s->inverse_area = static_cast<float>(2048.0 / s->area);
    // A box wholly off the screen visits nothing; set-up may as well reject it.
    if (s->min_x > s->max_x || s->min_y > s->max_y)
        return 2;
    return 0;
}

Interpolant ref_interpolant(const RefSetup& s, float a, float b, float c)
{
    float k = s.inverse_area;
    float kc = k * c, ka = k * a, kb = k * b;
    // edge 0 weighs V2, edge 1 weighs V0, edge 2 weighs V1
    double xs = static_cast<double>(s.xs[0]) * static_cast<double>(kc) +
                static_cast<double>(s.xs[1]) * static_cast<double>(ka) +
                static_cast<double>(s.xs[2]) * static_cast<double>(kb);
    double ys = static_cast<double>(s.ys[0]) * static_cast<double>(kc) +
                static_cast<double>(s.ys[1]) * static_cast<double>(ka) +
                static_cast<double>(s.ys[2]) * static_cast<double>(kb);
    double cs = static_cast<double>(s.c[0]) * static_cast<double>(kc) +
                static_cast<double>(s.c[1]) * static_cast<double>(ka) +
                static_cast<double>(s.c[2]) * static_cast<double>(kb);
    Interpolant out;
    out.x_step = static_cast<int32_t>(std::trunc(xs));
    out.y_step = static_cast<int32_t>(std::trunc(ys));
    uint32_t start = static_cast<uint32_t>(out.y_step) * static_cast<uint32_t>(s.min_y) +
                     static_cast<uint32_t>(static_cast<int32_t>(std::trunc(cs))) +
                     static_cast<uint32_t>(out.x_step) * static_cast<uint32_t>(s.min_x) + 1024u;
    out.start = static_cast<int32_t>(start);
    return out;
}

// Mip level with the ratio read as uv area (texture widths x heights) per
// pixel of screen area: S carries 2^18, the area 2^12, hence the 64.
int ref_mip_level(const RasterTriangle& t, const RefSetup& s)
{
    int64_t S = 0;
    for (int i = 0; i < 3; i++) {
        int j = (i + 1) % 3;
        int64_t ui = static_cast<int32_t>(t.v[i].u * 32.0f), vi = static_cast<int32_t>(t.v[i].v * 32.0f);
        int64_t uj = static_cast<int32_t>(t.v[j].u * 32.0f), vj = static_cast<int32_t>(t.v[j].v * 32.0f);
        S -= (ui + uj) * ((vi - vj) * 64) + (vi + vj) * ((uj - ui) * 64);
    }
    float ratio = static_cast<float>(std::fabs(static_cast<double>(S)) / s.area / 64.0);
    for (int i = 0; i < 11; i++)
        if (2.5f * static_cast<float>(1 << i) > ratio)
            return i;
    return 11;
}

// One triangle drawn the long way with the set-up read step by step.
void ref_draw(const RasterTriangle& t, uint32_t mode, const Texture& tex, uint32_t* pixels, int32_t* depth)
{
    RefSetup s;
    if (ref_setup(t, &s))
        return;
    const int32_t level = (mode & FILL_MIPMAP) ? ref_mip_level(t, s) : 0;
    raster_reference::draw(
        t, ref_box(s), [&](float a, float b, float c) { return ref_interpolant(s, a, b, c); }, level, mode,
        tex, pixels, depth);
}

// One triangle drawn the long way into (expect, expect_depth) and through
// the fillers into the frame.
void draw_both(const RasterTriangle& t, uint32_t mode, const Texture* tex, uint32_t* expect,
               int32_t* expect_depth)
{
    RasterTriangle copy = t;
    ref_draw(t, mode, *tex, expect, expect_depth);
    draw_triangles(&copy, 1, tex, mode);
}

// How many pixels of the frame differ from the long way's, in colour or depth.
int differences(const uint32_t* expect, const int32_t* expect_depth)
{
    int bad = 0;
    for (int i = 0; i < 640 * 480; i++)
        bad += screen->pixels[i] != expect[i] || depth_buffer->values[i] != expect_depth[i];
    return bad;
}

RasterTriangle random_triangle(TestRandom& r, float spread)
{
    float cx = r.range(-40.0f, 680.0f), cy = r.range(-40.0f, 520.0f);
    float size = r.range(0.3f, spread);
    RasterTriangle t{};
    for (int k = 0; k < 3; k++) {
        t.v[k] = ScreenVertex{cx + r.range(-size, size),
                              cy + r.range(-size, size),
                              r.range(-1.0f, 1.0f),
                              1.0f,
                              r.next(),
                              r.range(-4.0f, 4.0f),
                              r.range(-4.0f, 4.0f),
                              0,
                              0};
        // whole and half pixels too, where the fill rule and box decide
        if (r.below(3) == 0) {
            t.v[k].x = std::floor(t.v[k].x) + (r.below(2) ? 0.5f : 0.0f);
            t.v[k].y = std::floor(t.v[k].y) + (r.below(2) ? 0.5f : 0.0f);
        }
    }
    t.flat_colour = r.next();
    t.flags = r.below(2);
    return t;
}

class SetupReference : public RasterFixture
{
};

TEST_F(SetupReference, SetUpRecordsMatchTheStepByStepReading)
{
    TestRandom r(4242);
    int drawn = 0;
    for (int n = 0; n < 200000; n++) {
        RasterTriangle t = random_triangle(r, n % 2 ? 8.0f : 300.0f);
        RefSetup s;
        int expect = ref_setup(t, &s);
        RasterTriangle got = t;
        int result = setup_triangle(&got);
        if (expect == 2)
            continue; // empty box: either answer draws nothing
        ASSERT_EQ(result, expect) << "triangle " << n << ": " << t.v[0].x << "," << t.v[0].y << " "
                                  << t.v[1].x << "," << t.v[1].y << " " << t.v[2].x << "," << t.v[2].y;
        if (result)
            continue;
        drawn++;
        for (int i = 0; i < 3; i++) {
            ASSERT_EQ(got.edges[i].x_step, s.xs[i]) << n;
            ASSERT_EQ(got.edges[i].y_step, s.ys[i]) << n;
            ASSERT_EQ(got.edges[i].constant, s.c[i]) << n;
            ASSERT_EQ(got.edges[i].direction, s.dir[i]) << n;
        }
        ASSERT_EQ(got.area, s.area) << n;
        ASSERT_EQ(got.min_x, s.min_x) << n;
        ASSERT_EQ(got.min_y, s.min_y) << n;
        ASSERT_EQ(got.max_x, s.max_x) << n;
        ASSERT_EQ(got.max_y, s.max_y) << n;
        ASSERT_EQ(got.inverse_area, s.inverse_area) << n;
        float va[3] = {r.range(-300, 300), r.range(-3000, 3000), r.range(0, 255)};
        float vb[3] = {r.range(-300, 300), r.range(-3000, 3000), r.range(0, 255)};
        float vc[3] = {r.range(-300, 300), r.range(-3000, 3000), r.range(0, 255)};
        for (int k = 0; k < 3; k++) {
            Interpolant e = ref_interpolant(s, va[k], vb[k], vc[k]);
            Interpolant g = setup_interpolant(&got, va[k], vb[k], vc[k]);
            ASSERT_EQ(g.x_step, e.x_step) << n;
            ASSERT_EQ(g.y_step, e.y_step) << n;
            ASSERT_EQ(g.start, e.start) << n;
        }
        for (auto& v : got.v) {
            v.u *= r.range(0.1f, 2000.0f);
            v.v *= r.range(0.1f, 2000.0f);
        }
        ASSERT_EQ(select_mip_level(&got), ref_mip_level(got, s)) << n;
    }
    EXPECT_GT(drawn, 50000);
}

// A coordinate of one of the sizes that set-up meets: on or near the screen,
// far off it, at the edge of what 1/32-pixel fixed point holds (2^26 pixels)
// or where an edge's step no longer fits (2^20 pixels apart), or not finite.
float random_coordinate(TestRandom& r, float centre)
{
    switch (r.below(12)) {
    case 0:
        return centre + r.range(-2.0e6f, 2.0e6f);
    case 1:
        return r.range(-1.0f, 1.0f) * 67108864.0f; // up to 2^26
    case 2:
        return (r.below(2) ? 1.0f : -1.0f) * (67108864.0f - static_cast<float>(r.below(3)) * 8.0f);
    case 3:
        return r.below(2) ? 67108864.0f : -67108864.0f;
    case 4:
        return centre + (r.below(2) ? 1.0f : -1.0f) * (1048576.0f + r.range(-64.0f, 64.0f));
    case 5:
        return r.below(3) == 0 ? NAN : (r.below(2) ? INFINITY : -INFINITY);
    default:
        return centre + r.range(-40.0f, 40.0f);
    }
}

TEST_F(SetupReference, SetUpGivesThePlainSetUpsAnswerAndRecordForAnyCoordinates)
{
    TestRandom r(9157);
    int drawn = 0, rejected = 0;
    for (int n = 0; n < 400000; n++) {
        RasterTriangle t{};
        const bool wild = n % 4 == 0;
        const float cx = r.range(-60.0f, 700.0f), cy = r.range(-60.0f, 540.0f);
        const float size = n % 3 == 0 ? r.range(0.1f, 4.0f) : r.range(1.0f, 400.0f);
        for (int k = 0; k < 3; k++) {
            t.v[k].x = wild && r.below(3) == 0 ? random_coordinate(r, cx) : cx + r.range(-size, size);
            t.v[k].y = wild && r.below(3) == 0 ? random_coordinate(r, cy) : cy + r.range(-size, size);
            if (r.below(4) == 0) {
                t.v[k].x = std::floor(t.v[k].x) + (r.below(2) ? 0.5f : 0.0f);
                t.v[k].y = std::floor(t.v[k].y) + (r.below(2) ? 0.5f : 0.0f);
            }
        }
        if (r.below(50) == 0)
            t.v[2] = t.v[r.below(2)]; // a repeated vertex
        if (n % 8 == 1) {
            // An edge exactly 2^20 pixels long on the line x = x0 or y = y0
            // within a pixel of 0, the third vertex within a pixel of that
            // line: its step is +-2^31 (1/32 pixel x 64) while the constant and
            // the area still fit, the limit of 32 bits before and after a back
            // face turns.
            const float apart = r.below(2) ? 1048576.0f : -1048576.0f;
            const int k = static_cast<int>(r.below(3));
            ScreenVertex& p = t.v[k];
            ScreenVertex& q = t.v[(k + 1) % 3];
            ScreenVertex& o = t.v[(k + 2) % 3];
            const bool vertical = r.below(2);
            float* pc[2] = {&p.x, &p.y};
            float* qc[2] = {&q.x, &q.y};
            float* oc[2] = {&o.x, &o.y};
            const int along = vertical ? 1 : 0, across = 1 - along;
            *pc[across] = r.range(-0.9f, 0.9f);
            *qc[across] = r.below(2) ? *pc[across] : r.range(-0.9f, 0.9f);
            *oc[across] = r.range(-0.9f, 0.9f);
            *pc[along] = std::floor(vertical ? cy : cx);
            *qc[along] = *pc[along] + apart;
            *oc[along] = *pc[along] + r.range(-300.0f, 300.0f);
        }
        t.flags = r.below(2) ? RASTER_TWO_SIDED : 0u;
        RasterTriangle expect = t, got = t;
        const int32_t want = raster_reference::setup_triangle_plain(&expect);
        ASSERT_EQ(setup_triangle(&got), want)
            << "triangle " << n << ": " << t.v[0].x << "," << t.v[0].y << " " << t.v[1].x << "," << t.v[1].y
            << " " << t.v[2].x << "," << t.v[2].y << " flags " << t.flags;
        if (want) {
            rejected++;
            continue;
        }
        drawn++;
        for (int i = 0; i < 3; i++) {
            ASSERT_EQ(got.edges[i].x_step, expect.edges[i].x_step) << n;
            ASSERT_EQ(got.edges[i].y_step, expect.edges[i].y_step) << n;
            ASSERT_EQ(got.edges[i].constant, expect.edges[i].constant) << n;
            ASSERT_EQ(got.edges[i].direction, expect.edges[i].direction) << n;
        }
        ASSERT_EQ(got.area, expect.area) << n;
        ASSERT_EQ(got.min_x, expect.min_x) << n;
        ASSERT_EQ(got.min_y, expect.min_y) << n;
        ASSERT_EQ(got.max_x, expect.max_x) << n;
        ASSERT_EQ(got.max_y, expect.max_y) << n;
        ASSERT_EQ(got.inverse_area, expect.inverse_area) << n;
    }
    EXPECT_GT(drawn, 100000);
    EXPECT_GT(rejected, 50000);
}

TEST_F(SetupReference, EveryColourAndSingleTextureModeMatchesTheLongWay)
{
    Texture* tex = texture_create_mipmapped(64, 64);
    ASSERT_NE(tex, nullptr);
    TestRandom tr(77);
    for (int i = 0; i < 64 * 64; i++)
        tex->pixels[i] = tr.below(6) == 0 ? KEY_COLOUR : tr.next();
    ASSERT_EQ(texture_build_mips(tex), 0);
    const uint32_t modes[] = {1,  2,  16, 17, 18, 33,  34,  65,   81,   4, 5,  6,   20,  21, 22,
                              36, 37, 38, 52, 53, 148, 532, 8196, 8212, 8, 24, 152, 260, 276};
    for (uint32_t mode : modes) {
        TestRandom r(9000 + mode);
        std::vector<uint32_t> expect(640 * 480);
        std::vector<int32_t> expect_depth(640 * 480);
        for (int i = 0; i < 640 * 480; i++) {
            surface_.pixels[i] = expect[i] = r.next();
            depth_buffer->values[i] = expect_depth[i] = static_cast<int32_t>(r.below(40000)) - 20000;
        }
        for (int n = 0; n < 400; n++) {
            RasterTriangle t = random_triangle(r, n < 200 ? 30.0f : 250.0f);
            if (mode & (FILL_PERSPECTIVE))
                for (auto& v : t.v)
                    v.z = r.range(0.01f, 1.0f);
            if (mode & FILL_MIPMAP) {
                float scale = r.range(0.5f, 80.0f);
                for (auto& v : t.v) {
                    v.u *= scale;
                    v.v *= scale;
                }
            }
            draw_both(t, mode, tex, expect.data(), expect_depth.data());
        }
        EXPECT_EQ(differences(expect.data(), expect_depth.data()), 0) << "mode " << mode;
        EXPECT_TRUE(guards_intact());
    }
    texture_free(tex);
}

// The four-pixel spans take shortcuts that must give the per-pixel bits:
// groups every lane of which is drawn store without reading the frame, and
// lanes outside the span or behind the depth buffer read another lane's
// texel. Here the top half of the depth buffer is clear (whole groups pass),
// the bottom half random (groups pass in part); slivers give spans of one to
// three pixels, and steep texture coordinates make the lanes past a span's
// end address texels far away.
TEST_F(SetupReference, WholeAndPartlyHiddenGroupsAndSlivers)
{
    TestTexture tex(7, 6);
    TestRandom tr(515);
    for (auto& p : tex.pixels)
        p = tr.below(4) == 0 ? KEY_COLOUR : tr.below(4) == 0 ? 0xFF000000u : tr.next();
    const uint32_t modes[] = {1,  2,  17, 18, 33, 34, 65, 81, 4,   5,    6,
                              20, 21, 22, 36, 37, 38, 52, 53, 532, 8196, 8212};
    for (uint32_t mode : modes) {
        TestRandom r(600 + mode);
        std::vector<uint32_t> expect(640 * 480);
        std::vector<int32_t> expect_depth(640 * 480);
        for (int i = 0; i < 640 * 480; i++) {
            surface_.pixels[i] = expect[i] = r.next();
            depth_buffer->values[i] = expect_depth[i] =
                i < 640 * 240 ? DEPTH_CLEAR : static_cast<int32_t>(r.below(40000)) - 20000;
        }
        for (int n = 0; n < 600; n++) {
            RasterTriangle t = random_triangle(r, n % 3 == 0 ? 3.0f : n % 3 == 1 ? 12.0f : 120.0f);
            if (n % 4 == 0) {
                // a sliver: one vertex close to the line through the other two
                float k = r.range(0.0f, 1.0f);
                t.v[2].x = t.v[0].x + k * (t.v[1].x - t.v[0].x) + r.range(-1.5f, 1.5f);
                t.v[2].y = t.v[0].y + k * (t.v[1].y - t.v[0].y) + r.range(-1.5f, 1.5f);
            }
            if (n % 5 == 0)
                for (auto& v : t.v) {
                    v.u *= 40.0f;
                    v.v *= 40.0f;
                }
            draw_both(t, mode, &tex.t, expect.data(), expect_depth.data());
        }
        EXPECT_EQ(differences(expect.data(), expect_depth.data()), 0) << "mode " << mode;
        EXPECT_TRUE(guards_intact());
    }
}

// The textured add modes where the sum saturates or the flat factor leaves
// almost nothing to add: the frame is made of runs of white, of pixels with
// some bytes at 255 and of any colour, and the flat colours have bytes of 0,
// 1 and 2 (a factor of 2 still adds 1 to a texel byte of 128 or more). A
// shortcut that keeps such pixels without reading the texel must give these
// bits.
TEST_F(SetupReference, AddModesOverSaturatedPixelsMatchTheLongWay)
{
    TestTexture tex(6, 6);
    TestRandom tr(3131);
    for (auto& p : tex.pixels)
        p = tr.below(4) == 0 ? 0u : tr.below(3) == 0 ? 0xFFFFFFFFu : tr.next();
    const uint32_t flats[] = {0u,          0x01010101u, 0x00000001u, 0x02020202u, 0x01000101u,
                              0x00FFFFFFu, 0xFF000000u, 0x02010001u, 0xFFFFFFFFu};
    const uint32_t modes[] = {36, 37, 38, 52, 53};
    for (uint32_t mode : modes) {
        TestRandom r(700 + mode);
        std::vector<uint32_t> expect(640 * 480);
        std::vector<int32_t> expect_depth(640 * 480);
        for (int i = 0; i < 640 * 480; i += 16) {
            const uint32_t kind = r.below(3);
            for (int j = i; j < i + 16; j++) {
                uint32_t c = 0xFFFFFFFFu;
                if (kind == 1) // some bytes at 255, one of them perhaps lowered
                    c = r.next() | (0xFFu << (8 * r.below(4))) | (0xFFu << (8 * r.below(4)));
                else if (kind == 2 && r.below(2) == 0)
                    c = r.next();
                surface_.pixels[j] = expect[j] = c;
                depth_buffer->values[j] = expect_depth[j] =
                    j < 640 * 240 ? DEPTH_CLEAR : static_cast<int32_t>(r.below(40000)) - 20000;
            }
        }
        const std::vector<uint32_t> before = expect;
        for (int n = 0; n < 400; n++) {
            RasterTriangle t = random_triangle(r, n % 2 == 0 ? 6.0f : 90.0f);
            t.flat_colour = r.below(4) == 0 ? r.next() : flats[r.below(9)];
            draw_both(t, mode, &tex.t, expect.data(), expect_depth.data());
        }
        EXPECT_EQ(differences(expect.data(), expect_depth.data()), 0) << "mode " << mode;
        int changed = 0;
        for (int i = 0; i < 640 * 480; i++)
            changed += before[i] != expect[i];
        EXPECT_GT(changed, 10000) << "mode " << mode;
        EXPECT_TRUE(guards_intact());
    }
}

} // namespace

namespace
{

// Set-up in 64 bits with the 32-bit fit checks (steps, constants, area, edge
// values at the box origin); otherwise as ref_setup.
int ref_setup_wide(const RasterTriangle& t, RefSetup* s)
{
    auto fits = [](int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; };
    int64_t X[3], Y[3];
    for (int k = 0; k < 3; k++) {
        double x = std::trunc(static_cast<double>(t.v[k].x) * 32.0),
               y = std::trunc(static_cast<double>(t.v[k].y) * 32.0);
        if (!(std::fabs(x) < 2147483648.0 && std::fabs(y) < 2147483648.0))
            return 1;
        X[k] = static_cast<int64_t>(x);
        Y[k] = static_cast<int64_t>(y);
    }
    int64_t xs[3], ys[3], c[3];
    for (int i = 0; i < 3; i++) {
        int p = i, q = (i + 1) % 3;
        int64_t dy = Y[p] - Y[q], dx = X[q] - X[p];
        c[i] = -(X[p] + X[q]) * dy - (Y[p] + Y[q]) * dx;
        xs[i] = dy * 64;
        ys[i] = dx * 64;
        s->dir[i] = (xs[i] >= 0 ? 8 : 0) + (ys[i] >= 0 ? 1 : 0);
        if (!(xs[i] > 0 || (xs[i] == 0 && ys[i] <= 0)))
            c[i] -= 1;
        if (!fits(xs[i]) || !fits(ys[i]) || !fits(c[i]) || !fits(-xs[i]) || !fits(-ys[i]) || !fits(-c[i]))
            return 1;
    }
    int64_t area = c[0] + c[1] + c[2];
    if (!fits(area) || (area >= -15 && area <= 0))
        return 1;
    if (area < 0) {
        if (!(t.flags & 1u))
            return 1;
        for (int i = 0; i < 3; i++)
            xs[i] = -xs[i], ys[i] = -ys[i], c[i] = -c[i];
        area = -area;
    }
    for (int i = 0; i < 3; i++)
        s->xs[i] = static_cast<int32_t>(xs[i]), s->ys[i] = static_cast<int32_t>(ys[i]),
        s->c[i] = static_cast<int32_t>(c[i]);
    s->area = static_cast<int32_t>(area);
    int xcode = 0, ycode = 0;
    for (int i = 0; i < 3; i++) {
        xcode += (s->dir[i] & 1) << i;
        ycode += ((s->dir[i] >> 3) & 1) << i;
    }
    if (xcode < 1 || xcode > 6 || ycode < 1 || ycode > 6)
        return 1;
    static const int first[7] = {-1, 0, 1, 0, 2, 2, 1};
    static const int second[7] = {-1, 1, 2, 2, 0, 1, 0};
    s->min_x = std::max(0, static_cast<int32_t>(t.v[first[xcode]].x));
    s->max_x = std::min(639, static_cast<int32_t>(t.v[second[xcode]].x + 1.0f));
    s->min_y = std::max(0, static_cast<int32_t>(t.v[second[ycode]].y));
    s->max_y = std::min(479, static_cast<int32_t>(t.v[first[ycode]].y + 1.0f));
    if (s->min_x > s->max_x || s->min_y > s->max_y)
        return 1;
    for (int i = 0; i < 3; i++)
        if (!fits(xs[i] * s->min_x + ys[i] * s->min_y + c[i]))
            return 1;
    s->inverse_area = static_cast<float>(2048.0 / static_cast<double>(area));
    return 0;
}

// Values whose gradients leave the 32-bit range (huge, infinite, not a
// number) take the lowest integer, as double_to_int does; ordinary ones are
// truncated. The plain form: three double sums, each converted on its own.
TEST_F(SetupReference, InterpolantsOutsideTheIntegerRangeTakeTheLowestInteger)
{
    const float wild[] = {0.0f,     1.0f,   -255.0f, 3.0e9f,   -3.0e9f,   1.0e30f,
                          -1.0e30f, 2.1e9f, -2.2e9f, INFINITY, -INFINITY, NAN};
    TestRandom r(2718);
    int checked = 0;
    for (int n = 0; n < 20000; n++) {
        RasterTriangle t = random_triangle(r, n % 2 ? 4.0f : 400.0f);
        if (setup_triangle(&t))
            continue;
        float v[3];
        for (float& x : v)
            x = r.below(2) ? wild[r.below(12)] : r.range(-1.0e7f, 1.0e7f);
        const float k = t.inverse_area, kc = k * v[2], ka = k * v[0], kb = k * v[1];
        double sums[3];
        for (int j = 0; j < 3; j++) {
            auto word = [&](int e) {
                return j == 0 ? t.edges[e].x_step : j == 1 ? t.edges[e].y_step : t.edges[e].constant;
            };
            sums[j] = static_cast<double>(word(0)) * kc + static_cast<double>(word(1)) * ka +
                      static_cast<double>(word(2)) * kb;
        }
        const int32_t xs = double_to_int(sums[0]), ys = double_to_int(sums[1]), cs = double_to_int(sums[2]);
        const uint32_t start = static_cast<uint32_t>(ys) * static_cast<uint32_t>(t.min_y) +
                               static_cast<uint32_t>(cs) +
                               static_cast<uint32_t>(xs) * static_cast<uint32_t>(t.min_x) + 1024u;
        const Interpolant g = setup_interpolant(&t, v[0], v[1], v[2]);
        ASSERT_EQ(g.x_step, xs) << n << ": " << v[0] << " " << v[1] << " " << v[2];
        ASSERT_EQ(g.y_step, ys) << n;
        ASSERT_EQ(g.start, static_cast<int32_t>(start)) << n;
        checked++;
    }
    EXPECT_GT(checked, 5000);
}

class WideSetupReference : public RasterFixture
{
};

// Tall triangles reaching far above and below the screen (the unclipped path):
// their edge values wrap across the box, and the walk must step them as the
// 32-bit record does.
TEST_F(WideSetupReference, TallTrianglesWhoseEdgeValuesWrapAcrossTheBoxMatchTheLiteralWalk)
{
    TestRandom r(31337);
    std::vector<uint32_t> expect(640 * 480, 0xFF000000u);
    int drawn = 0, wrapping = 0;
    for (int n = 0; n < 6000; n++) {
        RasterTriangle t{};
        for (int k = 0; k < 3; k++)
            t.v[k] = sv(r.range(-30.0f, 400.0f), r.range(-2500.0f, 2500.0f), r.range(-1, 1), r.next());
        t.flags = r.below(2);
        RefSetup s{};
        RasterTriangle got = t;
        int expect_reject = ref_setup_wide(t, &s);
        ASSERT_EQ(setup_triangle(&got), expect_reject) << n;
        if (expect_reject)
            continue;
        drawn++;
        bool wraps = false;
        for (int i = 0; i < 3; i++)
            for (int corner = 0; corner < 4; corner++) {
                int64_t x = corner & 1 ? s.max_x : s.min_x, y = corner & 2 ? s.max_y : s.min_y;
                int64_t e = int64_t{s.xs[i]} * x + int64_t{s.ys[i]} * y + s.c[i];
                wraps = wraps || e < INT32_MIN || e > INT32_MAX;
            }
        wrapping += wraps;
        // literal walk, flat colour per triangle
        uint32_t colour = 0xFF000000u | (r.next() & 0xFFFFFFu);
        raster_reference::walk(ref_box(s), {}, [&](int i, const int32_t*) { expect[i] = colour; });
        t.flat_colour = colour;
        draw_triangles(&t, 1, nullptr, FILL_FLAT);
    }
    EXPECT_GT(drawn, 100);
    EXPECT_GT(wrapping, 8);
    EXPECT_EQ(frame(), expect);
    EXPECT_TRUE(guards_intact());
}

} // namespace

namespace
{

class FrameCornerReference : public RasterFixture
{
};

// Short spans on the last rows, ending at or near the frame's last pixel,
// where the four-pixel groups cannot read past the span.
TEST_F(FrameCornerReference, SpansEndingAtTheLastPixelsOfTheFrameMatchTheLongWay)
{
    TestTexture tex(4, 4);
    TestRandom r(64);
    for (auto& p : tex.pixels)
        p = r.below(5) == 0 ? KEY_COLOUR : r.next();
    const uint32_t modes[] = {1,  2,  17, 18, 33, 34, 65, 81, 4,   5,    6,
                              20, 21, 22, 36, 37, 38, 52, 53, 532, 8196, 8212};
    for (uint32_t mode : modes) {
        std::vector<uint32_t> expect(640 * 480);
        std::vector<int32_t> expect_depth(640 * 480);
        for (int i = 0; i < 640 * 480; i++) {
            surface_.pixels[i] = expect[i] = r.next();
            depth_buffer->values[i] = expect_depth[i] = static_cast<int32_t>(r.below(40000)) - 20000;
        }
        const std::vector<uint32_t> before = expect;
        for (int n = 0; n < 60; n++) {
            // a right-angled triangle whose right edge runs down to the corner
            float right = 640.0f - static_cast<float>(r.below(4)) - (r.below(2) ? 0.5f : 0.0f);
            float width = 1.0f + static_cast<float>(r.below(9));
            float top = 480.0f - 1.0f - static_cast<float>(r.below(3));
            RasterTriangle t{};
            t.v[0] = ScreenVertex{
                right - width, 480.5f, r.range(-1, 1), 1, r.next(), r.range(0, 2), r.range(0, 2), 0, 0};
            t.v[1] =
                ScreenVertex{right, top, r.range(-1, 1), 1, r.next(), r.range(0, 2), r.range(0, 2), 0, 0};
            t.v[2] =
                ScreenVertex{right, 480.5f, r.range(-1, 1), 1, r.next(), r.range(0, 2), r.range(0, 2), 0, 0};
            t.flat_colour = r.next();
            t.flags = 1;
            draw_both(t, mode, &tex.t, expect.data(), expect_depth.data());
        }
        EXPECT_EQ(differences(expect.data(), expect_depth.data()), 0) << "mode " << mode;
        EXPECT_TRUE(guards_intact());
        int last_row = 0;
        for (int x = 630; x < 640; x++)
            last_row += expect[479 * 640 + x] != before[479 * 640 + x];
        EXPECT_GT(last_row, 2) << "mode " << mode;
    }
}

} // namespace

// The attribute sets convert a triangle's edges once for all their members;
// each member must be the interpolant set up on its own.
TEST_F(SetupReference, AttributeSetsEqualTheirInterpolantsSetUpOneByOne)
{
    TestRandom r(4242);
    TestTexture tex(6, 5);
    auto same = [](const Interpolant& a, const Interpolant& b) {
        return a.x_step == b.x_step && a.y_step == b.y_step && a.start == b.start;
    };
    int checked = 0;
    for (int n = 0; n < 5000; n++) {
        RasterTriangle t = random_triangle(r, n % 2 ? 6.0f : 300.0f);
        for (ScreenVertex& v : t.v) {
            v.z = r.range(0.01f, 1.0f);
            v.u2 = r.range(-3.0f, 3.0f);
            v.v2 = r.range(-3.0f, 3.0f);
        }
        if (setup_triangle(&t))
            continue;
        const float w = 64.0f, h = 32.0f;
        const Interpolant depth = raster_depth_interpolant(&t);
        ASSERT_TRUE(same(
            depth, setup_interpolant(&t, t.v[0].z * 16383.0f, t.v[1].z * 16383.0f, t.v[2].z * 16383.0f)));
        Interpolant colour[4], texture[2], second[2], perspective[3];
        raster_colour_interpolants(&t, colour);
        for (int c = 0; c < 4; c++) {
            auto ch = [&](int k) { return static_cast<float>((t.v[k].colour >> (8 * c)) & 0xFFu); };
            ASSERT_TRUE(same(colour[c], setup_interpolant(&t, ch(0), ch(1), ch(2)))) << n << " channel " << c;
        }
        raster_texture_interpolants(&t, &tex.t, texture);
        ASSERT_TRUE(same(texture[0], setup_interpolant(&t, t.v[0].u * w, t.v[1].u * w, t.v[2].u * w)));
        ASSERT_TRUE(same(texture[1], setup_interpolant(&t, t.v[0].v * h, t.v[1].v * h, t.v[2].v * h)));
        raster_second_interpolants(&t, &tex.t, second);
        ASSERT_TRUE(same(second[0], setup_interpolant(&t, t.v[0].u2 * w, t.v[1].u2 * w, t.v[2].u2 * w)));
        ASSERT_TRUE(same(second[1], setup_interpolant(&t, t.v[0].v2 * h, t.v[1].v2 * h, t.v[2].v2 * h)));
        ASSERT_TRUE(raster_perspective_interpolants(&t, &tex.t, perspective));
        float up[3], vp[3], s[3];
        for (int k = 0; k < 3; k++) {
            s[k] = static_cast<float>(256.0 / static_cast<double>(t.v[k].z));
            up[k] = w * t.v[k].u * s[k];
            vp[k] = s[k] * (h * t.v[k].v);
        }
        ASSERT_TRUE(same(perspective[0], setup_interpolant(&t, up[0], up[1], up[2])));
        ASSERT_TRUE(same(perspective[1], setup_interpolant(&t, vp[0], vp[1], vp[2])));
        ASSERT_TRUE(same(perspective[2], setup_interpolant(&t, s[0], s[1], s[2])));
        checked++;
    }
    EXPECT_GT(checked, 2000);
}
