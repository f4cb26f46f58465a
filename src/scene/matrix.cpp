// Row-vector 4x4 matrices: builders, product, transpose, the Gauss-Jordan
// inverse with partial pivoting, look-at, perspective, viewport and planar
// shadow, and point/direction transforms. Relies on core (Vec3, core_sin & co.).
#include "scene/mesh.h"

#include <cmath>
#include <cstring>
#include <emmintrin.h>

static void matrix_zero(Matrix* out)
{
    std::memset(out->m, 0, sizeof(out->m));
}

void matrix_identity(Matrix* out)
{
    matrix_zero(out);
    out->m[0] = out->m[5] = out->m[10] = out->m[15] = 1.0f;
}

void matrix_translation(Matrix* out, float x, float y, float z)
{
    matrix_identity(out);
    out->m[12] = x;
    out->m[13] = y;
    out->m[14] = z;
}

void matrix_scale(Matrix* out, float x, float y, float z)
{
    matrix_zero(out);
    out->m[0] = x;
    out->m[5] = y;
    out->m[10] = z;
    out->m[15] = 1.0f;
}

void matrix_rotation_x(Matrix* out, float t)
{
    float c = core_cos(t), s = core_sin(t);
    matrix_zero(out);
    out->m[0] = 1.0f;
    out->m[5] = c;
    out->m[6] = s;
    out->m[9] = -s;
    out->m[10] = c;
    out->m[15] = 1.0f;
}

void matrix_rotation_y(Matrix* out, float t)
{
    float c = core_cos(t), s = core_sin(t);
    matrix_zero(out);
    out->m[0] = c;
    out->m[2] = -s;
    out->m[5] = 1.0f;
    out->m[8] = s;
    out->m[10] = c;
    out->m[15] = 1.0f;
}

void matrix_rotation_z(Matrix* out, float t)
{
    float c = core_cos(t), s = core_sin(t);
    matrix_zero(out);
    out->m[0] = c;
    out->m[1] = s;
    out->m[4] = -s;
    out->m[5] = c;
    out->m[10] = 1.0f;
    out->m[15] = 1.0f;
}

void matrix_rotation_yxz(Matrix* out, float y, float x, float z)
{
    Matrix ry, rx, rz, ryx;
    matrix_rotation_y(&ry, y);
    matrix_rotation_x(&rx, x);
    matrix_rotation_z(&rz, z);
    matrix_multiply(&ry, &rx, &ryx);
    matrix_multiply(&ryx, &rz, out);
}

void matrix_multiply(const Matrix* a, const Matrix* b, Matrix* out)
{
    // Written in place, a product reads entries it has already replaced:
    // that case keeps the entry-by-entry loop and its order.
    if (out == a || out == b) {
        for (int r = 0; r < 4; r++)
            for (int c = 0; c < 4; c++) {
                float s = a->m[r * 4 + 0] * b->m[0 * 4 + c];
                s += a->m[r * 4 + 1] * b->m[1 * 4 + c];
                s += a->m[r * 4 + 2] * b->m[2 * 4 + c];
                s += a->m[r * 4 + 3] * b->m[3 * 4 + c];
                out->m[r * 4 + c] = s;
            }
        return;
    }
    // A row of the product is a's row weighting b's rows: lane c sums
    // a[r][0] b[0][c] + a[r][1] b[1][c] + ... in that order, as the entry does.
    const __m128 b0 = _mm_loadu_ps(b->m), b1 = _mm_loadu_ps(b->m + 4);
    const __m128 b2 = _mm_loadu_ps(b->m + 8), b3 = _mm_loadu_ps(b->m + 12);
    for (int r = 0; r < 4; r++) {
        const float* row = a->m + 4 * r;
        __m128 s = _mm_mul_ps(_mm_set1_ps(row[0]), b0);
        s = _mm_add_ps(s, _mm_mul_ps(_mm_set1_ps(row[1]), b1));
        s = _mm_add_ps(s, _mm_mul_ps(_mm_set1_ps(row[2]), b2));
        s = _mm_add_ps(s, _mm_mul_ps(_mm_set1_ps(row[3]), b3));
        _mm_storeu_ps(out->m + 4 * r, s);
    }
}

void matrix_transpose(const Matrix* src, Matrix* dst)
{
    Matrix t;
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++)
            t.m[r * 4 + c] = src->m[c * 4 + r];
    *dst = t;
}

