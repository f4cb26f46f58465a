// Metaball field: the tables, creation limits, layout and scaling, balls
// added against the plain every-point loop (random balls, the reach cut at
// the grid's edges, centres on and near grid points), and the surface walk
// against the plain every-cube walk: same triangles, same picture.
#include "../overlays/overlay_fixture.h"

#include "scenes/field.h"
#include "scenes/kit.h"

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace
{

// ---- Plain references ----------------------------------------------------------

void plain_add_ball(MetaField* field, const Vec3* centre, float r)
{
    const float r2 = r * r, r3 = r2 * r;
    for (int32_t i = 0; i < field->point_count; i++) {
        FieldPoint* p = &field->grid_points[i];
        Vec3 d = {p->x - centre->x, p->y - centre->y, p->z - centre->z};
        float d2 = vec3_dot(&d, &d);
        if (!(d2 <= r3))
            continue;
        if (d2 == 0.0f)
            d2 = 0.0001f;
        const float value = p->value + r2 / d2;
        if (std::isfinite(value))
            p->value = value;
        const float k = r / (d2 * d2);
        const float gx = p->gx + d.x * k, gy = p->gy + d.y * k, gz = p->gz + d.z * k;
        if (std::isfinite(gx) && std::isfinite(gy) && std::isfinite(gz)) {
            p->gx = gx;
            p->gy = gy;
            p->gz = gz;
        }
    }
}

// Every cube in order through its corner references; each cube's triangles
// as one group.
std::vector<std::vector<MeshVertex>> plain_surface(MetaField* field, float iso, const Camera* camera)
{
    Matrix full, normal_matrix, mv;
    mesh_frame_matrices(camera, &field->model, &full, &normal_matrix);
    matrix_multiply(&field->model, &camera->view, &mv);
    Vec3 light;
    vec3_normalize(&field->light, &light);
    std::vector<std::vector<MeshVertex>> cubes;
    const int32_t cells = field->cells, side = cells + 1;
    for (int32_t c = 0; c < field->cube_count; c++) {
        // Cube c's corners, k fastest: the order field.h gives.
        const int32_t i = c / (cells * cells), j = c / cells % cells, k = c % cells;
        auto at = [side](int32_t a, int32_t b, int32_t d) { return (a * side + b) * side + d; };
        const int32_t corners[8] = {at(i, j, k),         at(i, j, k + 1),         at(i, j + 1, k + 1),
                                    at(i, j + 1, k),     at(i + 1, j, k),         at(i + 1, j, k + 1),
                                    at(i + 1, j + 1, k + 1), at(i + 1, j + 1, k)};
        int32_t index = 0;
        for (int32_t n = 0; n < 8; n++)
            if (field->grid_points[corners[n]].value < iso)
                index |= 1 << n;
        const uint32_t mask = field_edge_table[index];
        if (mask == 0)
            continue;
        MeshVertex edge[12];
        for (int32_t e = 0; e < 12; e++) {
            if (!(mask & (1u << e)))
                continue;
            const FieldPoint& a = field->grid_points[corners[field_edge_corners[e][0]]];
            const FieldPoint& b = field->grid_points[corners[field_edge_corners[e][1]]];
            const float t = (iso - a.value) / (b.value - a.value);
            MeshVertex v{};
            v.x = a.x + t * (b.x - a.x);
            v.y = a.y + t * (b.y - a.y);
            v.z = a.z + t * (b.z - a.z);
            Vec3 g = {a.gx + t * (b.gx - a.gx), a.gy + t * (b.gy - a.gy), a.gz + t * (b.gz - a.gz)};
            vec3_normalize(&g, &g);
            const float* m = mv.m;
            v.tx = v.x * m[0] + v.y * m[4] + v.z * m[8] + m[12];
            v.ty = v.x * m[1] + v.y * m[5] + v.z * m[9] + m[13];
            v.tz = v.x * m[2] + v.y * m[6] + v.z * m[10] + m[14];
            v.tw = v.x * m[3] + v.y * m[7] + v.z * m[11] + m[15];
            Vec3 n;
            rotate_direction(&normal_matrix, &g, &n);
            vec3_normalize(&n, &n);
            v.u = v.u2 = (n.x + 1.0f) * 0.5f;
            v.v = v.v2 = (1.0f - n.y) * 0.5f;
            const float lit = std::min(1.0f, std::max(0.0f, vec3_dot(&n, &light)));
            v.colour = grey(float_to_int(lit * 255.0f));
            edge[e] = v;
        }
        std::vector<MeshVertex> out;
        const int8_t* row = field_triangle_table[index];
        for (int32_t t = 0; row[t] >= 0; t += 3)
            out.insert(out.end(), {edge[row[t]], edge[row[t + 2]], edge[row[t + 1]]});
        cubes.push_back(out);
    }
    return cubes;
}

void collect(const MeshVertex* vertices, int32_t triangle_count, void* context)
{
    auto* cubes = static_cast<std::vector<std::vector<MeshVertex>>*>(context);
    cubes->emplace_back(vertices, vertices + 3 * triangle_count);
}

std::vector<std::vector<MeshVertex>> fast_surface(MetaField* field, float iso, const Camera* camera)
{
    std::vector<std::vector<MeshVertex>> cubes;
    field_surface(field, iso, camera, collect, &cubes);
    return cubes;
}

struct FieldPtr {
    MetaField* f;
    explicit FieldPtr(int32_t cells) : f(field_create(cells)) {}
    ~FieldPtr() { field_destroy(f); }
    MetaField* operator->() const { return f; }
};

Camera scene_camera()
{
    Camera camera;
    camera_look(&camera, scene_frame_at(0.0, nullptr), {0.0f, 0.0f, 216.0f}, {120.0f, 0.0f, 0.0f}, 10.0f, 512.0f,
                90.0f);
    return camera;
}

// The first point (index) whose seven floats differ, or -1.
int32_t first_difference(const MetaField* a, const MetaField* b)
{
    for (int32_t i = 0; i < a->point_count; i++)
        if (std::memcmp(&a->grid_points[i], &b->grid_points[i], sizeof(FieldPoint)) != 0)
            return i;
    return -1;
}

bool same_vertices(const std::vector<MeshVertex>& a, const std::vector<MeshVertex>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(MeshVertex)) == 0;
}

