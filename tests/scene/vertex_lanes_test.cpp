// The four-lane matrix product, twist, normals, tangents and transform against
// the plain code of vertex_reference.h, word for word, on random meshes with
// the awkward values mixed in: signed zeros, underflowing and overflowing
// squares, infinities, NaN, bad indices and counts that leave a remainder.
#include "vertex_reference.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace
{

using MeshPtr = std::unique_ptr<Mesh, decltype(&mesh_free)>;

struct Rng {
    uint32_t s;
    uint32_t next()
    {
        s = s * 1664525u + 1013904223u;
        return s >> 8;
    }
    float uniform(float half) { return static_cast<float>(next()) / (8388608.0f / half) - half; }
    // Mostly ordinary values, now and then one that tests a special case.
    float awkward(float half)
    {
        switch (next() % 40) {
        case 0:
            return 0.0f;
        case 1:
            return -0.0f;
        case 2:
            return 1e-30f * uniform(1.0f); // its square underflows
        case 3:
            return 3e19f * uniform(1.0f); // its square overflows
        case 4:
            return std::numeric_limits<float>::infinity();
        case 5:
            return std::numeric_limits<float>::quiet_NaN();
        case 6:
            return 1e-41f; // subnormal
        default:
            return uniform(half);
        }
    }
};

// Word for word, except that any NaN matches any NaN: which NaN an operation
// on two NaNs returns follows the order the compiler put the operands in, not
// the arithmetic, and every reader of these values treats all NaNs alike.
bool same_float(uint32_t a, uint32_t b)
{
    auto nan = [](uint32_t w) { return (w & 0x7f800000u) == 0x7f800000u && (w & 0x007fffffu) != 0; };
    return a == b || (nan(a) && nan(b));
}

// count records of `words` words each; the words whose bit is set in
// `integers` (colours, indices, flags) must match exactly.
void expect_same_records(const void* got, const void* want, int32_t count, int words, uint32_t integers,
                         const char* what, int round)
{
    const auto* g = static_cast<const uint32_t*>(got);
    const auto* w = static_cast<const uint32_t*>(want);
    for (int32_t i = 0; i < count * words; ++i) {
        const bool integer = (integers >> (i % words) & 1u) != 0;
        ASSERT_TRUE(integer ? g[i] == w[i] : same_float(g[i], w[i]))
            << what << ": record " << i / words << " word " << i % words << " is " << std::hex << g[i]
            << " instead of " << w[i] << " in round " << std::dec << round;
    }
}

constexpr uint32_t VERTEX_INTEGERS = 1u << 11;        // colour
constexpr uint32_t TRIANGLE_INTEGERS = 7u | 7u << 10; // a b c; colour, lit colour, visible

void expect_same_mesh(const Mesh* got, const Mesh* want, int round)
{
    expect_same_records(got->vertices, want->vertices, got->vertex_count, 12, VERTEX_INTEGERS, "vertices",
                        round);
    expect_same_records(got->normals, want->normals, got->vertex_count, 6, 0u, "normals", round);
    expect_same_records(got->triangles, want->triangles, got->triangle_count, 14, TRIANGLE_INTEGERS,
                        "triangles", round);
    if (got->tangents)
        expect_same_records(got->tangents, want->tangents, got->vertex_count, 7, 0u, "tangents", round);
}

// A random mesh (every float field, normals and tangents filled), with
// `special` the chance in 40 draws of an awkward value and some bad indices.
MeshPtr random_mesh(Rng* r, int32_t vertices, int32_t triangles, bool special, bool bad_indices)
{
    MeshPtr m(mesh_create(vertices, triangles), mesh_free);
    m->tangents = static_cast<float*>(std::calloc(static_cast<size_t>(vertices) * 7, sizeof(float)));
    auto value = [&](float half) { return special ? r->awkward(half) : r->uniform(half); };
    for (int32_t i = 0; i < vertices; ++i) {
        float* f = &m->vertices[i].x;
        for (int k = 0; k < 11; ++k)
            f[k] = value(4.0f);
        m->vertices[i].colour = r->next();
        for (int k = 0; k < 6; ++k)
            m->normals[6 * i + k] = value(1.0f);
        for (int k = 0; k < 7; ++k)
            m->tangents[7 * i + k] = value(1.0f);
    }
    for (int32_t i = 0; i < triangles; ++i) {
        MeshTriangle& t = m->triangles[i];
        int32_t* index = &t.a;
        for (int k = 0; k < 3; ++k) {
            index[k] = static_cast<int32_t>(r->next() % static_cast<uint32_t>(vertices));
            if (bad_indices && r->next() % 30 == 0)
                index[k] = r->next() % 2 ? -1 - index[k] : vertices + index[k];
        }
        float* f = &t.nx;
        for (int k = 0; k < 7; ++k)
            f[k] = value(1.0f);
        t.colour = r->next();
        t.lit_colour = r->next();
        t.visible = r->next() & 1u;
    }
    return m;
}

MeshPtr copy_of(const Mesh* m)
{
    MeshPtr c(mesh_create(m->vertex_count, m->triangle_count), mesh_free);
    std::memcpy(c->vertices, m->vertices, sizeof(MeshVertex) * m->vertex_count);
    std::memcpy(c->normals, m->normals, sizeof(float) * 6 * m->vertex_count);
    std::memcpy(c->triangles, m->triangles, sizeof(MeshTriangle) * m->triangle_count);
    if (m->tangents) {
        c->tangents = static_cast<float*>(std::malloc(sizeof(float) * 7 * m->vertex_count));
        std::memcpy(c->tangents, m->tangents, sizeof(float) * 7 * m->vertex_count);
    }
    c->flags = m->flags;
    return c;
}

Matrix random_matrix(Rng* r, bool special)
{
    Matrix m;
    for (float& v : m.m)
        v = special ? r->awkward(2.0f) : r->uniform(2.0f);
    return m;
}

} // namespace

