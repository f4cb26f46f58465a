// The polygon clipper and mesh drawing: winding, exact plane values, colour
// rounding, buffer bounds, non-finite input, fan order, the window-only path
// near the camera, and the flush of the triangle-list buffer.
#include "raster_fixture.h"

#include "scene/mesh.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace
{

MeshVertex mv(float x, float y, float z, uint32_t colour = 0xFFFFFFFFu, float u = 0, float v = 0)
{
    MeshVertex m{};
    m.x = 100 + x; // object position: only to see which endpoint a new vertex copies
    m.tx = x;
    m.ty = y;
    m.tz = z;
    m.tw = 1.0f;
    m.u = u;
    m.v = v;
    m.u2 = x;
    m.v2 = y;
    m.colour = colour;
    return m;
}

double signed_area(const MeshVertex* p, int n)
{
    double s = 0;
    for (int i = 0; i < n; i++) {
        const MeshVertex& a = p[i];
        const MeshVertex& b = p[(i + 1) % n];
        s += static_cast<double>(a.tx) * b.ty - static_cast<double>(b.tx) * a.ty;
    }
    return s;
}

class RasterClip : public RasterFixture
{
};

TEST_F(RasterClip, NearPlaneKeepsInsideTrianglesAndRotatesThem)
{
    set_depth_clip(2.0f, 100.0f);
    MeshVertex in[3] = {mv(0, 0, -2.0f), mv(1, 0, -2.0f), mv(0, 1, -2.0f)}, out[CLIP_BUFFER_SIZE];
    ASSERT_EQ(clip_near(in, 3, out), 3);
    EXPECT_EQ(out[0].tx, 1.0f);
    EXPECT_EQ(out[1].ty, 1.0f);
    EXPECT_EQ(out[2].tx, 0.0f);
    EXPECT_EQ(out[2].ty, 0.0f);
}

TEST_F(RasterClip, NearIntersectionsLieExactlyOnThePlaneWithRoundedColourBlends)
{
    set_depth_clip(1.0f, 100.0f); // plane at z = -1
    // V0 in front of the plane (outside); t = 0.5 on both crossing edges.
    MeshVertex in[3] = {mv(0, 0, 1.0f, 0x10203040u, 0.0f, 0.0f), mv(4, 0, -3.0f, 0x21FF0041u, 1.0f, 0.0f),
                        mv(0, 4, -3.0f, 0x30405060u, 0.0f, 1.0f)};
    MeshVertex out[CLIP_BUFFER_SIZE];
    int n = clip_near(in, 3, out);
    ASSERT_EQ(n, 4);
    // Walk: (0->1) entering: I01, V1; (1->2): V2; (2->0) leaving: I20.
    EXPECT_EQ(out[0].tz, -1.0f);
    EXPECT_EQ(out[1].tx, 4.0f);
    EXPECT_EQ(out[2].ty, 4.0f);
    EXPECT_EQ(out[3].tz, -1.0f);
    EXPECT_FLOAT_EQ(out[0].tx, 2.0f);
    EXPECT_FLOAT_EQ(out[0].u, 0.5f);
    // Per byte trunc(a + (b - a) t + 0.5), t = 0.5 measured from cur (V0).
    // 0x10,0x21 -> 24.5+.5 = 25; 0x20,0xFF -> 143.5+.5 = 144; 0x30,0x00 -> 24; 0x40,0x41 -> 64.5+.5 = 65
    EXPECT_EQ(out[0].colour, 0x19901841u);
    // Leaving edge V2 -> V0: cur = V2, t = (-1 - -3) / (1 - -3) = 0.5.
    EXPECT_EQ(out[3].colour, 0x20304050u);
    // New vertices copy the object position and second set of the outside end.
    EXPECT_EQ(out[0].x, 100.0f);
    EXPECT_EQ(out[3].x, 100.0f);
    EXPECT_EQ(out[3].u2, 0.0f);
    EXPECT_GT(signed_area(out, n) * signed_area(in, 3), 0.0);
}

TEST_F(RasterClip, WindowEdgesGiveExactPlaneValuesKeepWindingAndClampColours)
{
    set_clip_window(0, 0, 640, 480);
    TestRandom r(17);
    for (int k = 0; k < 500; k++) {
        MeshVertex a[CLIP_BUFFER_SIZE], b[CLIP_BUFFER_SIZE];
        for (int i = 0; i < 3; i++)
            a[i] = mv(r.range(-300, 940), r.range(-300, 780), r.range(-1, 1), r.next());
        double area = signed_area(a, 3);
        if (std::fabs(area) < 1.0)
            continue;
        int n = 3;
        int32_t (*planes[4])(const MeshVertex*, int32_t, MeshVertex*) = {clip_left, clip_right, clip_top,
                                                                         clip_bottom};
        const float values[4] = {0.0f, 640.0f, 0.0f, 480.0f};
        MeshVertex* cur = a;
        MeshVertex* other = b;
        for (int p = 0; p < 4 && n >= 3; p++) {
            int m = planes[p](cur, n, other);
            ASSERT_LE(m, CLIP_BUFFER_SIZE);
            for (int i = 0; i < m; i++) {
                float c = p < 2 ? other[i].tx : other[i].ty;
                bool is_new = true;
                for (int j = 0; j < n; j++)
                    if (std::memcmp(&other[i], &cur[j], sizeof(MeshVertex)) == 0)
                        is_new = false;
                if (is_new) {
                    ASSERT_EQ(c, values[p]);
                }
                if (p == 0) {
                    ASSERT_GE(other[i].tx, 0.0f);
                }
                if (p == 1) {
                    ASSERT_LE(other[i].tx, 640.0f);
                }
            }
            if (m >= 3) {
                ASSERT_GT(signed_area(other, m) * area, 0.0) << "winding flipped";
            }
            n = m;
            std::swap(cur, other);
        }
        if (n >= 3) {
            ASSERT_LE(n, 7);
        }
    }
}

TEST_F(RasterClip, WindowColourBlendUsesTheSlopeRoundedAndClamped)
{
    set_clip_window(10, 0, 100, 480);
    // Edge from x = 0 (outside) to x = 40 (inside) crosses x = 10 at a quarter.
    MeshVertex in[3] = {mv(0, 0, 0, 0x00FF0010u), mv(40, 0, 0, 0xFF0080F0u), mv(40, 40, 0, 0xFF0080F0u)};
    MeshVertex out[CLIP_BUFFER_SIZE];
    int n = clip_left(in, 3, out);
    ASSERT_EQ(n, 4);
    // Edge 2 -> 0 leaves: cur = (40,40), dc = -40, along = -30: byte = a + ((b - a) / dc) x along + 0.5.
    // Edge 0 -> 1 enters: cur = (0,0): 0x00->0xFF: 63.75+.5 -> 64; 0xFF->0x00 -> 191.25+.5 -> 191;
    // 0x00->0x80 -> 32; 0x10->0xF0 -> 16 + 56 + .5 -> 72.
    EXPECT_EQ(out[0].tx, 10.0f);
    EXPECT_EQ(out[0].ty, 0.0f); // no change along the other coordinate: cur's value exactly
    EXPECT_EQ(out[0].colour, 0x40BF2048u);
    EXPECT_EQ(out[3].tx, 10.0f);
    EXPECT_FLOAT_EQ(out[3].ty, 10.0f);
}

TEST_F(RasterClip, AVertexExactlyOnTheRightEdgeIsKeptUnchanged)
{
    set_clip_window(0, 0, 640, 480);
    MeshVertex in[3] = {mv(600, 10, 0), mv(640, 200, 0), mv(600, 300, 0)}, out[CLIP_BUFFER_SIZE];
    ASSERT_EQ(clip_right(in, 3, out), 3);
    EXPECT_EQ(std::memcmp(&out[0], &in[1], sizeof(MeshVertex)), 0);
}

TEST_F(RasterClip, NonFiniteCoordinatesAndOversizedPolygonsClipToNothing)
{
    MeshVertex in[CLIP_BUFFER_SIZE + 1], out[CLIP_BUFFER_SIZE];
    for (int i = 0; i < CLIP_BUFFER_SIZE + 1; i++)
        in[i] = mv(static_cast<float>(i), static_cast<float>(i * i % 7), -5.0f);
    EXPECT_EQ(clip_near(in, CLIP_BUFFER_SIZE + 1, out), 0);
    in[1].tz = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(clip_near(in, 3, out), 0);
    in[1].tz = -5.0f;
    in[2].tx = std::numeric_limits<float>::infinity();
    EXPECT_EQ(clip_left(in, 3, out), 0);
    // A zig-zag of twelve vertices across the plane never overflows the output.
    for (int i = 0; i < CLIP_BUFFER_SIZE; i++)
        in[i] = mv(static_cast<float>(i), 0, i % 2 ? 5.0f : -5.0f);
    EXPECT_LE(clip_near(in, CLIP_BUFFER_SIZE, out), CLIP_BUFFER_SIZE);
}

// A camera looking down -z from the origin, whose screen matrix is applied by
// the drawing; view is the identity so camera space is world space.
Camera test_camera()
{
    Camera c{};
    c.eye = Vec3{0, 0, 0};
    c.target = Vec3{0, 0, -1};
    c.near = 1.0f;
    c.far = 100.0f;
    c.fov = 90.0f;
    c.viewport_width = 640;
    c.viewport_height = 480;
    camera_update(&c);
    return c;
}

Mesh* one_triangle_mesh(const MeshVertex& a, const MeshVertex& b, const MeshVertex& c, uint32_t colour)
{
    Mesh* m = mesh_create(3, 1);
    m->vertices[0] = a;
    m->vertices[1] = b;
    m->vertices[2] = c;
    m->triangles[0] = MeshTriangle{0, 1, 2, 0, 0, 0, 0, 0, 0, 0, colour, colour, 1, 0};
    return m;
}

TEST_F(RasterClip, AQuadFromClippingIsDrawnAsTheFan012And023)
{
    Camera cam = test_camera();
    set_depth_clip(cam.near, cam.far);
    // Camera-space z: the first vertex lies in front of the near plane.
    MeshVertex a = mv(0, 0.3f, -0.5f, 0xFFFF0000u), b = mv(3, -2, -6.0f, 0xFF00FF00u),
               c = mv(-3, -2, -6.0f, 0xFF0000FFu);
    Mesh* mesh = one_triangle_mesh(a, b, c, 0xFFFFFFFFu);
    mesh->flags = MESH_TWO_SIDED;
    draw_mesh_clipped(mesh, &cam, 18);
    std::vector<uint32_t> drawn = frame();
    // Expected: clip_near, project, the four window planes (each passes the
    // quad through, turned by one vertex), then (0, 1, 2) and (0, 2, 3).
    clear(0xFF000000u);
    MeshVertex in[3] = {a, b, c}, q[CLIP_BUFFER_SIZE], w[CLIP_BUFFER_SIZE];
    ASSERT_EQ(clip_near(in, 3, q), 4);
    project_vertices(&cam.screen, q, 4);
    ASSERT_EQ(clip_left(q, 4, w), 4);
    ASSERT_EQ(clip_right(w, 4, q), 4);
    ASSERT_EQ(clip_top(q, 4, w), 4);
    ASSERT_EQ(clip_bottom(w, 4, q), 4);
    for (int k = 1; k <= 2; k++) {
        RasterTriangle t{};
        const MeshVertex* p[3] = {&q[0], &q[k], &q[k + 1]};
        for (int i = 0; i < 3; i++)
            t.v[i] = ScreenVertex{p[i]->tx, p[i]->ty, p[i]->tz, p[i]->tw, p[i]->colour,
                                  p[i]->u,  p[i]->v,  p[i]->u2, p[i]->v2};
        t.flat_colour = 0xFFFFFFFFu;
        t.flags = RASTER_TWO_SIDED;
        draw_triangles(&t, 1, nullptr, 18);
    }
    int lit = 0;
    for (uint32_t p : drawn)
        lit += p != 0xFF000000u;
    EXPECT_GT(lit, 1000);
    EXPECT_EQ(drawn, frame());
    mesh_free(mesh);
}

TEST_F(RasterClip, TheWindowOnlyPathClipsTheNearPlaneOnlyForTrianglesReachingPastIt)
{
    Camera cam = test_camera();
    set_depth_clip(cam.near, cam.far);
    // Wholly beyond the near plane: the window-only path draws exactly the
    // projected triangle (no near clip, so no rotation of its vertices).
    MeshVertex a = mv(-1, 1, -4), b = mv(1, 1, -4.5f), c = mv(0, -1, -5);
    Mesh* mesh = one_triangle_mesh(a, b, c, 0xFF00FF00u);
    draw_mesh(mesh, &cam, 1, CLIP_WINDOW);
    std::vector<uint32_t> window_only = frame();
    clear(0xFF000000u);
    draw_mesh(mesh, &cam, 1, 0);
    EXPECT_EQ(window_only, frame());
    mesh_free(mesh);
    // A vertex behind the camera: never projected through w <= 0.
    clear(0xFF000000u);
    MeshVertex behind = mv(0, 0.5f, 3.0f);
    mesh = one_triangle_mesh(a, b, behind, 0xFF00FF00u);
    mesh->flags = MESH_TWO_SIDED;
    draw_mesh(mesh, &cam, 1, CLIP_WINDOW);
    std::vector<uint32_t> window_path = frame();
    clear(0xFF000000u);
    draw_mesh_clipped(mesh, &cam, 1);
    EXPECT_EQ(window_path, frame());
    EXPECT_TRUE(guards_intact());
    mesh_free(mesh);
}

TEST_F(RasterClip, InvisibleTrianglesAreSkippedOnEveryPathAndAlphaZeroIsDrawn)
{
    Camera cam = test_camera();
    set_depth_clip(cam.near, cam.far);
    Mesh* mesh = one_triangle_mesh(mv(-1, 1, -4), mv(1, 1, -4), mv(0, -1, -4), 0x00FFFFFFu);
    for (uint32_t flags : {0u, uint32_t(CLIP_WINDOW), uint32_t(CLIP_NEAR | CLIP_WINDOW)}) {
        mesh->triangles[0].visible = 0;
        mesh->vertices[0].tx = -1; // the unclipped path projected in place: restore
        mesh->vertices[0].ty = 1;
        mesh->vertices[0].tz = -4;
        draw_mesh(mesh, &cam, 1, flags);
        EXPECT_EQ(frame(), std::vector<uint32_t>(640 * 480, 0xFF000000u));
    }
    Mesh* fresh = one_triangle_mesh(mv(-1, 1, -4), mv(1, 1, -4), mv(0, -1, -4), 0x00FFFFFFu);
    draw_mesh_clipped(fresh, &cam, 1);
    EXPECT_EQ(px(320, 240), 0x00FFFFFFu);
    // Out-of-range indices are skipped rather than read.
    fresh->triangles[0].c = 7;
    clear(0xFF000000u);
    draw_mesh_clipped(fresh, &cam, 1);
    draw_mesh(fresh, &cam, 1, 0);
    EXPECT_EQ(frame(), std::vector<uint32_t>(640 * 480, 0xFF000000u));
    mesh_free(mesh);
    mesh_free(fresh);
}

TEST_F(RasterClip, TriangleListsLargerThanTheBufferAreDrawnInOrderAndTrailingVerticesIgnored)
{
    Camera cam = test_camera();
    set_depth_clip(cam.near, cam.far);
    TestRandom r(8);
    // 100 large triangles straddling all four window edges (up to 6 records each).
    std::vector<MeshVertex> v;
    for (int i = 0; i < 100; i++)
        for (int k = 0; k < 3; k++)
            v.push_back(mv(r.range(-12, 12), r.range(-9, 9), r.range(-8, -2), r.next() | 0xFF000000u));
    v.push_back(mv(0, 0, -3));
    v.push_back(mv(1, 0, -3)); // a trailing partial group
    clip_and_draw_triangles(v.data(), static_cast<int32_t>(v.size()), &cam, nullptr, 33);
    std::vector<uint32_t> all = frame();
    clear(0xFF000000u);
    for (size_t g = 0; g + 3 <= v.size(); g += 3)
        clip_and_draw_triangles(v.data() + g, 3, &cam, nullptr, 33);
    EXPECT_EQ(all, frame());
    EXPECT_TRUE(guards_intact());
}

} // namespace

