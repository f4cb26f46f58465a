// Lighting passes and generated texture coordinates on small hand-built meshes.
#include "scene/scene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>

namespace
{

struct MeshHolder {
    Mesh* mesh;
    MeshHolder(int32_t vertices, int32_t triangles) : mesh(mesh_create(vertices, triangles))
    {
        if (!mesh)
            throw std::bad_alloc();
    }
    MeshHolder(MeshHolder&& other) noexcept : mesh(other.mesh) { other.mesh = nullptr; }
    MeshHolder(const MeshHolder&) = delete;
    MeshHolder& operator=(const MeshHolder&) = delete;
    ~MeshHolder() { mesh_free(mesh); }
};

void set_identity(Matrix* m)
{
    std::memset(m, 0, sizeof *m);
    m->m[0] = m->m[5] = m->m[10] = m->m[15] = 1.0f;
}

void set_transformed_normal(Mesh* mesh, int32_t i, float x, float y, float z)
{
    mesh->normals[6 * i + 3] = x;
    mesh->normals[6 * i + 4] = y;
    mesh->normals[6 * i + 5] = z;
}

void set_triangle_normal(Mesh* mesh, int32_t i, float x, float y, float z)
{
    mesh->triangles[i].tnx = x;
    mesh->triangles[i].tny = y;
    mesh->triangles[i].tnz = z;
}

// One triangle in the XY plane facing +z, with texture coordinates and
// tangents, normals along +z, normal matrix identity.
MeshHolder flat_tangent_mesh()
{
    MeshHolder h(3, 1);
    Mesh* m = h.mesh;
    m->vertices[0] = MeshVertex{0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0};
    m->vertices[1] = MeshVertex{1, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0};
    m->vertices[2] = MeshVertex{0, 1, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0};
    m->triangles[0].a = 0;
    m->triangles[0].b = 1;
    m->triangles[0].c = 2;
    mesh_compute_normals(m);
    EXPECT_NE(mesh_compute_tangents(m), 0);
    set_identity(&m->normal_matrix);
    return h;
}

} // namespace

TEST(ColourAddSaturate, ClampsEachByteWithoutCarry)
{
    EXPECT_EQ(colour_add_saturate(0x80FF0010u, 0x80020030u), 0xFFFF0040u);
    EXPECT_EQ(colour_add_saturate(0xFFFFFFFFu, 0xFFFFFFFFu), 0xFFFFFFFFu);
    EXPECT_EQ(colour_add_saturate(0x01020304u, 0x10203040u), 0x11223344u);
    uint32_t s = 12345u;
    for (int i = 0; i < 10000; ++i) {
        s = s * 1664525u + 1013904223u;
        uint32_t a = s;
        s = s * 1664525u + 1013904223u;
        uint32_t b = s;
        ASSERT_EQ(colour_add_saturate(a, b), add_saturate(a, b)) << std::hex << a << " " << b;
    }
}

TEST(LightEncode, MapsUnitRangeToBytesAndNanToMiddle)
{
    EXPECT_EQ(light_encode_component(-1.0f), 0u);
    EXPECT_EQ(light_encode_component(0.0f), 127u);
    EXPECT_EQ(light_encode_component(1.0f), 255u);
    EXPECT_EQ(light_encode_component(3.0f), 255u);
    EXPECT_EQ(light_encode_component(-3.0f), 0u);
    EXPECT_EQ(light_encode_component(std::numeric_limits<float>::quiet_NaN()), 127u);
}

