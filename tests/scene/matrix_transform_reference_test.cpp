// A second, independently written reading of the matrix builders, the
// pivoting inverse, the look-at and camera, the mesh transform and the normal
// sums, compared bit for bit with scene/'s on random inputs.
#include "scene/mesh.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace
{

struct Rng {
    uint32_t s;
    float next(float lo, float hi)
    {
        s = s * 1664525u + 1013904223u;
        return lo + (hi - lo) * static_cast<float>(s >> 8) / 16777216.0f;
    }
};

bool same(const Matrix& a, const Matrix& b)
{
    return std::memcmp(a.m, b.m, sizeof(a.m)) == 0;
}

void ref_multiply(const Matrix& a, const Matrix& b, Matrix* out)
{
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++) {
            float s = 0;
            for (int k = 0; k < 4; k++)
                s = k ? s + a.m[r * 4 + k] * b.m[k * 4 + c] : a.m[r * 4] * b.m[c];
            out->m[r * 4 + c] = s;
        }
}

void ref_inverse(const Matrix& src, Matrix* dst)
{
    float a[4][8];
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 8; c++)
            a[r][c] = c < 4 ? src.m[r * 4 + c] : (c - 4 == r ? 1.0f : 0.0f);
    int perm[4] = {0, 1, 2, 3};
    const float eps = 1e-6f;
    for (int c = 0; c < 4; c++) {
        int pick = -1;
        for (int k = c; k < 4; k++) {
            float v = std::fabs(a[perm[k]][c]);
            if (v > eps && (pick < 0 || v > std::fabs(a[perm[pick]][c])))
                pick = k;
        }
        if (pick < 0) {
            std::memset(dst->m, 0, sizeof(dst->m));
            return;
        }
        std::swap(perm[c], perm[pick]);
        float* p = a[perm[c]];
        float piv = p[c];
        for (int k = 0; k < 8; k++)
            p[k] /= piv;
        p[c] = 1.0f;
        for (int k = 0; k < 4; k++) {
            if (k == c)
                continue;
            float* row = a[perm[k]];
            float f = row[c];
            for (int j = 0; j < 8; j++)
                row[j] -= f * p[j];
            row[c] = 0.0f;
        }
    }
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++)
            dst->m[r * 4 + c] = a[perm[r]][c + 4];
}

