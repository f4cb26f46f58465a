// Matrices (row-vector convention, inverse with pivoting, look-at, perspective)
// the camera and the mesh transform.
#include "scene/mesh.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{

struct Lcg {
    uint32_t s;
    float next() { return static_cast<float>((s = s * 1664525u + 1013904223u) >> 8) / 8388608.0f - 1.0f; }
};

TEST(Matrix, InverseTimesMatrixIsTheIdentityForRandomInvertibleMatrices)
{
    Lcg r{42};
    int tested = 0;
    for (int n = 0; n < 500; n++) {
        Matrix a, inv, p;
        for (float& v : a.m)
            v = r.next() * 4.0f;
        matrix_inverse(&a, &inv);
        bool singular = true;
        for (float v : inv.m)
            singular = singular && v == 0.0f;
        if (singular)
            continue;
        // Skip badly conditioned draws: float error grows with the condition.
        float norm = 0, inorm = 0;
        for (int i = 0; i < 16; i++) {
            norm = std::max(norm, std::fabs(a.m[i]));
            inorm = std::max(inorm, std::fabs(inv.m[i]));
        }
        if (norm * inorm > 200.0f)
            continue;
        tested++;
        matrix_multiply(&inv, &a, &p);
        for (int r2 = 0; r2 < 4; r2++)
            for (int c = 0; c < 4; c++)
                ASSERT_NEAR(p.m[r2 * 4 + c], r2 == c ? 1.0f : 0.0f, 2e-4f);
    }
    EXPECT_GT(tested, 300);
}

TEST(Matrix, SingularMatricesInvertToSixteenZeros)
{
    Lcg r{9};
    for (int n = 0; n < 50; n++) {
        Matrix a, inv;
        for (float& v : a.m)
            v = r.next();
        int c = n % 4;
        for (int row = 0; row < 4; row++)
            a.m[row * 4 + c] =
                n % 8 < 4 ? 0.0f : a.m[row * 4 + (c + 1) % 4] * 2.0f; // zero or dependent column
        for (float& v : inv.m)
            v = 7.0f;
        matrix_inverse(&a, &inv);
        for (float v : inv.m)
            ASSERT_EQ(v, 0.0f);
    }
}

TEST(Matrix, InverseOfARotationIsItsTranspose)
{
    Matrix r, inv, t;
    matrix_rotation_yxz(&r, 0.3f, -1.1f, 2.0f);
    matrix_inverse(&r, &inv);
    matrix_transpose(&r, &t);
    for (int i = 0; i < 16; i++)
        EXPECT_NEAR(inv.m[i], t.m[i], 1e-6f);
}

TEST(Matrix, RowVectorConventionAndRotationOrder)
{
    Matrix id, m;
    matrix_rotation_yxz(&m, 0, 0, 0);
    matrix_identity(&id);
    for (int i = 0; i < 16; i++)
        EXPECT_EQ(m.m[i], id.m[i]);
    // Translation in the fourth row; A.B applies A first.
    Matrix s, t, st;
    matrix_scale(&s, 2, 3, 4);
    matrix_translation(&t, 10, 20, 30);
    matrix_multiply(&s, &t, &st);
    Vec3 p{1, 1, 1}, out;
    transform_point(&st, &p, &out);
    EXPECT_EQ(out.x, 12.0f);
    EXPECT_EQ(out.y, 23.0f);
    EXPECT_EQ(out.z, 34.0f);
    rotate_direction(&st, &p, &out);
    EXPECT_EQ(out.x, 2.0f);
    // rotation_z(pi/2) turns +x into +y.
    Matrix rz;
    matrix_rotation_z(&rz, 1.5707964f);
    Vec3 x{1, 0, 0};
    transform_point(&rz, &x, &out);
    EXPECT_NEAR(out.y, 1.0f, 1e-6f);
    EXPECT_NEAR(out.x, 0.0f, 1e-6f);
}