TEST(VertexLanes, MatrixProductMatchesTheEntryLoopAlsoInPlace)
{
    Rng r{11};
    for (int round = 0; round < 2000; ++round) {
        const bool special = round % 2 == 1;
        const Matrix a = random_matrix(&r, special), b = random_matrix(&r, special);
        Matrix got, want;
        matrix_multiply(&a, &b, &got);
        vertex_reference::multiply(&a, &b, &want);
        expect_same_records(&got, &want, 1, 16, 0u, "product", round);
        // Into its own left and right factor.
        Matrix left = a, left_want = a;
        matrix_multiply(&left, &b, &left);
        vertex_reference::multiply(&left_want, &b, &left_want);
        expect_same_records(&left, &left_want, 1, 16, 0u, "product into a", round);
        Matrix right = b, right_want = b;
        matrix_multiply(&a, &right, &right);
        vertex_reference::multiply(&a, &right_want, &right_want);
        expect_same_records(&right, &right_want, 1, 16, 0u, "product into b", round);
    }
}

TEST(VertexLanes, AllAxesTwistMatchesTheFullRotation)
{
    Rng r{23};
    const TwistParams params[] = {
        {3, {0.2f, -1.1f, 0.5f}, 1.0f, 2.7f},
        {3, {0.0f, 0.0f, 1.25f}, 1.0f, -3.1f},
        {3, {0.3f, 0.2f, 0.1f}, 2.0f, 1.57f},
        {3, {0.0f, 0.0f, 0.0f}, 1e-30f, 1.0f},
        {3, {0.0f, 0.0f, 0.0f}, 5.0f, std::numeric_limits<float>::infinity()},
        {3, {-0.0f, 0.0f, -0.0f}, 3.0f, -0.0f},
    };
    for (int round = 0; round < 24; ++round) {
        MeshPtr m = random_mesh(&r, 500 + round, 1, round % 3 == 2, false);
        for (const TwistParams& p : params) {
            MeshPtr got = copy_of(m.get()), want = copy_of(m.get());
            deform_twist(got.get(), &p);
            vertex_reference::twist_all_axes(want.get(), p);
            expect_same_mesh(got.get(), want.get(), round);
        }
    }
}

TEST(VertexLanes, NormalsAndPlanesMatchTheTriangleLoop)
{
    Rng r{37};
    for (int round = 0; round < 300; ++round) {
        const int32_t vertices = 1 + static_cast<int32_t>(r.next() % 60);
        const int32_t triangles = 1 + static_cast<int32_t>(r.next() % 90);
        MeshPtr m = random_mesh(&r, vertices, triangles, round % 2 == 1, round % 3 == 0);
        MeshPtr want = copy_of(m.get());
        mesh_compute_normals(m.get());
        vertex_reference::compute_normals(want.get());
        expect_same_mesh(m.get(), want.get(), round);
    }
}

TEST(VertexLanes, TangentFramesMatchTheTriangleLoop)
{
    Rng r{41};
    for (int round = 0; round < 300; ++round) {
        const int32_t vertices = 1 + static_cast<int32_t>(r.next() % 60);
        const int32_t triangles = 1 + static_cast<int32_t>(r.next() % 90);
        MeshPtr m = random_mesh(&r, vertices, triangles, round % 2 == 1, round % 3 == 0);
        // Some texture coordinates repeated, so that determinants are zero,
        // and some tiny, so that they are subnormal.
        for (int32_t i = 0; i < vertices; ++i) {
            if (r.next() % 8 == 0)
                m->vertices[i].u = m->vertices[0].u, m->vertices[i].v = m->vertices[0].v;
            if (r.next() % 8 == 0)
                m->vertices[i].u *= 1e-20f, m->vertices[i].v *= 1e-20f;
        }
        MeshPtr want = copy_of(m.get());
        ASSERT_EQ(mesh_compute_tangents(m.get()), 1);
        vertex_reference::compute_tangents(want.get());
        expect_same_mesh(m.get(), want.get(), round);
    }
}