Vec3 unit(Vec3 v)
{
    float q = v.x * v.x + v.y * v.y + v.z * v.z;
    if (q == 0)
        return v;
    float f = 1.0f / static_cast<float>(std::sqrt(static_cast<double>(q)));
    return Vec3{v.x * f, v.y * f, v.z * f};
}
Vec3 cross(Vec3 a, Vec3 b)
{
    return Vec3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
float dot(Vec3 a, Vec3 b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

void ref_look_at(Matrix* m, Vec3 eye, Vec3 target)
{
    Vec3 F = unit(Vec3{target.x - eye.x, target.y - eye.y, target.z - eye.z});
    Vec3 R = unit(cross(F, Vec3{0, 1, 0}));
    Vec3 U = cross(R, F);
    std::memset(m->m, 0, sizeof(m->m));
    m->m[0] = R.x, m->m[4] = R.y, m->m[8] = R.z;
    m->m[1] = U.x, m->m[5] = U.y, m->m[9] = U.z;
    m->m[2] = F.x, m->m[6] = F.y, m->m[10] = F.z;
    m->m[12] = dot(R, eye);
    m->m[13] = dot(U, eye);
    m->m[14] = dot(F, eye);
    m->m[15] = 1;
}

TEST(MatrixReference, InverseFollowsThePivotRuleBitForBit)
{
    Rng r{11};
    for (int n = 0; n < 20000; n++) {
        Matrix a, got, expect;
        for (float& v : a.m)
            v = r.next(-3, 3);
        if (n % 5 == 0) // ties and tiny pivots
            for (int k = 0; k < 16; k += 1 + n % 3)
                a.m[k] = n % 2 ? 1e-6f : std::round(a.m[k]);
        ref_inverse(a, &expect);
        matrix_inverse(&a, &got);
        ASSERT_TRUE(same(got, expect)) << n;
    }
}

TEST(MatrixReference, BuildersCameraAndFrameMatricesMatchTheLongWay)
{
    Rng r{5};
    for (int n = 0; n < 2000; n++) {
        Camera cam{};
        cam.eye = Vec3{r.next(-300, 300), r.next(-300, 300), r.next(-300, 300)};
        cam.target = Vec3{r.next(-300, 300), r.next(-300, 300), r.next(-300, 300)};
        cam.near = r.next(0.5f, 20);
        cam.far = r.next(100, 2000);
        cam.fov = r.next(20, 120);
        cam.viewport_x = r.next(0, 50);
        cam.viewport_y = r.next(0, 50);
        cam.viewport_width = n % 2 ? 640.0f : 480.0f;
        cam.viewport_height = n % 2 ? 480.0f : 640.0f;
        camera_update(&cam);

        Matrix view, proj{}, vp{}, screen;
        ref_look_at(&view, cam.eye, cam.target);
        ASSERT_TRUE(same(cam.view, view)) << n;
        Vec3 d = unit(Vec3{view.m[2], view.m[6], view.m[10]});
        ASSERT_EQ(std::memcmp(&cam.direction, &d, sizeof d), 0) << n;
        const float aspect = 640.0f / 480.0f;
        const float k = 0.017453292f;
        proj.m[0] = 1.0f / (static_cast<float>(std::tan(static_cast<double>(cam.fov * k / 2))) * aspect);
        proj.m[5] = 1.0f / static_cast<float>(std::tan(static_cast<double>(cam.fov * k / 2)));
        proj.m[10] = (cam.near + cam.far) / (cam.near - cam.far);
        proj.m[11] = -1;
        proj.m[14] = 2 * cam.near * cam.far / (cam.near - cam.far);
        ASSERT_TRUE(same(cam.projection, proj)) << n;
        vp.m[0] = cam.viewport_width / 2;
        vp.m[5] = -cam.viewport_height / 2;
        vp.m[10] = 1;
        vp.m[12] = cam.viewport_width / 2 + cam.viewport_x;
        vp.m[13] = cam.viewport_height / 2 + cam.viewport_y;
        vp.m[15] = 1;
        ASSERT_TRUE(same(cam.viewport, vp)) << n;
        ref_multiply(proj, vp, &screen);
        ASSERT_TRUE(same(cam.screen, screen)) << n;

        // model = rotation_yxz . translation; frame matrices from it
        float ay = r.next(-3, 3), ax = r.next(-3, 3), az = r.next(-3, 3);
        Matrix ry{}, rx{}, rz{}, t1, rot, model, got_rot;
        ry.m[0] = static_cast<float>(std::cos(double(ay))),
        ry.m[2] = -static_cast<float>(std::sin(double(ay)));
        ry.m[5] = 1, ry.m[8] = static_cast<float>(std::sin(double(ay))), ry.m[10] = ry.m[0], ry.m[15] = 1;
        rx.m[0] = 1, rx.m[5] = static_cast<float>(std::cos(double(ax))),
        rx.m[6] = static_cast<float>(std::sin(double(ax)));
        rx.m[9] = -rx.m[6], rx.m[10] = rx.m[5], rx.m[15] = 1;
        rz.m[0] = static_cast<float>(std::cos(double(az))),
        rz.m[1] = static_cast<float>(std::sin(double(az)));
        rz.m[4] = -rz.m[1], rz.m[5] = rz.m[0], rz.m[10] = 1, rz.m[15] = 1;
        ref_multiply(ry, rx, &t1);
        ref_multiply(t1, rz, &rot);
        matrix_rotation_yxz(&got_rot, ay, ax, az);
        ASSERT_TRUE(same(got_rot, rot)) << n;
        Matrix tr;
        matrix_translation(&tr, r.next(-50, 50), r.next(-50, 50), r.next(-50, 50));
        ref_multiply(rot, tr, &model);
        Matrix full, normal, mv, e_full, inv, e_normal;
        mesh_frame_matrices(&cam, &model, &full, &normal);
        ref_multiply(model, view, &mv);
        ref_multiply(mv, screen, &e_full);
        ref_inverse(mv, &inv);
        for (int i = 0; i < 4; i++)
            for (int j = 0; j < 4; j++)
                e_normal.m[i * 4 + j] = inv.m[j * 4 + i];
        ASSERT_TRUE(same(full, e_full)) << n;
        ASSERT_TRUE(same(normal, e_normal)) << n;
    }
}

TEST(MatrixReference, PlanarShadowAndMeshTransformWithTheDivide)
{
    Rng r{8};
    const float plane[4] = {0.2f, 0.9f, -0.1f, 3.0f};
    const float light[4] = {10.0f, 60.0f, -5.0f, 1.0f};
    Matrix s;
    matrix_planar_shadow(&s, plane, light);
    float k = plane[0] * light[0] + plane[1] * light[1] + plane[2] * light[2] + plane[3] * light[3];
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++)
            ASSERT_EQ(s.m[i * 4 + j], (i == j ? k : 0.0f) - light[j] * plane[i]);

    Mesh* mesh = mesh_create(64, 1);
    ASSERT_NE(mesh, nullptr);
    for (int i = 0; i < 64; i++)
        mesh->vertices[i] =
            MeshVertex{r.next(-9, 9), r.next(-9, 9), r.next(-9, 9), 0, 0, 0, 0, 0, 0, 0, 0, 0};
    // a vertex where w' is exactly 0
    mesh->vertices[0].x = 0;
    mesh->vertices[0].y = 0;
    mesh->vertices[0].z = 0;
    Matrix m;
    for (float& v : m.m)
        v = r.next(-2, 2);
    m.m[15] = 0;
    mesh->flags = MESH_DIVIDE_W;
    mesh_transform(mesh, &m, &m, 0);
    for (int i = 0; i < 64; i++) {
        const MeshVertex& v = mesh->vertices[i];
        float x = v.x * m.m[0] + v.y * m.m[4] + v.z * m.m[8] + m.m[12];
        float y = v.x * m.m[1] + v.y * m.m[5] + v.z * m.m[9] + m.m[13];
        float z = v.x * m.m[2] + v.y * m.m[6] + v.z * m.m[10] + m.m[14];
        float w = v.x * m.m[3] + v.y * m.m[7] + v.z * m.m[11] + m.m[15];
        float inv = w == 0 ? 1.0f : 1.0f / w;
        ASSERT_EQ(v.tx, x * inv) << i;
        ASSERT_EQ(v.ty, y * inv) << i;
        ASSERT_EQ(v.tz, z * inv) << i;
        ASSERT_EQ(v.tw, inv) << i;
    }
    EXPECT_EQ(mesh->vertices[0].tw, 1.0f);
    mesh_free(mesh);
}

} // namespace