namespace
{

// The clipped path step by step as written: copy, clip_near, project, the four
// window planes alternating buffers, then the fan from vertex 0.
void manual_clipped_draw(const Mesh* mesh, const Camera& cam, FillMode mode, bool near_plane)
{
    for (int32_t i = 0; i < mesh->triangle_count; i++) {
        const MeshTriangle& t = mesh->triangles[i];
        if (!t.visible)
            continue;
        MeshVertex buf[2][CLIP_BUFFER_SIZE];
        int cur = 0, n = 3;
        buf[0][0] = mesh->vertices[t.a];
        buf[0][1] = mesh->vertices[t.b];
        buf[0][2] = mesh->vertices[t.c];
        if (near_plane) {
            n = clip_near(buf[0], 3, buf[1]);
            cur = 1;
            if (n < 3)
                continue;
        }
        project_vertices(&cam.screen, buf[cur], n);
        int32_t (*planes[4])(const MeshVertex*, int32_t, MeshVertex*) = {clip_left, clip_right, clip_top,
                                                                         clip_bottom};
        for (auto plane : planes) {
            n = plane(buf[cur], n, buf[1 - cur]);
            cur = 1 - cur;
            if (n < 3)
                break;
        }
        if (n < 3)
            continue;
        for (int k = 1; k <= n - 2; k++) {
            RasterTriangle r{};
            const MeshVertex* p[3] = {&buf[cur][0], &buf[cur][k], &buf[cur][k + 1]};
            for (int j = 0; j < 3; j++)
                r.v[j] = ScreenVertex{p[j]->tx, p[j]->ty, p[j]->tz, p[j]->tw, p[j]->colour,
                                      p[j]->u,  p[j]->v,  p[j]->u2, p[j]->v2};
            r.flat_colour = t.lit_colour;
            r.flags = mesh->flags & MESH_TWO_SIDED;
            draw_triangles(&r, 1, nullptr, mode);
        }
    }
}

TEST_F(RasterClip, ClippedMeshDrawingMatchesTheStepByStepPipeline)
{
    Camera cam = test_camera();
    set_depth_clip(cam.near, cam.far);
    TestRandom r(77);
    Mesh* mesh = mesh_create(600, 200);
    for (int i = 0; i < 600; i++)
        mesh->vertices[i] =
            mv(r.range(-14, 14), r.range(-10, 10), r.range(-12, 0.5f), r.next() | 0xFF000000u);
    for (int i = 0; i < 200; i++)
        mesh->triangles[i] =
            MeshTriangle{3 * i, 3 * i + 1, 3 * i + 2, 0, 0, 0, 0, 0, 0, 0, r.next(), r.next(), 1, 0};
    mesh->flags = MESH_TWO_SIDED;
    for (bool near_plane : {true, false}) {
        clear(0xFF000000u);
        // Window-only path: only triangles wholly behind the near plane, as
        // the step-by-step pipeline without clip_near assumes.
        if (!near_plane)
            for (int i = 0; i < 600; i++)
                mesh->vertices[i].tz = std::min(mesh->vertices[i].tz, -1.5f);
        draw_mesh(mesh, &cam, 18, near_plane ? (CLIP_NEAR | CLIP_WINDOW) : CLIP_WINDOW);
        std::vector<uint32_t> drawn = frame();
        int lit = 0;
        for (uint32_t p : drawn)
            lit += p != 0xFF000000u;
        EXPECT_GT(lit, 50000);
        clear(0xFF000000u);
        manual_clipped_draw(mesh, cam, 18, near_plane);
        EXPECT_EQ(drawn, frame()) << (near_plane ? "near and window" : "window only");
    }
    mesh_free(mesh);
}

} // namespace

