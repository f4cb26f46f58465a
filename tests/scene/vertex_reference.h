// The vertex side written the plain way, one vertex or triangle at a time:
// matrix product, the all-axes twist's rotation, normals, tangents, the mesh
// transform and the lighting passes. The four-lane code in scene/ must give
// these bits. Relies on scene/mesh.h and core's scalar helpers only.
#pragma once

#include "scene/deform.h"
#include "scene/lighting.h"
#include "scene/mesh.h"

#include <cmath>
#include <cstring>
#include <initializer_list>

namespace vertex_reference
{

// Entry by entry, in place too (an entry written is read by the next ones).
inline void multiply(const Matrix* a, const Matrix* b, Matrix* out)
{
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++) {
            float s = a->m[r * 4 + 0] * b->m[0 * 4 + c];
            s += a->m[r * 4 + 1] * b->m[1 * 4 + c];
            s += a->m[r * 4 + 2] * b->m[2 * 4 + c];
            s += a->m[r * 4 + 3] * b->m[3 * 4 + c];
            out->m[r * 4 + c] = s;
        }
}

inline void rotation_yxz(Matrix* out, float y, float x, float z)
{
    Matrix ry, rx, rz, ryx;
    std::memset(&ry, 0, sizeof ry);
    std::memset(&rx, 0, sizeof rx);
    std::memset(&rz, 0, sizeof rz);
    const float cy = core_cos(y), sy = core_sin(y);
    ry.m[0] = cy, ry.m[2] = -sy, ry.m[5] = 1.0f, ry.m[8] = sy, ry.m[10] = cy, ry.m[15] = 1.0f;
    const float cx = core_cos(x), sx = core_sin(x);
    rx.m[0] = 1.0f, rx.m[5] = cx, rx.m[6] = sx, rx.m[9] = -sx, rx.m[10] = cx, rx.m[15] = 1.0f;
    const float cz = core_cos(z), sz = core_sin(z);
    rz.m[0] = cz, rz.m[1] = sz, rz.m[4] = -sz, rz.m[5] = cz, rz.m[10] = 1.0f, rz.m[15] = 1.0f;
    multiply(&ry, &rx, &ryx);
    multiply(&ryx, &rz, out);
}

// The all-axes twist (mode 3) with its two shortcuts for the identity.
inline void twist_all_axes(Mesh* mesh, const TwistParams& p)
{
    if (p.size == 0.0f)
        return;
    const float quarter = 1.5707964f;
    auto k = [&](float x) { return core_cos(x / p.size * quarter); };
    for (int32_t i = 0; i < mesh->vertex_count; ++i) {
        MeshVertex& v = mesh->vertices[i];
        const Vec3 pos = {v.x, v.y, v.z};
        Vec3 d;
        vec3_sub(&pos, &p.centre, &d);
        const float length = vec3_length(&d);
        const float w = 1.0f - (p.size >= length ? length / p.size : 1.0f);
        auto finite_angle = [&](float x) { return std::isfinite(x / p.size * quarter); };
        const bool identity = w == 0.0f && std::isfinite(p.amount) && finite_angle(d.x) &&
                              finite_angle(d.y) && finite_angle(d.z);
        if (!identity) {
            const float ax = p.amount * k(d.x) * w, ay = p.amount * k(d.y) * w, az = p.amount * k(d.z) * w;
            if (!(ax == 0.0f && ay == 0.0f && az == 0.0f)) {
                Matrix m;
                rotation_yxz(&m, ax, ay, az);
                d = Vec3{d.x * m.m[0] + d.y * m.m[4] + d.z * m.m[8],
                         d.x * m.m[1] + d.y * m.m[5] + d.z * m.m[9],
                         d.x * m.m[2] + d.y * m.m[6] + d.z * m.m[10]};
            }
        }
        Vec3 out;
        vec3_add(&p.centre, &d, &out);
        v.x = out.x;
        v.y = out.y;
        v.z = out.z;
    }
}

inline bool indices_valid(const Mesh* mesh, const MeshTriangle* t)
{
    return t->a >= 0 && t->a < mesh->vertex_count && t->b >= 0 && t->b < mesh->vertex_count && t->c >= 0 &&
           t->c < mesh->vertex_count;
}

inline Vec3 position(const Mesh* mesh, int32_t i)
{
    return Vec3{mesh->vertices[i].x, mesh->vertices[i].y, mesh->vertices[i].z};
}