TEST(Matrix, PlanarShadowFlattensPointsOntoThePlane)
{
    const float plane[4] = {0, 1, 0, 0}; // y = 0
    const float light[4] = {0, 10, 0, 1};
    Matrix m;
    matrix_planar_shadow(&m, plane, light);
    // (x, y, z, 1).m then divide by w.
    float x = 2, y = 5, z = 1;
    float o[4];
    for (int c = 0; c < 4; c++)
        o[c] = x * m.m[c] + y * m.m[4 + c] + z * m.m[8 + c] + m.m[12 + c];
    EXPECT_NEAR(o[1] / o[3], 0.0f, 1e-6f);
    EXPECT_NEAR(o[0] / o[3], 4.0f, 1e-5f); // the ray from (0,10,0) through (2,5,1) meets y=0 at (4,0,2)
    EXPECT_NEAR(o[2] / o[3], 2.0f, 1e-5f);
}

TEST(Camera, TypicalCameraPutsTheTargetAtNegativeDepthWithPlusSignLookAt)
{
    Camera c{};
    c.eye = Vec3{0, 0, 216};
    c.target = Vec3{120, 0, 0};
    c.near = 10;
    c.far = 512;
    c.fov = 90;
    c.viewport_width = 640;
    c.viewport_height = 480;
    camera_update(&c);
    Vec3 out;
    transform_point(&c.view, &c.target, &out);
    EXPECT_NEAR(out.z, -130.5f, 0.5f);
    EXPECT_NEAR(c.projection.m[0], 0.75f * c.projection.m[5], 1e-6f);
    EXPECT_EQ(c.projection.m[11], -1.0f);
    EXPECT_NEAR(vec3_length(&c.direction), 1.0f, 1e-6f);
    // A portrait viewport uses the same aspect.
    Camera p = c;
    p.viewport_width = 480;
    p.viewport_height = 640;
    camera_update(&p);
    EXPECT_EQ(p.projection.m[0], c.projection.m[0]);
    EXPECT_EQ(p.viewport.m[0], 240.0f);
    EXPECT_EQ(p.viewport.m[5], -320.0f);
    EXPECT_EQ(p.viewport.m[13], 320.0f);
}

TEST(Camera, FrameMatricesAndMeshTransform)
{
    Camera c{};
    c.eye = Vec3{0, 0, 0};
    c.target = Vec3{0, 0, -1};
    c.near = 1;
    c.far = 100;
    c.fov = 90;
    c.viewport_width = 640;
    c.viewport_height = 480;
    camera_update(&c);
    Matrix model, full, normal;
    matrix_scale(&model, 2, 2, 2);
    mesh_frame_matrices(&c, &model, &full, &normal);
    EXPECT_NEAR(normal.m[0], 0.5f, 1e-6f); // transpose of the inverse scale
    Mesh* m = mesh_create(2, 1);
    m->vertices[0].x = 1;
    m->vertices[1].x = 1;
    m->normals[0] = 3; // unnormalised object normal
    m->triangles[0].nx = 1;
    mesh_transform(m, &model, &normal, 1 | 4);
    EXPECT_EQ(m->vertices[0].tx, 2.0f);
    EXPECT_EQ(m->vertices[0].tw, 1.0f);
    EXPECT_FLOAT_EQ(m->normals[3], 1.0f);
    EXPECT_FLOAT_EQ(m->triangles[0].tnx, 1.0f);
    // With the divide, a vertex whose w is exactly 0 keeps x', y', z' and gets w = 1.
    Matrix zero_w;
    matrix_identity(&zero_w);
    zero_w.m[15] = 0.0f;
    zero_w.m[3] = 1.0f; // w' = x
    m->flags = MESH_DIVIDE_W;
    m->vertices[0].x = 0;
    m->vertices[0].y = 5;
    m->vertices[1].x = 2;
    mesh_transform(m, &zero_w, &normal, 0);
    EXPECT_EQ(m->vertices[0].ty, 5.0f);
    EXPECT_EQ(m->vertices[0].tw, 1.0f);
    EXPECT_EQ(m->vertices[1].tx, 1.0f);
    EXPECT_EQ(m->vertices[1].tw, 0.5f);
    mesh_free(m);
}

} // namespace
