// Vertex deformers: the documented examples, degenerate parameters, and that
// only object-space positions ever change.
#include "scene/scene.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace
{

using MeshPtr = std::unique_ptr<Mesh, decltype(&mesh_free)>;

MeshPtr one_vertex(float x, float y, float z)
{
    MeshPtr m(mesh_create(1, 1), mesh_free);
    m->vertices[0].x = x;
    m->vertices[0].y = y;
    m->vertices[0].z = z;
    return m;
}

void expect_at(const Mesh* m, int32_t i, float x, float y, float z, float tolerance = 1e-6f)
{
    EXPECT_NEAR(m->vertices[i].x, x, tolerance) << "vertex " << i;
    EXPECT_NEAR(m->vertices[i].y, y, tolerance) << "vertex " << i;
    EXPECT_NEAR(m->vertices[i].z, z, tolerance) << "vertex " << i;
}

// A mesh with every field filled with distinct values, for checking what a
// deformer touches.
MeshPtr busy_mesh()
{
    MeshPtr m(mesh_create(64, 4), mesh_free);
    uint32_t s = 7u;
    auto next = [&s]() {
        s = s * 1664525u + 1013904223u;
        return static_cast<float>(static_cast<int32_t>(s >> 8) - (1 << 23)) / static_cast<float>(1 << 22);
    };
    for (int i = 0; i < 64; ++i) {
        MeshVertex& v = m->vertices[i];
        float* f = &v.x;
        for (int k = 0; k < 11; ++k)
            f[k] = next();
        v.colour = 0xA5000000u + static_cast<uint32_t>(i);
        for (int k = 0; k < 6; ++k)
            m->normals[6 * i + k] = next();
    }
    for (int t = 0; t < 4; ++t) {
        m->triangles[t].a = t;
        m->triangles[t].b = t + 1;
        m->triangles[t].c = t + 2;
        m->triangles[t].colour = 0xFF00FF00u + static_cast<uint32_t>(t);
        m->triangles[t].nx = next();
    }
    return m;
}

} // namespace

