// The Mesh record: creation and release, the rest-pose copy of the vertices,
// and the per-vertex normal and tangent-frame computations.
// Relies on core (Vec3 helpers).
#include "scene/mesh.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

Mesh* mesh_create(int32_t vertex_count, int32_t triangle_count)
{
    if (vertex_count <= 0 || triangle_count <= 0)
        return nullptr;
    auto* mesh = static_cast<Mesh*>(std::calloc(1, sizeof(Mesh)));
    if (!mesh)
        return nullptr;
    mesh->vertex_count = vertex_count;
    mesh->triangle_count = triangle_count;
    size_t vc = static_cast<size_t>(vertex_count);
    size_t tc = static_cast<size_t>(triangle_count);
    mesh->vertices = static_cast<MeshVertex*>(std::calloc(vc, sizeof(MeshVertex)));
    mesh->normals = static_cast<float*>(std::calloc(vc * 6, sizeof(float)));
    mesh->triangles = static_cast<MeshTriangle*>(std::calloc(tc, sizeof(MeshTriangle)));
    mesh->draw_order = static_cast<int32_t*>(std::calloc(tc, sizeof(int32_t)));
    if (!mesh->vertices || !mesh->normals || !mesh->triangles || !mesh->draw_order) {
        mesh_free(mesh);
        return nullptr;
    }
    for (int32_t i = 0; i < triangle_count; i++)
        mesh->draw_order[i] = i;
    return mesh;
}

void mesh_free(Mesh* mesh)
{
    if (!mesh)
        return;
    std::free(mesh->vertices);
    std::free(mesh->normals);
    std::free(mesh->tangents);
    std::free(mesh->saved_vertices);
    std::free(mesh->triangles);
    std::free(mesh->draw_order);
    std::free(mesh);
}

int32_t mesh_save_vertices(Mesh* mesh)
{
    if (!mesh || mesh->vertex_count <= 0 || !mesh->vertices)
        return 1;
    size_t bytes = static_cast<size_t>(mesh->vertex_count) * sizeof(MeshVertex);
    if (!mesh->saved_vertices) {
        mesh->saved_vertices = static_cast<MeshVertex*>(std::malloc(bytes));
        if (!mesh->saved_vertices)
            return 1;
    }
    std::memcpy(mesh->saved_vertices, mesh->vertices, bytes);
    return 0;
}

void mesh_restore_vertices(Mesh* mesh)
{
    if (!mesh || !mesh->saved_vertices || !mesh->vertices)
        return;
    std::memcpy(mesh->vertices, mesh->saved_vertices,
                static_cast<size_t>(mesh->vertex_count) * sizeof(MeshVertex));
}

static bool triangle_indices_valid(const Mesh* mesh, const MeshTriangle* t)
{
    return t->a >= 0 && t->a < mesh->vertex_count && t->b >= 0 && t->b < mesh->vertex_count && t->c >= 0 &&
           t->c < mesh->vertex_count;
}

static Vec3 vertex_position(const Mesh* mesh, int32_t i)
{
    const MeshVertex* v = &mesh->vertices[i];
    return Vec3{v->x, v->y, v->z};
}

void mesh_compute_normals(Mesh* mesh)
{
    if (!mesh)
        return;
    float* normals = mesh->normals;
    for (int32_t i = 0; i < mesh->vertex_count; i++) {
        normals[i * 6 + 0] = 0.0f;
        normals[i * 6 + 1] = 0.0f;
        normals[i * 6 + 2] = 0.0f;
    }
    for (int32_t i = 0; i < mesh->triangle_count; i++) {
        MeshTriangle* t = &mesh->triangles[i];
        if (!triangle_indices_valid(mesh, t))
            continue;
        Vec3 pa = vertex_position(mesh, t->a);
        Vec3 pb = vertex_position(mesh, t->b);
        Vec3 pc = vertex_position(mesh, t->c);
        Vec3 e1, e2, n;
        vec3_sub(&pb, &pa, &e1);
        vec3_sub(&pc, &pa, &e2);
        vec3_cross(&e1, &e2, &n);
        // The unnormalised cross product weights each face by its area.
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

int32_t mesh_compute_tangents(Mesh* mesh)
{
    if (!mesh)
        return 0;
    if (!mesh->tangents) {
        mesh->tangents =
            static_cast<float*>(std::calloc(static_cast<size_t>(mesh->vertex_count) * 7, sizeof(float)));
        if (!mesh->tangents)
            return 0;
    }
    float* tg = mesh->tangents;
    for (int32_t i = 0; i < mesh->vertex_count; i++)
        for (int k = 0; k < 6; k++)
            tg[i * 7 + k] = 0.0f;
    for (int32_t i = 0; i < mesh->triangle_count; i++) {
        const MeshTriangle* t = &mesh->triangles[i];
        if (!triangle_indices_valid(mesh, t))
            continue;
        const MeshVertex* va = &mesh->vertices[t->a];
        const MeshVertex* vb = &mesh->vertices[t->b];
        const MeshVertex* vc = &mesh->vertices[t->c];
        Vec3 pa = vertex_position(mesh, t->a);
        Vec3 pb = vertex_position(mesh, t->b);
        Vec3 pc = vertex_position(mesh, t->c);
        Vec3 e1, e2;
        vec3_sub(&pb, &pa, &e1);
        vec3_sub(&pc, &pa, &e2);
        float du1 = vb->u - va->u;
        float dv1 = vb->v - va->v;
        float du2 = vc->u - va->u;
        float dv2 = vc->v - va->v;
        float det = du1 * dv2 - du2 * dv1;
        // Degenerate texture coordinates give no usable frame: such a face
        // adds nothing rather than spreading infinities over its vertices.
        if (det == 0.0f || !std::isfinite(det))
            continue;
        float r = 1.0f / det;
        if (!std::isfinite(r)) // a subnormal determinant
            continue;
        float tx = (dv2 * e1.x - dv1 * e2.x) * r;
        float ty = (dv2 * e1.y - dv1 * e2.y) * r;
        float tz = (dv2 * e1.z - dv1 * e2.z) * r;
        float bx = (du1 * e2.x - du2 * e1.x) * r;
        float by = (du1 * e2.y - du2 * e1.y) * r;
        float bz = (du1 * e2.z - du2 * e1.z) * r;
        for (int32_t k : {t->a, t->b, t->c}) {
            tg[k * 7 + 0] += tx;
            tg[k * 7 + 1] += ty;
            tg[k * 7 + 2] += tz;
            tg[k * 7 + 3] += bx;
            tg[k * 7 + 4] += by;
            tg[k * 7 + 5] += bz;
        }
    }
    for (int32_t i = 0; i < mesh->vertex_count; i++) {
        Vec3 n{mesh->normals[i * 6 + 0], mesh->normals[i * 6 + 1], mesh->normals[i * 6 + 2]};
        Vec3 t{tg[i * 7 + 0], tg[i * 7 + 1], tg[i * 7 + 2]};
        Vec3 b{tg[i * 7 + 3], tg[i * 7 + 4], tg[i * 7 + 5]};
        // Gram-Schmidt: remove the normal's share from the tangent.
        float nt = vec3_dot(&n, &t);
        Vec3 nn, orth, cross;
        vec3_scale(&n, nt, &nn);
        vec3_sub(&t, &nn, &orth);
        vec3_normalize(&orth, &orth);
        // Sums that overflowed (huge but finite reciprocals) give no frame
        // either: a zero tangent with handedness +1, so no NaN reaches a colour.
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
    return 1;
}