TEST(MeshLight, PerTriangleScalesBaseColourBytes)
{
    MeshHolder h(3, 2);
    Mesh* m = h.mesh;
    m->triangles[0].colour = 0xFF804020u;
    m->triangles[1].colour = 0xFF804020u;
    set_triangle_normal(m, 0, 0, 0, 1);
    set_triangle_normal(m, 1, 0, 0, -1);
    Vec3 light{0, 0, 0.5f};
    mesh_light(m, &light, LIGHT_PER_TRIANGLE);
    EXPECT_EQ(m->triangles[0].lit_colour, 0x7F402010u);
    EXPECT_EQ(m->triangles[1].lit_colour, 0u); // faces away
    EXPECT_EQ(light.z, 0.5f);                  // only mode 2 normalises

    m->flags |= MESH_TWO_SIDED;
    mesh_light(m, &light, LIGHT_PER_TRIANGLE);
    EXPECT_EQ(m->triangles[1].lit_colour, 0x7F402010u);
}

TEST(MeshLight, LongLightClampsEachByteInsteadOfCarrying)
{
    MeshHolder h(3, 1);
    Mesh* m = h.mesh;
    m->triangles[0].colour = 0xFF804020u;
    set_triangle_normal(m, 0, 0, 0, 1);
    Vec3 light{0, 0, 2.0f};
    mesh_light(m, &light, LIGHT_PER_TRIANGLE);
    EXPECT_EQ(m->triangles[0].lit_colour, 0xFFFF8040u);
}

TEST(MeshLight, PerVertexWritesClampedGrey)
{
    MeshHolder h(4, 1);
    Mesh* m = h.mesh;
    set_transformed_normal(m, 0, 0, 0, 1);
    set_transformed_normal(m, 1, 0, 0, -1);
    set_transformed_normal(m, 2, 0, 0.5f, 0);
    set_transformed_normal(m, 3, 0, 0, 1);
    Vec3 light{0, 1.0f, 1.0f};
    mesh_light(m, &light, LIGHT_PER_VERTEX);
    EXPECT_EQ(m->vertices[0].colour, 0xFFFFFFFFu);
    EXPECT_EQ(m->vertices[1].colour, 0u);
    EXPECT_EQ(m->vertices[2].colour, 0x7F7F7F7Fu);
    Vec3 strong{0, 0, 3.0f};
    mesh_light(m, &strong, LIGHT_PER_VERTEX);
    EXPECT_EQ(m->vertices[3].colour, 0xFFFFFFFFu);
    m->flags |= MESH_TWO_SIDED;
    mesh_light(m, &light, LIGHT_PER_VERTEX);
    EXPECT_EQ(m->vertices[1].colour, 0xFFFFFFFFu);
}

TEST(MeshLight, TangentSpaceEncodesLightAlongNormalAndNormalisesInPlace)
{
    MeshHolder h = flat_tangent_mesh();
    Mesh* m = h.mesh;
    Vec3 light{0, 0, 5.0f};
    mesh_light(m, &light, LIGHT_TANGENT);
    EXPECT_EQ(light.x, 0.0f);
    EXPECT_EQ(light.y, 0.0f);
    EXPECT_EQ(light.z, 1.0f);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(m->vertices[i].colour, 0x007F7FFFu) << i;

    // Light along +x (the direction u grows) lands in the red byte.
    Vec3 side{3.0f, 0, 0};
    mesh_light(m, &side, LIGHT_TANGENT);
    EXPECT_EQ(m->vertices[0].colour, 0x00FF7F7Fu);
}

TEST(MeshLight, TangentModeWithoutTangentsLeavesMeshAlone)
{
    MeshHolder h(3, 1);
    Mesh* m = h.mesh;
    for (int i = 0; i < 3; ++i)
        m->vertices[i].colour = 0x12345678u;
    Vec3 light{0, 0, 2.0f};
    mesh_light(m, &light, LIGHT_TANGENT);
    mesh_light_inverted(m, &light, LIGHT_TANGENT);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(m->vertices[i].colour, 0x12345678u);
}