// Random balls of the scene's strengths around the origin, some reaching past the grid.
void random_balls(std::mt19937& rng, MetaField* fast, MetaField* plain, int count)
{
    std::uniform_real_distribution<float> pos(-150.0f, 150.0f), strength(0.0f, 20.0f);
    for (int b = 0; b < count; b++) {
        const Vec3 c = {pos(rng), pos(rng), pos(rng)};
        const float r = strength(rng);
        field_add_ball(fast, &c, r);
        plain_add_ball(plain, &c, r);
    }
}

} // namespace

TEST(FieldTables, EdgeMasksFollowTheCornersAndTrianglesUseOnlyCutEdges)
{
    for (int32_t index = 0; index < 256; index++) {
        uint32_t mask = 0;
        for (int32_t e = 0; e < 12; e++) {
            const int32_t a = field_edge_corners[e][0], b = field_edge_corners[e][1];
            if (((index >> a) & 1) != ((index >> b) & 1))
                mask |= 1u << e;
        }
        ASSERT_EQ(field_edge_table[index], mask) << "index " << index;
        const int8_t* row = field_triangle_table[index];
        int32_t n = 0;
        while (n < 16 && row[n] >= 0) {
            ASSERT_LT(row[n], 12);
            EXPECT_TRUE(mask & (1u << row[n])) << "index " << index << " edge " << int(row[n]);
            n++;
        }
        EXPECT_EQ(n % 3, 0) << "index " << index;
        EXPECT_LE(n, 15);
        EXPECT_EQ(n == 0, mask == 0) << "index " << index;
    }
    EXPECT_EQ(field_edge_table[1], 0x109);
    EXPECT_EQ(field_edge_table[3], 0x30a);
}