TEST(VertexLanes, TransformMatchesTheVertexLoopForEveryPart)
{
    Rng r{53};
    for (int round = 0; round < 400; ++round) {
        const int32_t vertices = 1 + static_cast<int32_t>(r.next() % 40);
        const int32_t triangles = 1 + static_cast<int32_t>(r.next() % 40);
        const bool special = round % 2 == 1;
        MeshPtr m = random_mesh(&r, vertices, triangles, special, false);
        m->flags = round % 4 < 2 ? MESH_DIVIDE_W : 0u;
        Matrix matrix = random_matrix(&r, special && round % 8 == 1), normal = random_matrix(&r, false);
        if (round % 5 == 0) // a w of exactly zero for the origin
            matrix.m[15] = 0.0f;
        if (round % 7 == 0)
            m->vertices[0].x = m->vertices[0].y = m->vertices[0].z = 0.0f;
        const uint32_t what = static_cast<uint32_t>(round) % 8u;
        MeshPtr want = copy_of(m.get());
        mesh_transform(m.get(), &matrix, &normal, what);
        vertex_reference::transform(want.get(), &matrix, &normal, what);
        expect_same_mesh(m.get(), want.get(), round);
    }
}

TEST(VertexLanes, VertexAndTangentLightingMatchTheVertexLoop)
{
    Rng r{67};
    for (int round = 0; round < 400; ++round) {
        const int32_t vertices = 1 + static_cast<int32_t>(r.next() % 40);
        const bool special = round % 2 == 1;
        MeshPtr m = random_mesh(&r, vertices, 1, special, false);
        m->flags = round % 4 < 2 ? MESH_TWO_SIDED : 0u;
        m->normal_matrix = random_matrix(&r, special && round % 8 == 1);
        // Handedness as the tangent pass leaves it, mostly.
        for (int32_t i = 0; i < vertices; ++i)
            if (r.next() % 4 != 0)
                m->tangents[7 * i + 6] = r.next() % 2 ? 1.0f : -1.0f;
        Vec3 light{r.uniform(2.0f), r.uniform(2.0f), r.uniform(2.0f)};
        if (round % 9 == 0)
            light = Vec3{0.0f, 0.0f, 0.0f};
        if (round % 11 == 0)
            light.y = r.awkward(1.0f);
        const int32_t mode = round % 3 == 0 ? LIGHT_PER_VERTEX : LIGHT_TANGENT;
        for (bool inverted : {false, true}) {
            MeshPtr got = copy_of(m.get()), want = copy_of(m.get());
            got->normal_matrix = want->normal_matrix = m->normal_matrix;
            Vec3 got_light = light, want_light = light;
            if (inverted)
                mesh_light_inverted(got.get(), &got_light, mode);
            else
                mesh_light(got.get(), &got_light, mode);
            vertex_reference::light(want.get(), &want_light, mode, inverted);
            expect_same_mesh(got.get(), want.get(), round);
            expect_same_records(&got_light, &want_light, 1, 3, 0u, "light", round);
        }
    }
}

TEST(VertexLanes, RippleAndWaveMatchTheOneSineAtATimeLoops)
{
    Rng r{71};
    for (int round = 0; round < 40; ++round) {
        MeshPtr m = random_mesh(&r, 60 + 37 * round, 1, round % 4 == 3, false);
        const float weight = r.uniform(2.0f);
        const RippleParams ripple = {round % 3,
                                     {r.uniform(1.0f), r.uniform(1.0f), r.uniform(1.0f)},
                                     weight,
                                     round % 2 ? weight : r.uniform(2.0f),
                                     round % 5 == 0 ? 0.0f : r.uniform(3.0f),
                                     r.uniform(40.0f),
                                     r.uniform(1.0f),
                                     r.uniform(2.0f),
                                     r.uniform(1.0f)};
        MeshPtr got = copy_of(m.get()), want = copy_of(m.get());
        deform_ripple(got.get(), &ripple);
        vertex_reference::ripple(want.get(), ripple);
        expect_same_mesh(got.get(), want.get(), round);
        const WaveParams wave = {round % 3,
                                 static_cast<int32_t>(r.next() % 8),
                                 {r.uniform(1.0f), r.uniform(1.0f), r.uniform(1.0f)},
                                 r.uniform(1.0f),
                                 round % 5 == 0 ? 0.0f : r.uniform(3.0f),
                                 r.uniform(40.0f),
                                 round % 2 ? 0.0f : r.uniform(6.0f)};
        got = copy_of(m.get());
        want = copy_of(m.get());
        deform_wave(got.get(), &wave);
        vertex_reference::wave(want.get(), wave);
        expect_same_mesh(got.get(), want.get(), round);
    }
}