namespace
{

TEST_F(RasterClip, TriangleListsMatchTheStepByStepPipeline)
{
    Camera cam = test_camera();
    set_depth_clip(cam.near, cam.far);
    TestRandom r(12);
    Mesh* mesh = mesh_create(300, 100);
    for (int i = 0; i < 300; i++)
        mesh->vertices[i] = mv(r.range(-12, 12), r.range(-9, 9), r.range(-9, 0.5f), r.next() | 0xFF000000u);
    for (int i = 0; i < 100; i++)
        mesh->triangles[i] =
            MeshTriangle{3 * i, 3 * i + 1, 3 * i + 2, 0, 0, 0, 0, 0, 0, 0, 0, 0xFFFFFFFFu, 1, 0};
    clip_and_draw_triangles(mesh->vertices, 300, &cam, nullptr, 18);
    std::vector<uint32_t> drawn = frame();
    clear(0xFF000000u);
    manual_clipped_draw(mesh, cam, 18, true);
    EXPECT_EQ(drawn, frame());
    mesh_free(mesh);
}

} // namespace

namespace
{

TEST_F(RasterClip, ProjectionTakesOneOverWAsOneWhereWIsZero)
{
    Camera cam = test_camera();
    MeshVertex v[2] = {mv(2, 1, 0), mv(2, 1, -4)};
    project_vertices(&cam.screen, v, 2);
    const float* m = cam.screen.m;
    EXPECT_EQ(v[0].tw, 1.0f);
    EXPECT_EQ(v[0].tx, 2 * m[0] + 1 * m[4] + m[12]);
    EXPECT_EQ(v[0].ty, 2 * m[1] + 1 * m[5] + m[13]);
    EXPECT_EQ(v[1].tw, 0.25f);
    EXPECT_FLOAT_EQ(v[1].tx, 320.0f + 0.5f * 0.75f * 320.0f);
}

} // namespace