TEST(MeshLight, DegenerateTextureCoordinatesNeverReachAColour)
{
    MeshHolder h(3, 1);
    Mesh* m = h.mesh;
    m->vertices[0] = MeshVertex{0, 0, 0, 0, 0, 0, 1, 0.5f, 0.5f, 0, 0, 0};
    m->vertices[1] = MeshVertex{1, 0, 0, 0, 0, 0, 1, 0.5f, 0.5f, 0, 0, 0};
    m->vertices[2] = MeshVertex{0, 1, 0, 0, 0, 0, 1, 0.5f, 0.5f, 0, 0, 0};
    m->triangles[0].a = 0;
    m->triangles[0].b = 1;
    m->triangles[0].c = 2;
    mesh_compute_normals(m);
    ASSERT_NE(mesh_compute_tangents(m), 0);
    set_identity(&m->normal_matrix);
    for (int i = 0; i < 3 * 7; ++i)
        EXPECT_TRUE(std::isfinite(m->tangents[i])) << i;
    Vec3 light{0.3f, 0.4f, 0.5f};
    mesh_light(m, &light, LIGHT_TANGENT);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(m->vertices[i].colour >> 24, 0u);

    // A determinant so small that its reciprocal overflows.
    m->vertices[0].u = 0.0f;
    m->vertices[0].v = 0.0f;
    m->vertices[1].u = 1e-22f;
    m->vertices[1].v = 0.0f;
    m->vertices[2].u = 0.0f;
    m->vertices[2].v = 1e-22f;
    ASSERT_NE(mesh_compute_tangents(m), 0);
    for (int i = 0; i < 3 * 7; ++i)
        EXPECT_TRUE(std::isfinite(m->tangents[i])) << i;

    // A finite reciprocal whose tangent overflows: edge 1000 over du 1e-36.
    m->vertices[1].x = 1000.0f;
    m->vertices[2].y = 1000.0f;
    m->vertices[1].u = 1e-36f;
    m->vertices[2].v = 1.0f;
    mesh_compute_normals(m);
    ASSERT_NE(mesh_compute_tangents(m), 0);
    for (int i = 0; i < 3 * 7; ++i)
        EXPECT_TRUE(std::isfinite(m->tangents[i])) << i;
    mesh_light(m, &light, LIGHT_TANGENT);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(m->vertices[i].colour >> 24, 0u);
}

TEST(MeshLightInverted, UsesOneMinusDiffuseAndNeverMirrors)
{
    MeshHolder h(2, 2);
    Mesh* m = h.mesh;
    m->flags |= MESH_TWO_SIDED; // ignored by the inverted light
    m->triangles[0].colour = 0xFF804020u;
    m->triangles[1].colour = 0xFF804020u;
    set_triangle_normal(m, 0, 0, 0, 1);
    set_triangle_normal(m, 1, 0, 0, -1);
    set_transformed_normal(m, 0, 0, 0, 1);
    set_transformed_normal(m, 1, 0, 0, -1);
    Vec3 light{0, 0, 0.5f};
    mesh_light_inverted(m, &light, LIGHT_PER_TRIANGLE);
    EXPECT_EQ(m->triangles[0].lit_colour, 0x7F402010u);
    EXPECT_EQ(m->triangles[1].lit_colour, 0xFF804020u);
    mesh_light_inverted(m, &light, LIGHT_PER_VERTEX);
    EXPECT_EQ(m->vertices[0].colour, 0x7F7F7F7Fu);
    EXPECT_EQ(m->vertices[1].colour, 0xFFFFFFFFu);
}

TEST(MeshLightInverted, TangentSpaceEncodesReflectedLight)
{
    MeshHolder h = flat_tangent_mesh();
    Mesh* m = h.mesh;
    Vec3 light{0, 0, 4.0f};
    mesh_light_inverted(m, &light, LIGHT_TANGENT);
    EXPECT_EQ(light.z, 1.0f);
    // R = N - 2(N.L)L = -N.
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(m->vertices[i].colour, 0x007F7F00u) << i;
}