TEST(FieldCreate, RefusesCellCountsOutOfRangeAndStartsEmpty)
{
    EXPECT_EQ(field_create(0), nullptr);
    EXPECT_EQ(field_create(-5), nullptr);
    EXPECT_EQ(field_create(FIELD_MAX_CELLS + 1), nullptr);
    field_destroy(nullptr);

    FieldPtr field(2);
    ASSERT_NE(field.f, nullptr);
    EXPECT_EQ(field->point_count, 27);
    EXPECT_EQ(field->cube_count, 8);
    EXPECT_EQ(field->light.z, 1.0f);
    for (int32_t i = 0; i < field->point_count; i++)
        EXPECT_EQ(field->grid_points[i].value, 0.0f);
}

TEST(FieldLayout, PointsSpanTheCubeAndCubesNameTheirCornersInOrder)
{
    FieldPtr field(40);
    ASSERT_NE(field.f, nullptr);
    field->grid_points[5].value = 3.0f;
    field_layout(field.f, 256.0f);
    EXPECT_EQ(field->grid_points[5].value, 0.0f);
    const FieldPoint& first = field->grid_points[0];
    EXPECT_EQ(first.x, -128.0f);
    EXPECT_EQ(first.z, -128.0f);
    const FieldPoint& last = field->grid_points[field->point_count - 1];
    EXPECT_EQ(last.x, 128.0f);
    // Point (i, j, k) = (1, 2, 3): index (1 * 41 + 2) * 41 + 3, x along i.
    const FieldPoint& p = field->grid_points[(1 * 41 + 2) * 41 + 3];
    EXPECT_FLOAT_EQ(p.x, -128.0f + 6.4f);
    EXPECT_FLOAT_EQ(p.y, -128.0f + 12.8f);
    EXPECT_FLOAT_EQ(p.z, -128.0f + 19.2f);
}

TEST(FieldScale, MultipliesValuesAndGradients)
{
    FieldPtr field(4);
    field_layout(field.f, 10.0f);
    FieldPoint& p = field->grid_points[7];
    p.value = 2.0f;
    p.gx = -4.0f;
    p.gz = 8.0f;
    field_scale(field.f, 0.5f);
    EXPECT_EQ(p.value, 1.0f);
    EXPECT_EQ(p.gx, -2.0f);
    EXPECT_EQ(p.gz, 4.0f);
    EXPECT_EQ(p.x, field->grid_points[7].x); // positions untouched
    field_scale(field.f, 0.0f);
    EXPECT_EQ(p.value, 0.0f);
}

TEST(FieldAddBall, BoundedReachMatchesEveryPointLoopOnRandomBalls)
{
    std::mt19937 rng(1234);
    FieldPtr fast(40), plain(40);
    field_layout(fast.f, 256.0f);
    field_layout(plain.f, 256.0f);
    for (int round = 0; round < 6; round++) {
        random_balls(rng, fast.f, plain.f, 9);
        ASSERT_EQ(first_difference(fast.f, plain.f), -1) << "round " << round;
        field_scale(fast.f, 0.85f);
        field_scale(plain.f, 0.85f);
    }
    // Reaches cut by every face of the grid, a reach wider than the grid,
    // strengths 0 and below, and a centre that is not a number.
    const float nan = std::nanf("");
    const float cases[][4] = {{-128.0f, 0.0f, 0.0f, 12.0f}, {128.0f, 127.9f, -128.0f, 12.0f},
                              {0.0f, -140.0f, 0.0f, 12.0f}, {0.0f, 0.0f, 170.0f, 12.0f},
                              {300.0f, 0.0f, 0.0f, 12.0f},  {3.0f, 1.0f, 2.0f, 60.0f},
                              {6.4f, 6.4f, 6.4f, 0.0f},     {0.0f, 0.0f, 0.0f, -3.0f},
                              {nan, 0.0f, 0.0f, 9.0f},      {1.0f, 2.0f, 3.0f, nan}};
    for (const auto& c : cases) {
        const Vec3 centre = {c[0], c[1], c[2]};
        field_add_ball(fast.f, &centre, c[3]);
        plain_add_ball(plain.f, &centre, c[3]);
        ASSERT_EQ(first_difference(fast.f, plain.f), -1)
            << "centre " << c[0] << ", " << c[1] << ", " << c[2] << " r " << c[3];
    }
}

