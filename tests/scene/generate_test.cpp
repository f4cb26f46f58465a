// The generated ring and tube: counts, vertex positions, texture coordinates
// and triangle order.
#include "scene/scene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace
{

using MeshPtr = std::unique_ptr<Mesh, decltype(&mesh_free)>;

void expect_triangle(const MeshTriangle& t, int32_t a, int32_t b, int32_t c)
{
    EXPECT_EQ(t.a, a);
    EXPECT_EQ(t.b, b);
    EXPECT_EQ(t.c, c);
}

} // namespace

TEST(MeshCreateRing, FourSegmentsGiveEightVerticesAndTriangles)
{
    MeshPtr ring(mesh_create_ring(4, 3.0f, 2.0f, 0xFF112233u), mesh_free);
    ASSERT_NE(ring, nullptr);
    EXPECT_EQ(ring->vertex_count, 8);
    EXPECT_EQ(ring->triangle_count, 8);
    EXPECT_FLOAT_EQ(ring->vertices[0].x, 2.0f);
    EXPECT_EQ(ring->vertices[0].y, 0.0f);
    EXPECT_FLOAT_EQ(ring->vertices[0].z, 2.0f);
    EXPECT_FLOAT_EQ(ring->vertices[4].x, 3.0f);
    EXPECT_FLOAT_EQ(ring->vertices[4].z, 3.0f);
    // Vertex 1 sits at a third of the turn: the division is real, not integer.
    float c = std::cos(2.0943952f), n = std::sin(2.0943952f);
    EXPECT_NEAR(ring->vertices[1].x, (c + n) * 2.0f, 1e-5f);
    EXPECT_NEAR(ring->vertices[1].z, (c - n) * 2.0f, 1e-5f);
    // The last point repeats the first.
    EXPECT_NEAR(ring->vertices[3].x, ring->vertices[0].x, 1e-5f);
    EXPECT_NEAR(ring->vertices[3].z, ring->vertices[0].z, 1e-5f);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(ring->vertices[i].colour, 0xFF112233u);
        EXPECT_EQ(ring->triangles[i].colour, 0xFF112233u);
        EXPECT_EQ(ring->triangles[i].lit_colour, 0xFF112233u);
        EXPECT_EQ(ring->triangles[i].visible, 1u);
    }
    expect_triangle(ring->triangles[0], 0, 4, 5);
    expect_triangle(ring->triangles[1], 0, 5, 1);
    expect_triangle(ring->triangles[6], 3, 7, 4);
    expect_triangle(ring->triangles[7], 3, 4, 0);
    // Flat in XZ: every non-degenerate triangle has a vertical plane normal.
    EXPECT_NEAR(std::fabs(ring->triangles[0].ny), 1.0f, 1e-5f);
}

TEST(MeshCreateRing, RejectsFewerThanTwoSegments)
{
    EXPECT_EQ(mesh_create_ring(1, 2.0f, 1.0f, 0), nullptr);
    EXPECT_EQ(mesh_create_ring(0, 2.0f, 1.0f, 0), nullptr);
}

TEST(MeshCreateTube, EightSegmentsTwoRings)
{
    MeshPtr tube(mesh_create_tube(8, 2, 1.5f, 4.0f), mesh_free);
    ASSERT_NE(tube, nullptr);
    EXPECT_EQ(tube->vertex_count, 16);
    EXPECT_EQ(tube->triangle_count, 32);
    EXPECT_FLOAT_EQ(tube->vertices[0].x, 1.5f);
    EXPECT_EQ(tube->vertices[0].y, -2.0f);
    EXPECT_FLOAT_EQ(tube->vertices[0].z, -1.5f);
    EXPECT_EQ(tube->vertices[8].y, 2.0f);
    for (int j = 0; j < 8; ++j) {
        EXPECT_EQ(tube->vertices[j].u, static_cast<float>(j) / 8.0f);
        EXPECT_EQ(tube->vertices[j].v, 0.0f);
        EXPECT_EQ(tube->vertices[8 + j].v, 1.0f);
        // Every point lies on the circle of radius sqrt 2 * 1.5.
        float r = std::hypot(tube->vertices[j].x, tube->vertices[j].z);
        EXPECT_NEAR(r, 1.5f * std::sqrt(2.0f), 1e-5f);
    }
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(tube->triangles[i].colour, 0xFFFFFFFFu);
        EXPECT_EQ(tube->triangles[i].visible, 1u);
    }
    expect_triangle(tube->triangles[0], 0, 0, 1); // bottom fan
    expect_triangle(tube->triangles[7], 0, 7, 0);
    expect_triangle(tube->triangles[8], 9, 8, 8); // top fan
    expect_triangle(tube->triangles[15], 8, 15, 8);
    expect_triangle(tube->triangles[16], 9, 1, 0); // sides
    expect_triangle(tube->triangles[17], 9, 0, 8);
    expect_triangle(tube->triangles[30], 8, 0, 7);
    expect_triangle(tube->triangles[31], 8, 7, 15);
}

TEST(MeshCreateTube, MiddleRingsUseRealDivisions)
{
    MeshPtr tube(mesh_create_tube(4, 3, 1.0f, 2.0f), mesh_free);
    ASSERT_NE(tube, nullptr);
    EXPECT_EQ(tube->vertex_count, 12);
    EXPECT_EQ(tube->triangle_count, 24);
    EXPECT_EQ(tube->vertices[4].y, 0.0f);
    EXPECT_EQ(tube->vertices[4].v, 0.5f);
    EXPECT_EQ(tube->vertices[8].y, 1.0f);
    EXPECT_EQ(tube->vertices[1].u, 0.25f);
    EXPECT_EQ(mesh_create_tube(4, 1, 1.0f, 2.0f), nullptr);
}
