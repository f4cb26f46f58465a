// A second, independently written reading of the polygon clipper, the
// projection and the mesh drawing paths, checked against the rasterizer's:
// clipped polygons word for word, and whole frames of clipped meshes.
#include "raster_fixture.h"

#include <cmath>
#include <algorithm>
#include <cstring>
#include <limits>

namespace
{

struct Window {
    float min_x, min_y, max_x, max_y;
};

uint32_t ref_lerp_colour(uint32_t a, uint32_t b, float t)
{
    uint32_t o = 0;
    for (int s = 24; s >= 0; s -= 8) {
        int ca = static_cast<int>((a >> s) & 0xFF), cb = static_cast<int>((b >> s) & 0xFF);
        int v = static_cast<int>(ca + (cb - ca) * t + 0.5);
        o |= static_cast<uint32_t>(v) << s;
    }
    return o;
}

uint32_t ref_lerp_colour_clamped(uint32_t a, uint32_t b, float dc, float along)
{
    uint32_t o = 0;
    for (int s = 24; s >= 0; s -= 8) {
        int ca = static_cast<int>((a >> s) & 0xFF), cb = static_cast<int>((b >> s) & 0xFF);
        float q = dc == 0.0f ? 0.0f : (cb - ca) / dc;
        int v = static_cast<int>(ca + q * along + 0.5);
        v = v < 0 ? 0 : v > 255 ? 255 : v;
        o |= static_cast<uint32_t>(v) << s;
    }
    return o;
}

// plane 0 near, 1 left, 2 right, 3 top, 4 bottom
bool ref_inside(const MeshVertex& v, int plane, float near_z, const Window& w)
{
    switch (plane) {
    case 0:
        return v.tz <= near_z;
    case 1:
        return v.tx >= w.min_x;
    case 2:
        return v.tx <= w.max_x;
    case 3:
        return v.ty >= w.min_y;
    default:
        return v.ty <= w.max_y;
    }
}

MeshVertex ref_intersect(const MeshVertex& cur, const MeshVertex& next, int plane, float near_z,
                         const Window& w)
{
    bool cur_in = ref_inside(cur, plane, near_z, w);
    MeshVertex o = cur_in ? next : cur; // the outside endpoint
    if (plane == 0) {
        float den = next.tz - cur.tz;
        float t = den == 0 ? 1.0f : (near_z - cur.tz) / den;
        o.tx = cur.tx + (next.tx - cur.tx) * t;
        o.ty = cur.ty + (next.ty - cur.ty) * t;
        o.tw = cur.tw + (next.tw - cur.tw) * t;
        o.u = cur.u + (next.u - cur.u) * t;
        o.v = cur.v + (next.v - cur.v) * t;
        o.tz = near_z;
        o.colour = ref_lerp_colour(cur.colour, next.colour, t);
        return o;
    }
    const bool on_x = plane == 1 || plane == 2;
    const float P = plane == 1 ? w.min_x : plane == 2 ? w.max_x : plane == 3 ? w.min_y : w.max_y;
    const float cc = on_x ? cur.tx : cur.ty, nc = on_x ? next.tx : next.ty;
    const float co = on_x ? cur.ty : cur.tx, no = on_x ? next.ty : next.tx;
    const float dc = nc - cc;
    auto slope = [dc](float a, float b) { return dc == 0 ? 0.0f : (b - a) / dc; };
    float other = (no - co == 0) ? co : co + (P - cc) * slope(co, no);
    o.tz = cur.tz + (P - cc) * slope(cur.tz, next.tz);
    o.tw = cur.tw + (P - cc) * slope(cur.tw, next.tw);
    o.u = cur.u + (P - cc) * slope(cur.u, next.u);
    o.v = cur.v + (P - cc) * slope(cur.v, next.v);
    if (on_x) {
        o.tx = P;
        o.ty = other;
    } else {
        o.ty = P;
        o.tx = other;
    }
    o.colour = ref_lerp_colour_clamped(cur.colour, next.colour, dc, P - cc);
    return o;
}

std::vector<MeshVertex> ref_clip(const std::vector<MeshVertex>& in, int plane, float near_z, const Window& w)
{
    std::vector<MeshVertex> out;
    // A polygon with a vertex off every finite place is dropped whole.
    for (const MeshVertex& v : in)
        if (!std::isfinite(v.tx) || !std::isfinite(v.ty) || !std::isfinite(v.tz))
            return out;
    size_t n = in.size();
    for (size_t i = 0; i < n; i++) {
        const MeshVertex& cur = in[i];
        const MeshVertex& next = in[(i + 1) % n];
        bool ci = ref_inside(cur, plane, near_z, w), ni = ref_inside(next, plane, near_z, w);
        if (ci && ni) {
            out.push_back(next);
        } else if (ci) {
            out.push_back(ref_intersect(cur, next, plane, near_z, w));
        } else if (ni) {
            out.push_back(ref_intersect(cur, next, plane, near_z, w));
            out.push_back(next);
        }
    }
    return out;
}

void ref_project(const Matrix& m, MeshVertex* v)
{
    const float* a = m.m;
    float x = v->tx, y = v->ty, z = v->tz;
    float w = x * a[3] + y * a[7] + z * a[11] + a[15];
    float r = w == 0 ? 1.0f : 1.0f / w;
    v->tx = (x * a[0] + y * a[4] + z * a[8] + a[12]) * r;
    v->ty = (x * a[1] + y * a[5] + z * a[9] + a[13]) * r;
    v->tz = (x * a[2] + y * a[6] + z * a[10] + a[14]) * r;
    v->tw = r;
}

RasterTriangle ref_raster(const MeshVertex& p, const MeshVertex& q, const MeshVertex& r, uint32_t flat,
                          uint32_t flags)
{
    RasterTriangle t{};
    const MeshVertex* src[3] = {&p, &q, &r};
    for (int k = 0; k < 3; k++)
        t.v[k] = ScreenVertex{src[k]->tx, src[k]->ty, src[k]->tz, src[k]->tw, src[k]->colour,
                              src[k]->u,  src[k]->v,  src[k]->u2, src[k]->v2};
    t.flat_colour = flat;
    t.flags = flags;
    return t;
}

MeshVertex random_vertex(TestRandom& r, float spread_xy, float z_lo, float z_hi)
{
    MeshVertex v{};
    v.x = r.range(-5, 5);
    v.y = r.range(-5, 5);
    v.z = r.range(-5, 5);
    v.tx = r.range(-spread_xy, spread_xy);
    v.ty = r.range(-spread_xy, spread_xy);
    v.tz = r.range(z_lo, z_hi);
    v.tw = r.range(0.5f, 2.0f);
    v.u = r.range(-2, 2);
    v.v = r.range(-2, 2);
    v.u2 = r.range(-2, 2);
    v.v2 = r.range(-2, 2);
    v.colour = r.next();
    return v;
}

class ClipDrawReference : public RasterFixture
{
};

// draw_mesh the long way: each visible triangle through the near plane (where
// the flags ask for it, or where the window-only path must), projected, through
// the window planes, fanned and drawn one by one.
void draw_mesh_long_way(const Mesh* mesh, const Camera& cam, uint32_t flags, const Window& w,
                        const Texture* texture, FillMode mode)
{
    for (int i = 0; i < mesh->triangle_count; i++) {
        const MeshTriangle& t = mesh->triangles[i];
        if (!t.visible)
            continue;
        std::vector<MeshVertex> poly = {mesh->vertices[t.a], mesh->vertices[t.b], mesh->vertices[t.c]};
        bool all_behind = poly[0].tz <= -cam.near && poly[1].tz <= -cam.near && poly[2].tz <= -cam.near;
        if ((flags & CLIP_NEAR) || (flags != 0 && !all_behind)) {
            poly = ref_clip(poly, 0, -cam.near, w);
            if (poly.size() < 3)
                continue;
        }
        for (auto& v : poly)
            ref_project(cam.screen, &v);
        bool gone = false;
        if (flags & CLIP_WINDOW)
            for (int plane = 1; plane <= 4 && !gone; plane++) {
                poly = ref_clip(poly, plane, -cam.near, w);
                gone = poly.size() < 3;
            }
        if (gone)
            continue;
        for (size_t k = 1; k + 1 < poly.size(); k++) {
            RasterTriangle rt = ref_raster(poly[0], poly[k], poly[k + 1], t.lit_colour, mesh->flags & 1u);
            draw_triangles(&rt, 1, texture, mode);
        }
    }
}

TEST_F(ClipDrawReference, EveryPlaneClipsWordForWordAsTheWalkAndIntersectionRulesSay)
{
    TestRandom r(2024);
    set_depth_clip(3.0f, 900.0f);
    set_clip_window(10.0f, 20.0f, 600.0f, 400.0f);
    const Window w{10.0f, 20.0f, 610.0f, 420.0f};
    typedef int32_t (*Clip)(const MeshVertex*, int32_t, MeshVertex*);
    const Clip clips[5] = {clip_near, clip_left, clip_right, clip_top, clip_bottom};
    for (int n = 0; n < 20000; n++) {
        std::vector<MeshVertex> poly;
        int count = 3 + static_cast<int>(r.below(3));
        for (int k = 0; k < count; k++) {
            MeshVertex v = random_vertex(r, 0, 0, 0);
            v.tx = r.range(-200, 840);
            v.ty = r.range(-200, 680);
            v.tz = r.range(-8, 2);
            if (r.below(4) == 0)
                v.tx = r.below(2) ? 10.0f : 610.0f; // on an edge
            if (r.below(4) == 0)
                v.tz = -3.0f; // on the near plane
            poly.push_back(v);
        }
        if (r.below(5) == 0)
            poly[1].tz = poly[0].tz; // a zero denominator
        for (int plane = 0; plane < 5; plane++) {
            std::vector<MeshVertex> expect = ref_clip(poly, plane, -3.0f, w);
            MeshVertex out[CLIP_BUFFER_SIZE];
            int32_t got = clips[plane](poly.data(), count, out);
            ASSERT_EQ(got, static_cast<int32_t>(expect.size())) << "polygon " << n << " plane " << plane;
            for (int32_t k = 0; k < got; k++)
                ASSERT_EQ(std::memcmp(&out[k], &expect[k], sizeof(MeshVertex)), 0)
                    << "polygon " << n << " plane " << plane << " vertex " << k;
        }
    }
}

// Frames of a random camera-space mesh drawn by draw_mesh against the same
// mesh clipped, projected and fanned the long way and drawn triangle by triangle.
TEST_F(ClipDrawReference, MeshDrawingPathsMatchTheLongWay)
{
    Camera cam{};
    cam.eye = Vec3{0, 0, 0};
    cam.target = Vec3{0, 0, -1};
    cam.near = 2.0f;
    cam.far = 500.0f;
    cam.fov = 70.0f;
    cam.viewport_x = 0;
    cam.viewport_y = 0;
    cam.viewport_width = 640;
    cam.viewport_height = 480;
    camera_update(&cam);
    set_depth_clip(cam.near, cam.far);
    set_clip_window(0, 0, 640, 480);
    const Window w{0, 0, 640, 480};
    TestTexture tex(5, 5);
    TestRandom r(515);
    for (auto& p : tex.pixels)
        p = r.next();

    // 0: projected in place, nothing clipped. Each mesh gives the filler more
    // triangles than one batch holds.
    for (uint32_t flags : {31u, 30u, 1u, 0u}) {
        for (int round = 0; round < 4; round++) {
            Mesh* mesh = mesh_create(300, 100);
            ASSERT_NE(mesh, nullptr);
            mesh->flags = round % 2 ? uint32_t{MESH_TWO_SIDED} : 0u;
            mesh->texture = &tex.t;
            for (int i = 0; i < 300; i++) {
                // Mostly in view beyond the near plane; some vertices reach past it (the
                // window-only path clips those triangles at the near plane too).
                mesh->vertices[i] = random_vertex(r, 160.0f, -150.0f, 1.0f);
            }
            for (int i = 0; i < 100; i++) {
                MeshTriangle& t = mesh->triangles[i];
                t.a = 3 * i;
                t.b = 3 * i + 1;
                t.c = 3 * i + 2;
                t.lit_colour = r.next();
                t.visible = r.below(8) != 0;
                // keep triangles small enough to be mostly on screen
                for (int k = 1; k < 3; k++) {
                    MeshVertex& v = mesh->vertices[3 * i + k];
                    const MeshVertex& a = mesh->vertices[3 * i];
                    v.tx = a.tx + (v.tx - a.tx) * 0.3f;
                    v.ty = a.ty + (v.ty - a.ty) * 0.3f;
                }
            }
            // Rounds 2 and 3 share vertices between triangles, as real meshes do:
            // a vertex projected once must serve every triangle that uses it.
            if (round >= 2)
                for (int i = 1; i < 100; i++)
                    if (r.below(2))
                        mesh->triangles[i].c = mesh->triangles[i - 1].b;
            const FillMode mode = 22;
            // the long way
            clear(0xFF000000u);
            draw_mesh_long_way(mesh, cam, flags, w, &tex.t, mode);
            std::vector<uint32_t> expect = frame();
            EXPECT_GT(
                std::count_if(expect.begin(), expect.end(), [](uint32_t p) { return p != 0xFF000000u; }),
                5000);
            std::vector<int32_t> expect_depth(depth_buffer->values, depth_buffer->values + 640 * 480);
            clear(0xFF000000u);
            draw_mesh(mesh, &cam, mode, flags);
            EXPECT_EQ(frame(), expect) << "clip flags " << flags << " round " << round;
            EXPECT_TRUE(std::equal(expect_depth.begin(), expect_depth.end(), depth_buffer->values));
            EXPECT_TRUE(guards_intact());
            mesh_free(mesh);
        }
    }
}

TEST_F(ClipDrawReference, TriangleListsMatchTheLongWay)
{
    Camera cam{};
    cam.eye = Vec3{0, 0, 0};
    cam.target = Vec3{0, 0, -1};
    cam.near = 2.0f;
    cam.far = 500.0f;
    cam.fov = 80.0f;
    cam.viewport_width = 640;
    cam.viewport_height = 480;
    camera_update(&cam);
    set_depth_clip(cam.near, cam.far);
    set_clip_window(0, 0, 640, 480);
    const Window w{0, 0, 640, 480};
    TestTexture tex(4, 4);
    TestRandom r(99);
    for (auto& p : tex.pixels)
        p = r.next();
    std::vector<MeshVertex> list;
    for (int i = 0; i < 3 * 200 + 2; i++) // past one buffer of 176, and a trailing partial group
        list.push_back(random_vertex(r, 120.0f, -100.0f, 1.0f));
    clear(0xFF000000u);
    for (size_t g = 0; g + 3 <= list.size(); g += 3) {
        std::vector<MeshVertex> poly(list.begin() + static_cast<long>(g),
                                     list.begin() + static_cast<long>(g) + 3);
        poly = ref_clip(poly, 0, -cam.near, w);
        if (poly.size() < 3)
            continue;
        for (auto& v : poly)
            ref_project(cam.screen, &v);
        bool gone = false;
        for (int plane = 1; plane <= 4 && !gone; plane++) {
            poly = ref_clip(poly, plane, -cam.near, w);
            gone = poly.size() < 3;
        }
        if (gone)
            continue;
        for (size_t k = 1; k + 1 < poly.size(); k++) {
            RasterTriangle rt = ref_raster(poly[0], poly[k], poly[k + 1], 0xFFFFFFFFu, 0u);
            draw_triangles(&rt, 1, &tex.t, 21);
        }
    }
    std::vector<uint32_t> expect = frame();
    EXPECT_GT(std::count_if(expect.begin(), expect.end(), [](uint32_t p) { return p != 0xFF000000u; }), 5000);
    clear(0xFF000000u);
    clip_and_draw_triangles(list.data(), static_cast<int32_t>(list.size()), &cam, &tex.t, 21);
    EXPECT_EQ(frame(), expect);
}

// Any NaN matches any NaN (which one an operation on NaNs gives follows the
// compiler's operand order); every other word must match.
bool same_words(const MeshVertex& a, const MeshVertex& b)
{
    const auto* x = reinterpret_cast<const uint32_t*>(&a);
    const auto* y = reinterpret_cast<const uint32_t*>(&b);
    auto nan = [](uint32_t v) { return (v & 0x7f800000u) == 0x7f800000u && (v & 0x007fffffu) != 0; };
    for (size_t k = 0; k < sizeof(MeshVertex) / 4; k++)
        if (x[k] != y[k] && !(k != 11 && nan(x[k]) && nan(y[k])))
            return false;
    return true;
}

float awkward(TestRandom& r, float lo, float hi)
{
    switch (r.below(24)) {
    case 0:
        return 0.0f;
    case 1:
        return -0.0f;
    case 2:
        return std::numeric_limits<float>::infinity();
    case 3:
        return -std::numeric_limits<float>::infinity();
    case 4:
        return std::numeric_limits<float>::quiet_NaN();
    case 5:
        return 1e30f;
    default:
        return r.range(lo, hi);
    }
}

// Four vertices at a time and the rest one by one: every count, awkward
// camera-space values, and a matrix that gives w = 0 at the origin.
TEST_F(ClipDrawReference, ProjectionOfEveryCountMatchesTheVertexRule)
{
    TestRandom r(4242);
    for (int round = 0; round < 400; round++) {
        Matrix m;
        for (float& e : m.m)
            e = r.range(-3, 3);
        if (round % 3 == 0)
            m.m[15] = 0.0f;
        const int count = 1 + static_cast<int>(r.below(13));
        std::vector<MeshVertex> got(count), want;
        for (auto& v : got) {
            v = random_vertex(r, 10.0f, -10.0f, 10.0f);
            v.tx = awkward(r, -10, 10);
            v.ty = awkward(r, -10, 10);
            v.tz = awkward(r, -10, 10);
            if (r.below(8) == 0)
                v.tx = v.ty = v.tz = 0.0f;
        }
        want = got;
        project_vertices(&m, got.data(), count);
        for (auto& v : want)
            ref_project(m, &v);
        for (int k = 0; k < count; k++)
            ASSERT_TRUE(same_words(got[k], want[k])) << "round " << round << " vertex " << k;
    }
}

// The uncut shortcut's per-vertex flags at their edges: vertices exactly on
// the near plane and exactly on the window's sides (the window is set from
// projected vertices), non-finite ones, for every clip flag and mesh size.
TEST_F(ClipDrawReference, MeshDrawingWithVerticesOnTheEdgesMatchesTheLongWay)
{
    Camera cam{};
    cam.target = Vec3{0, 0, -1};
    cam.near = 2.0f;
    cam.far = 500.0f;
    cam.fov = 70.0f;
    cam.viewport_width = 640;
    cam.viewport_height = 480;
    camera_update(&cam);
    set_depth_clip(cam.near, cam.far);
    TestTexture tex(5, 5);
    TestRandom r(616);
    for (auto& p : tex.pixels)
        p = r.next();
    for (uint32_t flags : {31u, 30u, 1u}) {
        for (int round = 0; round < 6; round++) {
            const int vertices = 61 + round, triangles = 80;
            Mesh* mesh = mesh_create(vertices, triangles);
            ASSERT_NE(mesh, nullptr);
            mesh->texture = &tex.t;
            for (int i = 0; i < vertices; i++) {
                MeshVertex& v = mesh->vertices[i];
                v = random_vertex(r, 60.0f, -80.0f, -1.0f);
                if (r.below(6) == 0)
                    v.tz = -cam.near;
                else if (r.below(5) == 0)
                    v.tz = -cam.near + r.range(-0.5f, 0.5f);
                if (r.below(12) == 0) {
                    const float odd[3] = {std::numeric_limits<float>::quiet_NaN(),
                                          std::numeric_limits<float>::infinity(),
                                          -std::numeric_limits<float>::infinity()};
                    float* at[3] = {&v.tx, &v.ty, &v.tz};
                    *at[r.below(3)] = odd[r.below(3)];
                }
            }
            for (int i = 0; i < triangles; i++) {
                MeshTriangle& t = mesh->triangles[i];
                t.a = static_cast<int32_t>(r.below(vertices));
                t.b = static_cast<int32_t>(r.below(vertices));
                t.c = static_cast<int32_t>(r.below(vertices));
                t.lit_colour = r.next();
                t.visible = 1;
            }
            // The window's sides through the projections of vertices 0 to 3.
            MeshVertex seen[4];
            for (int k = 0; k < 4; k++) {
                MeshVertex& v = mesh->vertices[k];
                v.tx = r.range(-40, 40), v.ty = r.range(-30, 30), v.tz = r.range(-60, -5);
                seen[k] = v;
                ref_project(cam.screen, &seen[k]);
            }
            set_clip_window(std::min(seen[0].tx, seen[1].tx), std::min(seen[2].ty, seen[3].ty),
                            std::fabs(seen[0].tx - seen[1].tx), std::fabs(seen[2].ty - seen[3].ty));
            Window got_w{};
            get_clip_window(&got_w.min_x, &got_w.min_y, &got_w.max_x, &got_w.max_y);
            int on_edge = 0;
            for (const MeshVertex& v : seen)
                on_edge +=
                    v.tx == got_w.min_x || v.tx == got_w.max_x || v.ty == got_w.min_y || v.ty == got_w.max_y;
            EXPECT_GE(on_edge, 2) << "round " << round;
            clear(0xFF000000u);
            draw_mesh_long_way(mesh, cam, flags, got_w, &tex.t, 22);
            std::vector<uint32_t> expect = frame();
            clear(0xFF000000u);
            draw_mesh(mesh, &cam, 22, flags);
            EXPECT_EQ(frame(), expect) << "clip flags " << flags << " round " << round;
            EXPECT_TRUE(guards_intact());
            mesh_free(mesh);
        }
    }
}

} // namespace