TEST(DeformBulge, MovesCentreFullyAndStopsAtRadius)
{
    BulgeParams p{{1.0f, 2.0f, 3.0f}, {0.0f, 2.0f, 0.0f}, 4.0f, 0.5f};
    MeshPtr m(mesh_create(3, 1), mesh_free);
    m->vertices[0] = MeshVertex{1, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    m->vertices[1] = MeshVertex{5, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0}; // exactly at the radius
    m->vertices[2] = MeshVertex{1, 2, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0}; // beyond
    deform_bulge(m.get(), &p);
    expect_at(m.get(), 0, 1.0f, 3.0f, 3.0f, 0.0f);
    expect_at(m.get(), 1, 5.0f, 2.0f, 3.0f, 0.0f);
    expect_at(m.get(), 2, 1.0f, 2.0f, 8.0f, 0.0f);

    // Half way out the cosine weight is cos(pi/4).
    MeshPtr half = one_vertex(3.0f, 2.0f, 3.0f);
    deform_bulge(half.get(), &p);
    expect_at(half.get(), 0, 3.0f, 2.0f + std::cos(0.78539819f), 3.0f, 1e-6f);
}

TEST(DeformBulge, ZeroRadiusDoesNothing)
{
    BulgeParams p{{0, 0, 0}, {1, 1, 1}, 0.0f, 1.0f};
    MeshPtr m = one_vertex(0, 0, 0);
    deform_bulge(m.get(), &p);
    expect_at(m.get(), 0, 0, 0, 0, 0.0f);
}

TEST(Lattice, CurvePassesThroughItsFourPoints)
{
    Vec3 q[4] = {{1, -2, 0.5f}, {3, 0, 2}, {-1, 4, 1}, {2, 2, -3}};
    Vec3 k[4];
    lattice_curve(q, k);
    for (int i = 0; i < 4; ++i) {
        Vec3 out;
        vec3_cubic(&k[0], &k[1], &k[2], &k[3], static_cast<float>(i) / 3.0f, &out);
        EXPECT_NEAR(out.x, q[i].x, 1e-5f) << i;
        EXPECT_NEAR(out.y, q[i].y, 1e-5f) << i;
        EXPECT_NEAR(out.z, q[i].z, 1e-5f) << i;
    }
}

TEST(Lattice, ResetLatticeMapsThePointsToThemselves)
{
    Lattice lattice;
    lattice_reset(&lattice);
    EXPECT_EQ(lattice.points[0].x, -1.0f);
    EXPECT_EQ(lattice.points[63].z, 1.0f);
    MeshPtr m(mesh_create(3, 1), mesh_free);
    m->vertices[0] = MeshVertex{0.5f, -0.25f, 1.0f, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    m->vertices[1] = MeshVertex{-0.9f, 0.1f, 0.3f, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    m->vertices[2] = MeshVertex{2.0f, -3.0f, 0.0f, 0, 0, 0, 0, 0, 0, 0, 0, 0}; // outside: extrapolated
    deform_lattice(m.get(), &lattice);
    expect_at(m.get(), 0, 0.5f, -0.25f, 1.0f, 1e-5f);
    expect_at(m.get(), 1, -0.9f, 0.1f, 0.3f, 1e-5f);
    expect_at(m.get(), 2, 2.0f, -3.0f, 0.0f, 1e-4f);
}

TEST(Lattice, MovedControlPointsMoveTheBox)
{
    Lattice lattice;
    lattice_reset(&lattice);
    for (Vec3& p : lattice.points)
        p.y += 0.5f;
    lattice.points[0].x = -2.0f; // pull one corner outwards
    MeshPtr m(mesh_create(2, 1), mesh_free);
    m->vertices[0] = MeshVertex{0.2f, 0.3f, -0.4f, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    m->vertices[1] = MeshVertex{-1.0f, -1.0f, -1.0f, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    deform_lattice(m.get(), &lattice);
    EXPECT_NEAR(m->vertices[0].y, 0.8f, 1e-5f);
    expect_at(m.get(), 1, -2.0f, -0.5f, -1.0f, 1e-5f);

    lattice.maximum.z = lattice.minimum.z; // flat box: nothing happens
    MeshPtr flat = one_vertex(0.1f, 0.2f, 0.3f);
    deform_lattice(flat.get(), &lattice);
    expect_at(flat.get(), 0, 0.1f, 0.2f, 0.3f, 0.0f);
}

TEST(DeformRipple, QuarterPeriodAlongTheAxisMovesByAmplitude)
{
    RippleParams p{DEFORM_AXIS_Y, {0, 0, 0}, 1.0f, 1.0f, 1.0f, 0.0f, 0.0f, 1.0f, 0.0f};
    MeshPtr m = one_vertex(0.0f, 0.25f, 0.0f);
    deform_ripple(m.get(), &p);
    expect_at(m.get(), 0, 0.0f, 1.25f, 0.0f, 1e-6f);
}

TEST(DeformRipple, WeightBlendsFromPolesToEquator)
{
    RippleParams p{DEFORM_AXIS_Z, {0, 0, 0}, 0.0f, 1.0f, 1.0f, 0.0f, 0.0f, 1.0f, 0.0f};
    MeshPtr m(mesh_create(3, 1), mesh_free);
    m->vertices[0] = MeshVertex{0, 0, 0.25f, 0, 0, 0, 0, 0, 0, 0, 0, 0}; // pole: weight 0
    m->vertices[1] = MeshVertex{0.25f, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}; // equator: weight 1
    m->vertices[2] = MeshVertex{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};     // centre: weight 0
    deform_ripple(m.get(), &p);
    expect_at(m.get(), 0, 0, 0, 0.25f, 1e-6f);
    expect_at(m.get(), 1, 0.25f, 0, 1.0f, 1e-6f);
    expect_at(m.get(), 2, 0, 0, 0, 0.0f);
}

TEST(DeformRipple, PointsOnTheAxisNeverBecomeNan)
{
    // d[axis] / |d| can round above 1 on the axis; the arc cosine is clamped.
    RippleParams p{DEFORM_AXIS_X, {0.1f, 0.2f, 0.3f}, 0.5f, 1.0f, 2.0f, 0.1f, 0.5f, 1.0f, 0.0f};
    const int count = 2000;
    MeshPtr m(mesh_create(count, 1), mesh_free);
    for (int i = 0; i < count; ++i) {
        float a = 0.001f * static_cast<float>(i + 1) * (i % 2 ? -1.0f : 1.0f);
        m->vertices[i] = MeshVertex{0.1f + a, 0.2f, 0.3f, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    }
    deform_ripple(m.get(), &p);
    for (int i = 0; i < count; ++i) {
        ASSERT_TRUE(std::isfinite(m->vertices[i].x)) << i;
        ASSERT_EQ(m->vertices[i].y, 0.2f);
    }
}

TEST(DeformWave, SineAlongAxisPushesAlongDirection)
{
    WaveParams p{DEFORM_AXIS_X, 1, {0, 0, 0}, 2.0f, 4.0f, 0.0f, 0.0f};
    MeshPtr m = one_vertex(1.0f, 0.0f, 0.0f);
    deform_wave(m.get(), &p);
    expect_at(m.get(), 0, 1.0f, 2.0f, 0.0f, 1e-6f);

    p.direction_mode = 4; // (1, 0, 1)
    MeshPtr m4 = one_vertex(1.0f, 0.0f, 0.0f);
    deform_wave(m4.get(), &p);
    expect_at(m4.get(), 0, 3.0f, 0.0f, 2.0f, 1e-6f);

    p.direction_mode = 9; // unknown mode: no displacement
    MeshPtr m9 = one_vertex(1.0f, 0.0f, 0.0f);
    deform_wave(m9.get(), &p);
    expect_at(m9.get(), 0, 1.0f, 0.0f, 0.0f, 0.0f);
}

TEST(DeformWave, RadialModeMovesAwayFromCentreAndFalloffFades)
{
    WaveParams p{DEFORM_AXIS_X, 6, {0, 0, 0}, 1.0f, 4.0f, 0.0f, 2.0f};
    MeshPtr m(mesh_create(3, 1), mesh_free);
    m->vertices[0] = MeshVertex{1.0f, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};    // w = sin(pi/2) * (1 - 1/2)
    m->vertices[1] = MeshVertex{0.6f, 0.8f, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}; // L = 1
    m->vertices[2] = MeshVertex{3.0f, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};    // beyond the falloff
    deform_wave(m.get(), &p);
    expect_at(m.get(), 0, 1.5f, 0.0f, 0.0f, 1e-6f);
    float w = std::sin(0.6f * 0.25f * 6.2831855f) * 0.5f;
    expect_at(m.get(), 1, 0.6f + w * 0.6f, 0.8f + w * 0.8f, 0.0f, 1e-6f);
    EXPECT_GT(std::hypot(m->vertices[1].x, m->vertices[1].y), 1.0f);
    expect_at(m.get(), 2, 3.0f, 0.0f, 0.0f, 0.0f);
}

TEST(DeformTwist, ZeroAmountChangesNothing)
{
    for (int32_t mode = 0; mode < 5; ++mode) {
        TwistParams p{mode, {0.5f, 0.25f, -1.0f}, 3.0f, 0.0f};
        MeshPtr m = busy_mesh();
        std::vector<MeshVertex> before(m->vertices, m->vertices + m->vertex_count);
        deform_twist(m.get(), &p);
        for (int i = 0; i < m->vertex_count; ++i)
            expect_at(m.get(), i, before[i].x, before[i].y, before[i].z, 1e-6f);
    }
}

TEST(DeformTwist, TurnsAboutTheAxisNearTheCentre)
{
    // Mode 2 turns (x, y) about z: phi = amount * cos(z / size * pi/2) * (1 - L / size).
    TwistParams p{2, {0, 0, 0}, 100.0f, 1.0f};
    MeshPtr m = one_vertex(1.0f, 0.0f, 0.0f);
    deform_twist(m.get(), &p);
    float phi = 1.0f * 1.0f * (1.0f - 0.01f);
    expect_at(m.get(), 0, std::cos(phi), -std::sin(phi), 0.0f, 1e-5f);

    p.size = 0.0f;
    MeshPtr z = one_vertex(1.0f, 0.0f, 0.0f);
    deform_twist(z.get(), &p);
    expect_at(z.get(), 0, 1.0f, 0.0f, 0.0f, 0.0f);

    // Mode 3 keeps the distance from the centre.
    p = TwistParams{3, {0, 0, 0}, 10.0f, 2.0f};
    MeshPtr r = one_vertex(1.0f, 2.0f, -0.5f);
    deform_twist(r.get(), &p);
    EXPECT_NEAR(std::sqrt(r->vertices[0].x * r->vertices[0].x + r->vertices[0].y * r->vertices[0].y +
                          r->vertices[0].z * r->vertices[0].z),
                std::sqrt(5.25f), 1e-5f);
    EXPECT_GT(std::fabs(r->vertices[0].x - 1.0f), 0.01f);
}

// Mode 3 as written out: the rotation built for every vertex, also where the
// angles are zero. The deformer must give the same bits.
void twist_all_three_literal(Mesh* mesh, const TwistParams& p)
{
    auto k = [&](float x) { return core_cos(x / p.size * 1.5707964f); };
    for (int32_t i = 0; i < mesh->vertex_count; ++i) {
        MeshVertex& v = mesh->vertices[i];
        const Vec3 pos = {v.x, v.y, v.z};
        Vec3 d;
        vec3_sub(&pos, &p.centre, &d);
        const float length = vec3_length(&d);
        const float w = 1.0f - (p.size >= length ? length / p.size : 1.0f);
        Matrix m;
        matrix_rotation_yxz(&m, p.amount * k(d.x) * w, p.amount * k(d.y) * w, p.amount * k(d.z) * w);
        const Vec3 r = {d.x * m.m[0] + d.y * m.m[4] + d.z * m.m[8],
                        d.x * m.m[1] + d.y * m.m[5] + d.z * m.m[9],
                        d.x * m.m[2] + d.y * m.m[6] + d.z * m.m[10]};
        Vec3 out;
        vec3_add(&p.centre, &r, &out);
        v.x = out.x;
        v.y = out.y;
        v.z = out.z;
    }
}

// The next of a seeded sequence, spread evenly over [-half, half) in steps
// of 2 half / 2^24 (half a power of two, so the values are exact).
static float uniform_in(uint32_t* seed, float half)
{
    *seed = *seed * 1664525u + 1013904223u;
    return static_cast<float>(*seed >> 8) / (8388608.0f / half) - half;
}

TEST(DeformTwist, AllThreeAxesLeaveVerticesOutOfReachAsTheFullRotationDoes)
{
    // Vertices on a sphere, some within the twist's size of its centre and
    // most beyond it; some at non-finite places.
    MeshPtr a(mesh_create(2000, 1), mesh_free);
    uint32_t seed = 12345u;
    auto next = [&] { return uniform_in(&seed, 1.0f); };
    for (int32_t i = 0; i < a->vertex_count; ++i) {
        Vec3 p = {next(), next(), next()}, n;
        vec3_normalize(&p, &n);
        a->vertices[i].x = n.x;
        a->vertices[i].y = n.y;
        a->vertices[i].z = n.z;
    }
    a->vertices[0].x = std::numeric_limits<float>::quiet_NaN();
    a->vertices[1].y = std::numeric_limits<float>::infinity();
    a->vertices[2].z = 3e38f;
    for (const TwistParams& p :
         {TwistParams{3, {0.2f, -1.1f, 0.5f}, 1.0f, 2.7f}, TwistParams{3, {0.0f, 0.0f, 1.25f}, 1.0f, -3.1f},
          TwistParams{3, {0.3f, 0.2f, 0.1f}, 2.0f, 1.57f},
          TwistParams{3, {0.0f, 0.0f, 0.0f}, 1e-30f, 1.0f}}) {
        MeshPtr fast(mesh_create(a->vertex_count, 1), mesh_free),
            plain(mesh_create(a->vertex_count, 1), mesh_free);
        std::copy(a->vertices, a->vertices + a->vertex_count, fast->vertices);
        std::copy(a->vertices, a->vertices + a->vertex_count, plain->vertices);
        deform_twist(fast.get(), &p);
        twist_all_three_literal(plain.get(), p);
        for (int32_t i = 0; i < a->vertex_count; ++i) {
            const float* f = &fast->vertices[i].x;
            const float* q = &plain->vertices[i].x;
            for (int c = 0; c < 3; ++c)
                ASSERT_TRUE(f[c] == q[c] || (std::isnan(f[c]) && std::isnan(q[c])))
                    << "vertex " << i << " component " << c << ": " << f[c] << " vs " << q[c];
        }
    }
}

// Modes 0 to 2 as written out: cosine and sine called for every angle,
// also the zero ones beyond the reach.
TEST(DeformTwist, SingleAxisModesMatchTheCallsForEveryAngle)
{
    MeshPtr a(mesh_create(3000, 1), mesh_free);
    uint32_t seed = 777u;
    auto next = [&] { return uniform_in(&seed, 2.0f); };
    for (int32_t i = 0; i < a->vertex_count; ++i) {
        a->vertices[i].x = next();
        a->vertices[i].y = i % 7 == 0 ? -0.0f : next();
        a->vertices[i].z = next();
    }
    a->vertices[0].x = std::numeric_limits<float>::quiet_NaN();
    a->vertices[1].y = -std::numeric_limits<float>::infinity();
    for (int32_t mode = 0; mode < 3; ++mode)
        for (float amount : {1.3f, -2.9f, std::numeric_limits<float>::infinity()}) {
            const TwistParams p{mode, {0.1f, -0.2f, 0.3f}, 1.5f, amount};
            MeshPtr fast(mesh_create(a->vertex_count, 1), mesh_free);
            std::copy(a->vertices, a->vertices + a->vertex_count, fast->vertices);
            deform_twist(fast.get(), &p);
            for (int32_t i = 0; i < a->vertex_count; ++i) {
                const MeshVertex& v = a->vertices[i];
                Vec3 d = {v.x - p.centre.x, v.y - p.centre.y, v.z - p.centre.z};
                const float length = vec3_length(&d);
                const float w = 1.0f - (p.size >= length ? length / p.size : 1.0f);
                float* pair[3][2] = {{&d.y, &d.z}, {&d.x, &d.z}, {&d.x, &d.y}};
                const float axis = mode == 0 ? d.x : mode == 1 ? d.y : d.z;
                const float phi = p.amount * core_cos(axis / p.size * 1.5707964f) * w;
                const float c = core_cos(phi), s = core_sin(phi);
                float* x = pair[mode][0];
                float* y = pair[mode][1];
                const float nx = c * *x + s * *y, ny = -s * *x + c * *y;
                *x = nx;
                *y = ny;
                const float want[3] = {p.centre.x + d.x, p.centre.y + d.y, p.centre.z + d.z};
                const float* got = &fast->vertices[i].x;
                for (int k = 0; k < 3; ++k)
                    ASSERT_TRUE(std::memcmp(&got[k], &want[k], 4) == 0 ||
                                (std::isnan(got[k]) && std::isnan(want[k])))
                        << "mode " << mode << " amount " << amount << " vertex " << i << " component " << k;
            }
        }
}

TEST(Deformers, TouchOnlyObjectSpacePositions)
{
    Lattice lattice;
    lattice_reset(&lattice);
    lattice.points[21].x += 0.3f;
    BulgeParams bulge{{0, 0, 0}, {0.2f, 1, 0}, 1.5f, 0.7f};
    RippleParams ripple{DEFORM_AXIS_Z, {0.1f, 0, 0}, 0.2f, 1.0f, 2.0f, 0.3f, 0.1f, 0.5f, 0.2f};
    WaveParams wave{DEFORM_AXIS_Y, 6, {0, 0.1f, 0}, 0.4f, 1.5f, 0.2f, 0.0f};
    TwistParams twist{3, {0, 0, 0.2f}, 2.0f, 1.2f};
    std::vector<std::function<void(Mesh*)>> deformers = {
        [&](Mesh* m) { deform_bulge(m, &bulge); },   [&](Mesh* m) { deform_lattice(m, &lattice); },
        [&](Mesh* m) { deform_ripple(m, &ripple); }, [&](Mesh* m) { deform_wave(m, &wave); },
        [&](Mesh* m) { deform_twist(m, &twist); },
    };
    for (size_t k = 0; k < deformers.size(); ++k) {
        MeshPtr m = busy_mesh();
        std::vector<MeshVertex> vertices(m->vertices, m->vertices + m->vertex_count);
        std::vector<float> normals(m->normals, m->normals + 6 * m->vertex_count);
        std::vector<MeshTriangle> triangles(m->triangles, m->triangles + m->triangle_count);
        deformers[k](m.get());
        int moved = 0;
        for (int i = 0; i < m->vertex_count; ++i) {
            const MeshVertex& a = vertices[i];
            const MeshVertex& b = m->vertices[i];
            EXPECT_EQ(std::memcmp(&a.tx, &b.tx, sizeof(MeshVertex) - 3 * sizeof(float)), 0)
                << "deformer " << k << " vertex " << i;
            moved += (a.x != b.x || a.y != b.y || a.z != b.z);
        }
        EXPECT_GT(moved, 0) << "deformer " << k;
        EXPECT_EQ(std::memcmp(normals.data(), m->normals, normals.size() * sizeof(float)), 0) << k;
        EXPECT_EQ(std::memcmp(triangles.data(), m->triangles, triangles.size() * sizeof(MeshTriangle)), 0)
            << k;
    }
}