void matrix_inverse(const Matrix* src, Matrix* dst)
{
    // Gauss-Jordan on [src | I]; rows are reached through perm so that a
    // pivot swap exchanges two indices instead of two rows.
    float a[4][8];
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++) {
            a[r][c] = src->m[r * 4 + c];
            a[r][c + 4] = r == c ? 1.0f : 0.0f;
        }
    int perm[4] = {0, 1, 2, 3};
    const float threshold = 1e-6f;
    for (int c = 0; c < 4; c++) {
        int best = -1;
        float best_value = threshold;
        for (int k = c; k < 4; k++) {
            float v = std::fabs(a[perm[k]][c]);
            if (v > best_value) {
                best_value = v;
                best = k;
            }
        }
        if (best < 0) {
            matrix_zero(dst);
            return;
        }
        int tmp = perm[c];
        perm[c] = perm[best];
        perm[best] = tmp;
        float* prow = a[perm[c]];
        float pivot = prow[c];
        for (int k = 0; k < 8; k++)
            prow[k] = prow[k] / pivot;
        prow[c] = 1.0f;
        for (int k = 0; k < 4; k++) {
            if (k == c)
                continue;
            float* row = a[perm[k]];
            float f = row[c];
            for (int j = 0; j < 8; j++)
                row[j] = row[j] - f * prow[j];
            row[c] = 0.0f;
        }
    }
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++)
            dst->m[r * 4 + c] = a[perm[r]][c + 4];
}

void matrix_look_at(Matrix* out, const Vec3* eye, const Vec3* target)
{
    Vec3 f, r, u, fr;
    const Vec3 up{0.0f, 1.0f, 0.0f};
    vec3_sub(target, eye, &f);
    vec3_normalize(&f, &f);
    vec3_cross(&f, &up, &fr);
    vec3_normalize(&fr, &r);
    vec3_cross(&r, &f, &u);
    matrix_zero(out);
    out->m[0] = r.x;
    out->m[4] = r.y;
    out->m[8] = r.z;
    out->m[1] = u.x;
    out->m[5] = u.y;
    out->m[9] = u.z;
    out->m[2] = f.x;
    out->m[6] = f.y;
    out->m[10] = f.z;
    // The scenes' cameras are tuned to this sign: the translation row adds
    // the eye's projections rather than subtracting them.
    out->m[12] = vec3_dot(&r, eye);
    out->m[13] = vec3_dot(&u, eye);
    out->m[14] = vec3_dot(&f, eye);
    out->m[15] = 1.0f;
}

void matrix_perspective(Matrix* out, float aspect, float fov_x, float fov_y, float near, float far)
{
    const float degrees = 0.017453292f;
    matrix_zero(out);
    out->m[0] = 1.0f / (core_tan(fov_x * degrees / 2.0f) * aspect);
    out->m[5] = 1.0f / core_tan(fov_y * degrees / 2.0f);
    out->m[10] = (near + far) / (near - far);
    out->m[11] = -1.0f;
    out->m[14] = 2.0f * near * far / (near - far);
    out->m[15] = 0.0f;
}

void matrix_viewport(Matrix* out, float x, float y, float width, float height)
{
    matrix_zero(out);
    out->m[0] = width / 2.0f;
    out->m[5] = -height / 2.0f;
    out->m[10] = 1.0f;
    out->m[12] = width / 2.0f + x;
    out->m[13] = height / 2.0f + y;
    out->m[15] = 1.0f;
}

void matrix_planar_shadow(Matrix* out, const float plane[4], const float light[4])
{
    float k = plane[0] * light[0] + plane[1] * light[1] + plane[2] * light[2] + plane[3] * light[3];
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++)
            out->m[r * 4 + c] = (r == c ? k : 0.0f) - light[c] * plane[r];
}

void transform_point(const Matrix* m, const Vec3* p, Vec3* out)
{
    const float* a = m->m;
    float x = p->x * a[0] + p->y * a[4] + p->z * a[8] + a[12];
    float y = p->x * a[1] + p->y * a[5] + p->z * a[9] + a[13];
    float z = p->x * a[2] + p->y * a[6] + p->z * a[10] + a[14];
    out->x = x;
    out->y = y;
    out->z = z;
}

void rotate_direction(const Matrix* m, const Vec3* d, Vec3* out)
{
    const float* a = m->m;
    float x = d->x * a[0] + d->y * a[4] + d->z * a[8];
    float y = d->x * a[1] + d->y * a[5] + d->z * a[9];
    float z = d->x * a[2] + d->y * a[6] + d->z * a[10];
    out->x = x;
    out->y = y;
    out->z = z;
}
