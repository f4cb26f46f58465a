// The Mesh record: creation limits, draw order, save/restore, and the normal
// and tangent computations.
#include "scene/mesh.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace
{

void set_pos(Mesh* m, int i, float x, float y, float z, float u = 0, float v = 0)
{
    m->vertices[i].x = x;
    m->vertices[i].y = y;
    m->vertices[i].z = z;
    m->vertices[i].u = u;
    m->vertices[i].v = v;
}

void set_tri(Mesh* m, int i, int a, int b, int c)
{
    m->triangles[i].a = a;
    m->triangles[i].b = b;
    m->triangles[i].c = c;
    m->triangles[i].visible = 1;
}

TEST(MeshRecord, CreateRejectsEmptyCountsAndFillsTheDrawOrder)
{
    EXPECT_EQ(mesh_create(0, 1), nullptr);
    EXPECT_EQ(mesh_create(3, 0), nullptr);
    EXPECT_EQ(mesh_create(-1, -1), nullptr);
    Mesh* m = mesh_create(4, 5);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->vertex_count, 4);
    EXPECT_EQ(m->triangle_count, 5);
    EXPECT_EQ(m->saved_vertices, nullptr);
    EXPECT_EQ(m->tangents, nullptr);
    EXPECT_EQ(m->texture, nullptr);
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(m->draw_order[i], i);
    EXPECT_EQ(m->vertices[3].colour, 0u);
    EXPECT_EQ(m->normals[23], 0.0f);
    mesh_free(m);
    mesh_free(nullptr);
}

TEST(MeshRecord, RestoreWithoutSaveChangesNothingAndSaveRestoreRoundTrips)
{
    Mesh* m = mesh_create(2, 1);
    set_pos(m, 0, 1, 2, 3);
    mesh_restore_vertices(m);
    EXPECT_EQ(m->vertices[0].y, 2.0f);
    ASSERT_EQ(mesh_save_vertices(m), 0);
    set_pos(m, 0, 9, 9, 9);
    mesh_restore_vertices(m);
    EXPECT_EQ(m->vertices[0].x, 1.0f);
    EXPECT_EQ(m->vertices[0].z, 3.0f);
    mesh_free(m);
}

TEST(MeshRecord, NormalsWeightFacesByAreaAndLeaveUnusedVerticesZero)
{
    // Two triangles sharing edge 0-1 (the x axis); the second, twice the area,
    // tilted so that the shared vertices' normal leans towards it 2:1.
    Mesh* m = mesh_create(5, 2);
    set_pos(m, 0, 0, 0, 0);
    set_pos(m, 1, 1, 0, 0);
    set_pos(m, 2, 0, 1, 0); // face in the xy plane, normal +z, area 0.5
    set_pos(m, 3, 0, 0, 2); // face in the xz plane, area 1
    set_pos(m, 4, 7, 7, 7); // used by nothing
    set_tri(m, 0, 0, 1, 2);
    set_tri(m, 1, 0, 3, 1);
    mesh_compute_normals(m);
    const float* n = m->normals;
    // Face 0: (1,0,0) x (0,1,0) = (0,0,1); face 1: (0,0,2) x (1,0,0) = (0,2,0).
    EXPECT_FLOAT_EQ(n[0 * 6 + 0], 0.0f);
    EXPECT_FLOAT_EQ(n[0 * 6 + 1], 2.0f / std::sqrt(5.0f));
    EXPECT_FLOAT_EQ(n[0 * 6 + 2], 1.0f / std::sqrt(5.0f));
    EXPECT_FLOAT_EQ(n[2 * 6 + 2], 1.0f);
    EXPECT_FLOAT_EQ(n[3 * 6 + 1], 1.0f);
    EXPECT_EQ(n[4 * 6 + 0], 0.0f);
    EXPECT_EQ(n[4 * 6 + 1], 0.0f);
    EXPECT_EQ(n[4 * 6 + 2], 0.0f);
    EXPECT_FLOAT_EQ(m->triangles[0].nz, 1.0f);
    EXPECT_FLOAT_EQ(m->triangles[1].ny, 1.0f);
    EXPECT_FLOAT_EQ(m->triangles[1].d, 0.0f);
    mesh_free(m);
}

TEST(MeshRecord, PlaneDistanceIsMinusNormalDotFirstVertex)
{
    Mesh* m = mesh_create(3, 1);
    set_pos(m, 0, 0, 0, 5);
    set_pos(m, 1, 1, 0, 5);
    set_pos(m, 2, 0, 1, 5);
    set_tri(m, 0, 0, 1, 2);
    mesh_compute_normals(m);
    EXPECT_FLOAT_EQ(m->triangles[0].d, -5.0f);
    mesh_free(m);
}

TEST(MeshRecord, TangentsFollowTheTextureAxesWithHandedness)
{
    Mesh* m = mesh_create(4, 2);
    // A unit quad in the xy plane with u along x and v along y.
    set_pos(m, 0, 0, 0, 0, 0, 0);
    set_pos(m, 1, 1, 0, 0, 1, 0);
    set_pos(m, 2, 1, 1, 0, 1, 1);
    set_pos(m, 3, 0, 1, 0, 0, 1);
    set_tri(m, 0, 0, 1, 2);
    set_tri(m, 1, 0, 2, 3);
    mesh_compute_normals(m);
    ASSERT_NE(mesh_compute_tangents(m), 0);
    const float* t = m->tangents;
    EXPECT_FLOAT_EQ(t[0], 1.0f);
    EXPECT_FLOAT_EQ(t[1], 0.0f);
    EXPECT_GT(t[4], 0.0f); // bitangent along +v = +y
    EXPECT_EQ(t[6], 1.0f);
    // Mirror v: the frame turns left-handed.
    for (int i = 0; i < 4; i++)
        m->vertices[i].v = 1.0f - m->vertices[i].v;
    mesh_compute_tangents(m);
    EXPECT_EQ(m->tangents[6], -1.0f);
    // Degenerate texture coordinates give finite (zero) frames.
    for (int i = 0; i < 4; i++)
        m->vertices[i].u = m->vertices[i].v = 0.5f;
    mesh_compute_tangents(m);
    for (int i = 0; i < 4 * 7; i++)
        EXPECT_TRUE(std::isfinite(m->tangents[i]));
    mesh_free(m);
}

} // namespace