namespace
{

// Meshes with wild vertex values (far away, behind the camera, huge, not
// finite) drawn on every path in every mode: nothing is written outside the
// frame and nothing crashes (the sanitizer build checks the arithmetic).
TEST_F(RasterClip, WildMeshesDrawSafelyOnEveryPathInEveryMode)
{
    Camera cam = test_camera();
    set_depth_clip(cam.near, cam.far);
    TestTexture tex(5, 5);
    for (auto& p : tex.pixels)
        p = 0x80FF8040u;
    set_environment_texture(&tex.t);
    set_bump_texture(&tex.t);
    set_offset_texture(&tex.t);
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    const float wild[] = {0.0f,  -0.0f, 1e-30f, -1e-30f, 1e30f,   -1e30f,  3e9f,
                          -3e9f, inf,   -inf,   nan,     5000.0f, -5000.0f};
    TestRandom r(2024);
    Mesh* mesh = mesh_create(30, 10);
    mesh->texture = &tex.t;
    for (int round = 0; round < 12; round++) {
        for (int i = 0; i < 30; i++) {
            MeshVertex& v = mesh->vertices[i];
            float* f[6] = {&v.tx, &v.ty, &v.tz, &v.u, &v.v, &v.u2};
            for (float* p : f)
                *p = r.below(3) == 0 ? wild[r.below(sizeof wild / sizeof wild[0])] : r.range(-20, 20);
            v.tw = 1.0f;
            v.colour = r.next();
        }
        for (int i = 0; i < 10; i++)
            mesh->triangles[i] = MeshTriangle{static_cast<int32_t>(r.below(30)),
                                              static_cast<int32_t>(r.below(30)),
                                              static_cast<int32_t>(r.below(30)),
                                              0,
                                              0,
                                              0,
                                              0,
                                              0,
                                              0,
                                              0,
                                              0,
                                              r.next(),
                                              1,
                                              0};
        mesh->flags = round % 2 ? MESH_TWO_SIDED : 0u;
        for (FillMode mode : fill_modes) {
            for (uint32_t clip :
                 {uint32_t(CLIP_NEAR | CLIP_WINDOW), uint32_t(CLIP_WINDOW), uint32_t(CLIP_NEAR), 0u}) {
                std::vector<MeshVertex> saved(mesh->vertices, mesh->vertices + 30);
                draw_mesh(mesh, &cam, mode, clip);
                std::copy(saved.begin(), saved.end(), mesh->vertices);
            }
            clip_and_draw_triangles(mesh->vertices, 30, &cam, &tex.t, mode);
        }
        ASSERT_TRUE(guards_intact());
    }
    mesh_free(mesh);
}

} // namespace