inline void compute_normals(Mesh* mesh)
{
    float* normals = mesh->normals;
    for (int32_t i = 0; i < mesh->vertex_count; i++)
        normals[i * 6 + 0] = normals[i * 6 + 1] = normals[i * 6 + 2] = 0.0f;
    for (int32_t i = 0; i < mesh->triangle_count; i++) {
        MeshTriangle* t = &mesh->triangles[i];
        if (!indices_valid(mesh, t))
            continue;
        Vec3 pa = position(mesh, t->a), pb = position(mesh, t->b), pc = position(mesh, t->c);
        Vec3 e1, e2, n;
        vec3_sub(&pb, &pa, &e1);
        vec3_sub(&pc, &pa, &e2);
        vec3_cross(&e1, &e2, &n);
        for (int32_t k : {t->a, t->b, t->c}) {
            normals[k * 6 + 0] += n.x;
            normals[k * 6 + 1] += n.y;
            normals[k * 6 + 2] += n.z;
        }
        Vec3 unit;
        vec3_normalize(&n, &unit);
        t->nx = unit.x;
        t->ny = unit.y;
        t->nz = unit.z;
        t->d = -vec3_dot(&unit, &pa);
    }
    for (int32_t i = 0; i < mesh->vertex_count; i++) {
        Vec3 n{normals[i * 6 + 0], normals[i * 6 + 1], normals[i * 6 + 2]};
        vec3_normalize(&n, &n);
        normals[i * 6 + 0] = n.x;
        normals[i * 6 + 1] = n.y;
        normals[i * 6 + 2] = n.z;
    }
}

// Into an existing tangent buffer.
inline void compute_tangents(Mesh* mesh)
{
    float* tg = mesh->tangents;
    for (int32_t i = 0; i < mesh->vertex_count; i++)
        for (int k = 0; k < 6; k++)
            tg[i * 7 + k] = 0.0f;
    for (int32_t i = 0; i < mesh->triangle_count; i++) {
        const MeshTriangle* t = &mesh->triangles[i];
        if (!indices_valid(mesh, t))
            continue;
        const MeshVertex *va = &mesh->vertices[t->a], *vb = &mesh->vertices[t->b],
                         *vc = &mesh->vertices[t->c];
        Vec3 pa = position(mesh, t->a), pb = position(mesh, t->b), pc = position(mesh, t->c);
        Vec3 e1, e2;
        vec3_sub(&pb, &pa, &e1);
        vec3_sub(&pc, &pa, &e2);
        float du1 = vb->u - va->u, dv1 = vb->v - va->v, du2 = vc->u - va->u, dv2 = vc->v - va->v;
        float det = du1 * dv2 - du2 * dv1;
        if (det == 0.0f || !std::isfinite(det))
            continue;
        float r = 1.0f / det;
        if (!std::isfinite(r))
            continue;
        const float f[6] = {(dv2 * e1.x - dv1 * e2.x) * r, (dv2 * e1.y - dv1 * e2.y) * r,
                            (dv2 * e1.z - dv1 * e2.z) * r, (du1 * e2.x - du2 * e1.x) * r,
                            (du1 * e2.y - du2 * e1.y) * r, (du1 * e2.z - du2 * e1.z) * r};
        for (int32_t k : {t->a, t->b, t->c})
            for (int j = 0; j < 6; j++)
                tg[k * 7 + j] += f[j];
    }
    for (int32_t i = 0; i < mesh->vertex_count; i++) {
        Vec3 n{mesh->normals[i * 6 + 0], mesh->normals[i * 6 + 1], mesh->normals[i * 6 + 2]};
        Vec3 t{tg[i * 7 + 0], tg[i * 7 + 1], tg[i * 7 + 2]};
        Vec3 b{tg[i * 7 + 3], tg[i * 7 + 4], tg[i * 7 + 5]};
        float nt = vec3_dot(&n, &t);
        Vec3 nn, orth, cross;
        vec3_scale(&n, nt, &nn);
        vec3_sub(&t, &nn, &orth);
        vec3_normalize(&orth, &orth);
        if (!std::isfinite(orth.x) || !std::isfinite(orth.y) || !std::isfinite(orth.z))
            orth = Vec3{0.0f, 0.0f, 0.0f};
        if (!std::isfinite(b.x) || !std::isfinite(b.y) || !std::isfinite(b.z)) {
            b = Vec3{0.0f, 0.0f, 0.0f};
            tg[i * 7 + 3] = tg[i * 7 + 4] = tg[i * 7 + 5] = 0.0f;
        }
        tg[i * 7 + 0] = orth.x;
        tg[i * 7 + 1] = orth.y;
        tg[i * 7 + 2] = orth.z;
        vec3_cross(&n, &orth, &cross);
        tg[i * 7 + 6] = vec3_dot(&cross, &b) < 0.0f ? -1.0f : 1.0f;
    }
}