TEST(FieldAddBall, CentresOnAndNearGridPointsKeepTheFieldFinite)
{
    FieldPtr field(40);
    field_layout(field.f, 256.0f);
    const FieldPoint& p = field->grid_points[(20 * 41 + 20) * 41 + 20]; // the origin
    const Vec3 on = {0.0f, 0.0f, 0.0f};
    field_add_ball(field.f, &on, 12.0f);
    EXPECT_EQ(p.value, 144.0f / 0.0001f); // d2 = 0 is taken as 0.0001
    EXPECT_EQ(p.gx, 0.0f);

    // 1e-9 away: r / d2^2 overflows and the gradient increment is skipped;
    // 1e-20 away the value increment overflows too.
    for (float offset : {1e-9f, 1e-20f, 1e-30f}) {
        const Vec3 near = {offset, offset, 0.0f};
        field_add_ball(field.f, &near, 12.0f);
    }
    for (int32_t i = 0; i < field->point_count; i++) {
        const FieldPoint& q = field->grid_points[i];
        ASSERT_TRUE(std::isfinite(q.value) && std::isfinite(q.gx) && std::isfinite(q.gy) &&
                    std::isfinite(q.gz))
            << "point " << i;
    }
    Camera camera = scene_camera();
    for (const auto& cube : fast_surface(field.f, 1.0f, &camera))
        for (const MeshVertex& v : cube)
            ASSERT_TRUE(std::isfinite(v.tx) && std::isfinite(v.ty) && std::isfinite(v.tz) &&
                        std::isfinite(v.u));
}

TEST(FieldSurface, EmptyFieldGivesNoTriangles)
{
    FieldPtr field(40);
    field_layout(field.f, 256.0f);
    Camera camera = scene_camera();
    EXPECT_TRUE(fast_surface(field.f, 1.0f, &camera).empty());
    // Every value at or above iso: index 0 everywhere.
    EXPECT_TRUE(fast_surface(field.f, 0.0f, &camera).empty());
}

TEST(FieldSurface, OneCornerAboveIsoGivesOneTriangleInReversedWinding)
{
    FieldPtr field(1);
    field_layout(field.f, 2.0f);
    matrix_translation(&field->model, 0.0f, 0.0f, -5.0f);
    Camera camera = scene_camera();
    matrix_identity(&camera.view);
    field->grid_points[0].value = 2.0f; // corner 0; the rest below iso: index 254
    field->grid_points[0].gx = -1.0f;
    field->light = {0.0f, 0.0f, 2.0f}; // normalised by the surface walk
    const auto cubes = fast_surface(field.f, 1.0f, &camera);
    ASSERT_EQ(cubes.size(), 1u);
    ASSERT_EQ(cubes[0].size(), 3u);
    EXPECT_EQ(field->light.z, 1.0f);
    // Row 254 is edges (0, 3, 8): emitted 0, 8, 3. Edge 0 runs from corner 0
    // (-1, -1, -1) to corner 1 (-1, -1, 1), cut half way.
    const MeshVertex& v0 = cubes[0][0];
    EXPECT_EQ(v0.x, -1.0f);
    EXPECT_EQ(v0.z, 0.0f);
    EXPECT_EQ(v0.tz, -5.0f);
    EXPECT_EQ(cubes[0][1].x, 0.0f); // edge 8 runs along x
    EXPECT_EQ(cubes[0][2].y, 0.0f); // edge 3 runs along y
    // Normal -x: u = 0, v = 1/2, unlit (it faces away from the light).
    EXPECT_EQ(v0.u, 0.0f);
    EXPECT_EQ(v0.v, 0.5f);
    EXPECT_EQ(v0.u2, v0.u);
    EXPECT_EQ(v0.colour, 0u);
}