TEST(MeshLightSpecular, AddsGreyHighlightSaturating)
{
    MeshHolder h(2, 1);
    Mesh* m = h.mesh;
    set_transformed_normal(m, 0, 0, 0, 1);
    set_transformed_normal(m, 1, 0, 0, -1);
    m->vertices[0].colour = 0x00F01000u;
    m->vertices[1].colour = 0x00F01000u;
    Vec3 light{0, 0, 1};
    // h = (0, 0, 2), k = 1/4: s = pow(0.5, 2) = 0.25, grey 63.
    mesh_light_specular(m, &light, 2.0f, LIGHT_PER_VERTEX);
    EXPECT_EQ(m->vertices[0].colour, 0x3FFF4F3Fu);
    EXPECT_EQ(m->vertices[1].colour, 0x00F01000u);
    EXPECT_EQ(light.z, 1.0f);

    set_triangle_normal(m, 0, 0, 0, 1);
    m->triangles[0].lit_colour = 0x01020304u;
    mesh_light_specular(m, &light, 1.0f, LIGHT_PER_TRIANGLE);
    EXPECT_EQ(m->triangles[0].lit_colour, 0x01020304u + 0x7F7F7F7Fu);
}

TEST(MeshLightSpecular, FactorAboveOneGivesWhiteNotWrap)
{
    MeshHolder h(1, 1);
    Mesh* m = h.mesh;
    // Light nearly opposite the viewer: |h| is small, k large, pow(k.d, 4) far above 1.
    Vec3 light2{0.2f, 0, -1.0f};
    set_transformed_normal(m, 0, 1, 0, 0);
    mesh_light_specular(m, &light2, 4.0f, LIGHT_PER_VERTEX);
    EXPECT_EQ(m->vertices[0].colour, 0xFFFFFFFFu);
}

TEST(TextureCoordinates, ReflectionMapOfViewerFacingNormal)
{
    MeshHolder h(2, 1);
    Mesh* m = h.mesh;
    set_transformed_normal(m, 0, 0, 0, 1);
    set_transformed_normal(m, 1, 0, 0, -1);
    mesh_reflection_map(m);
    EXPECT_EQ(m->vertices[0].u, 1.0f);
    EXPECT_EQ(m->vertices[0].v, 0.5f);
    EXPECT_EQ(m->vertices[1].u, 0.5f);
    EXPECT_EQ(m->vertices[1].v, 0.5f);
}

TEST(TextureCoordinates, SphereMapsFillTheirOwnSet)
{
    MeshHolder h(1, 1);
    Mesh* m = h.mesh;
    set_transformed_normal(m, 0, 1.0f, -1.0f, 0);
    m->vertices[0].u2 = 9.0f;
    mesh_sphere_map(m);
    EXPECT_EQ(m->vertices[0].u, 1.0f);
    EXPECT_EQ(m->vertices[0].v, 1.0f);
    EXPECT_EQ(m->vertices[0].u2, 9.0f);
    set_transformed_normal(m, 0, -1.0f, 1.0f, 0);
    mesh_sphere_map_second(m);
    EXPECT_EQ(m->vertices[0].u2, 0.0f);
    EXPECT_EQ(m->vertices[0].v2, 0.0f);
    EXPECT_EQ(m->vertices[0].u, 1.0f);
}

TEST(TextureCoordinates, PlanesAndScrolledSecondSet)
{
    MeshHolder h(1, 1);
    Mesh* m = h.mesh;
    m->vertices[0].x = 2.0f;
    m->vertices[0].y = 3.0f;
    m->vertices[0].z = 4.0f;
    const float pu[4] = {0.5f, 0, 0, 0.25f};
    const float pv[4] = {0, 0, -0.25f, 1.0f};
    mesh_uv_from_planes(m, pu, pv);
    EXPECT_EQ(m->vertices[0].u, 1.25f);
    EXPECT_EQ(m->vertices[0].v, 0.0f);
    float offset = 0.5f;
    mesh_offset_second_uv(m, &offset);
    EXPECT_EQ(m->vertices[0].u2, 1.75f);
    EXPECT_EQ(m->vertices[0].v2, 0.0f);
}