inline Vec3 turn_and_normalize(const Matrix* m, float x, float y, float z)
{
    const float* a = m->m;
    Vec3 r{x * a[0] + y * a[4] + z * a[8], x * a[1] + y * a[5] + z * a[9], x * a[2] + y * a[6] + z * a[10]};
    vec3_normalize(&r, &r);
    return r;
}

inline void transform(Mesh* mesh, const Matrix* matrix, const Matrix* normal_matrix, uint32_t what)
{
    const float* m = matrix->m;
    const bool divide = (mesh->flags & MESH_DIVIDE_W) != 0;
    for (int32_t i = 0; i < mesh->vertex_count; i++) {
        MeshVertex* v = &mesh->vertices[i];
        float x = v->x * m[0] + v->y * m[4] + v->z * m[8] + m[12];
        float y = v->x * m[1] + v->y * m[5] + v->z * m[9] + m[13];
        float z = v->x * m[2] + v->y * m[6] + v->z * m[10] + m[14];
        float w = v->x * m[3] + v->y * m[7] + v->z * m[11] + m[15];
        if (divide) {
            float inv = w == 0.0f ? 1.0f : 1.0f / w;
            v->tx = x * inv, v->ty = y * inv, v->tz = z * inv, v->tw = inv;
        } else {
            v->tx = x, v->ty = y, v->tz = z, v->tw = w;
        }
    }
    for (int32_t i = 0; (what & TRANSFORM_NORMALS) && i < mesh->vertex_count; i++) {
        float* n = &mesh->normals[i * 6];
        const Vec3 r = turn_and_normalize(normal_matrix, n[0], n[1], n[2]);
        n[3] = r.x, n[4] = r.y, n[5] = r.z;
    }
    for (int32_t i = 0; (what & TRANSFORM_TANGENTS) && mesh->tangents && i < mesh->vertex_count; i++) {
        float* t = &mesh->tangents[i * 7];
        const Vec3 r = turn_and_normalize(normal_matrix, t[0], t[1], t[2]);
        t[3] = r.x, t[4] = r.y, t[5] = r.z;
    }
    for (int32_t i = 0; (what & TRANSFORM_PLANES) && i < mesh->triangle_count; i++) {
        MeshTriangle* t = &mesh->triangles[i];
        const Vec3 r = turn_and_normalize(normal_matrix, t->nx, t->ny, t->nz);
        t->tnx = r.x, t->tny = r.y, t->tnz = r.z;
    }
}

inline uint32_t byte_of(uint32_t byte, float f)
{
    float v = static_cast<float>(byte) * f;
    if (!(v > 0.0f))
        return 0;
    return v >= 255.0f ? 255u : static_cast<uint32_t>(v);
}

inline uint32_t encode(float x)
{
    float v = std::floor((x * 0.5f + 0.5f) * 255.0f);
    if (std::isnan(v))
        return 127;
    return v <= 0.0f ? 0u : v >= 255.0f ? 255u : static_cast<uint32_t>(v);
}

inline Vec3 rotate(const Matrix& m, const float* d)
{
    return Vec3{d[0] * m.m[0] + d[1] * m.m[4] + d[2] * m.m[8], d[0] * m.m[1] + d[1] * m.m[5] + d[2] * m.m[9],
                d[0] * m.m[2] + d[1] * m.m[6] + d[2] * m.m[10]};
}