TEST(FieldSurface, CubesCuttingEveryFaceEdgeAreDrawnToo)
{
    // Corners 0, 2, 4 and 6 below iso: index 0x55, edge mask 0xff, four
    // triangles. Skipping mask 0xff as well as 0 would leave a hole.
    FieldPtr field(1);
    field_layout(field.f, 2.0f);
    for (int32_t p : {1, 2, 5, 6}) // points (0,0,1), (0,1,0), (1,0,1), (1,1,0)
        field->grid_points[p].value = 2.0f;
    Camera camera = scene_camera();
    ASSERT_EQ(field_edge_table[0x55], 0xff);
    const auto cubes = fast_surface(field.f, 1.0f, &camera);
    ASSERT_EQ(cubes.size(), 1u);
    EXPECT_EQ(cubes[0].size(), 12u);
}

TEST(FieldSurface, FastWalkMatchesEveryCubeWalkOnRandomFields)
{
    // One field walked again after every change: nothing of an earlier walk
    // may leak into a later one.
    std::mt19937 rng(99);
    Camera camera = scene_camera();
    FieldPtr field(40), unused(40);
    field_layout(field.f, 256.0f);
    field_layout(unused.f, 256.0f);
    for (int round = 0; round < 5; round++) {
        random_balls(rng, field.f, unused.f, 12);
        field_scale(field.f, round == 2 ? 0.85f : 1.01f);
        std::uniform_real_distribution<float> angle(-3.0f, 3.0f);
        matrix_rotation_yxz(&field->model, angle(rng), angle(rng), angle(rng));
        field->model.m[14] = -40.0f * static_cast<float>(round);
        const float iso = round == 3 ? 0.3f : 1.0f;
        const auto want = plain_surface(field.f, iso, &camera);
        const auto got = fast_surface(field.f, iso, &camera);
        ASSERT_GT(want.size(), 50u);
        ASSERT_EQ(got.size(), want.size()) << "round " << round;
        for (size_t c = 0; c < want.size(); c++)
            ASSERT_TRUE(same_vertices(got[c], want[c])) << "round " << round << ", surface cube " << c;
    }
}

class FieldFrame : public OverlayFrame
{
};

namespace
{

struct PerCube {
    const Camera* camera;
};

void draw_cube(const MeshVertex* vertices, int32_t triangle_count, void* context)
{
    const Camera* camera = static_cast<PerCube*>(context)->camera;
    clip_and_draw_triangles(vertices, 3 * triangle_count, camera, nullptr, FILL_GOURAUD | FILL_DEPTH);
}

} // namespace

TEST_F(FieldFrame, PolygoniseDrawsWhatTheCubesDrawOneByOne)
{
    std::mt19937 rng(7);
    FieldPtr field(40), unused(40);
    field_layout(field.f, 256.0f);
    field_layout(unused.f, 256.0f);
    random_balls(rng, field.f, unused.f, 20);
    matrix_rotation_yxz(&field->model, 0.3f, 1.1f, 0.2f);
    field->model.m[14] = 40.0f; // some of the surface behind the near plane
    Camera camera = scene_camera();
    set_depth_clip(10.0f, 512.0f);
    set_clip_window(0.0f, 39.0f, 640.0f, 400.0f);

    field_polygonise(field.f, 1.0f, &camera, nullptr, FILL_GOURAUD | FILL_DEPTH);
    const std::vector<uint32_t> batched = pixels_;
    fill(0);
    depth_buffer_fill(depth_buffer, DEPTH_CLEAR);
    PerCube context = {&camera};
    field_surface(field.f, 1.0f, &camera, draw_cube, &context);
    set_clip_window(0.0f, 0.0f, 640.0f, 480.0f);

    int64_t lit = 0, differing = 0;
    for (size_t i = 0; i < pixels_.size(); i++) {
        lit += pixels_[i] != 0;
        differing += pixels_[i] != batched[i];
    }
    EXPECT_GT(lit, 2000);
    EXPECT_EQ(differing, 0);
    for (int x = 0; x < SCREEN_WIDTH; x++)
        ASSERT_EQ(pixel(x, 20), 0u) << "drawn above the clip window at x " << x;
}