// The per-vertex and tangent-space passes of mesh_light (inverted or not).
inline void light(Mesh* mesh, Vec3* light, int32_t mode, bool inverted)
{
    const bool two_sided = !inverted && (mesh->flags & MESH_TWO_SIDED) != 0;
    if (mode == LIGHT_PER_VERTEX) {
        for (int32_t i = 0; i < mesh->vertex_count; ++i) {
            const float* n = mesh->normals + 6 * i + 3;
            float d = n[0] * light->x + n[1] * light->y + n[2] * light->z;
            if (two_sided)
                d = std::fabs(d);
            if (d < 0.0f)
                d = 0.0f;
            mesh->vertices[i].colour = byte_of(255, inverted ? 1.0f - d : d) * 0x01010101u;
        }
        return;
    }
    vec3_normalize(light, light);
    if (!mesh->tangents)
        return;
    for (int32_t i = 0; i < mesh->vertex_count; ++i) {
        const float* tangent = mesh->tangents + 7 * i;
        Vec3 t = rotate(mesh->normal_matrix, tangent), n = rotate(mesh->normal_matrix, mesh->normals + 6 * i);
        Vec3 cross, b;
        vec3_cross(&n, &t, &cross);
        vec3_scale(&cross, tangent[6], &b);
        Vec3 v = *light;
        if (inverted) {
            vec3_normalize(&b, &b);
            const float k = 2.0f * vec3_dot(&n, light);
            v = Vec3{n.x - k * light->x, n.y - k * light->y, n.z - k * light->z};
            vec3_normalize(&v, &v);
        } else {
            vec3_normalize(&t, &t);
            vec3_normalize(&n, &n);
            vec3_normalize(&b, &b);
        }
        Vec3 local{vec3_dot(&v, &t), vec3_dot(&v, &b), vec3_dot(&v, &n)};
        vec3_normalize(&local, &local);
        mesh->vertices[i].colour = encode(local.x) << 16 | encode(local.y) << 8 | encode(local.z);
    }
}

inline float& axis_of(Vec3& v, int32_t axis)
{
    return axis == 0 ? v.x : axis == 1 ? v.y : v.z;
}

inline void ripple(Mesh* mesh, const RippleParams& p)
{
    const float pi = 3.1415927f, two_pi = 6.2831855f;
    float period = p.frequency != 0.0f ? 1.0f / p.frequency : 0.000001f;
    for (int32_t i = 0; i < mesh->vertex_count; ++i) {
        MeshVertex& v = mesh->vertices[i];
        Vec3 pos{v.x, v.y, v.z}, d;
        vec3_sub(&pos, &p.centre, &d);
        float length = vec3_length(&d);
        float weight = p.start_weight;
        if (p.start_weight != p.end_weight) {
            weight = 0.0f;
            if (length != 0.0f) {
                float cosine = axis_of(d, p.axis) / length;
                if (cosine > 1.0f)
                    cosine = 1.0f;
                if (cosine < -1.0f)
                    cosine = -1.0f;
                float h = core_acos(cosine) / pi;
                if (h > 0.5f)
                    h = 1.0f - h;
                float m = 2.0f * h;
                weight = (1.0f - m) * p.start_weight + m * p.end_weight;
            }
        }
        float s = core_sin((length / period + p.phase) * two_pi + p.angle_offset);
        float& along = axis_of(d, p.axis);
        along = along + core_exp(-p.decay * length) * s * weight * p.amplitude;
        v.x = p.centre.x + d.x, v.y = p.centre.y + d.y, v.z = p.centre.z + d.z;
    }
}

inline void wave(Mesh* mesh, const WaveParams& p)
{
    const float two_pi = 6.2831855f;
    float period = p.wavelength != 0.0f ? 1.0f / p.wavelength : 0.000001f;
    const Vec3 fixed[6] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 0}, {1, 0, 1}, {0, 1, 1}};
    for (int32_t i = 0; i < mesh->vertex_count; ++i) {
        MeshVertex& v = mesh->vertices[i];
        Vec3 pos{v.x, v.y, v.z}, d;
        vec3_sub(&pos, &p.centre, &d);
        float w = core_sin(axis_of(d, p.axis) * period * two_pi + p.phase) * p.amplitude;
        if (p.falloff_radius > 0.0f) {
            float length = vec3_length(&d);
            w = w * (length <= p.falloff_radius ? 1.0f - length / p.falloff_radius : 0.0f);
        }
        Vec3 direction{0.0f, 0.0f, 0.0f};
        if (p.direction_mode >= 0 && p.direction_mode < 6)
            direction = fixed[p.direction_mode];
        else if (p.direction_mode == 6)
            vec3_normalize(&d, &direction);
        else
            w = 0.0f;
        const Vec3 shift{direction.x * w, direction.y * w, direction.z * w};
        v.x = p.centre.x + d.x + shift.x, v.y = p.centre.y + d.y + shift.y, v.z = p.centre.z + d.z + shift.z;
    }
}

} // namespace vertex_reference
