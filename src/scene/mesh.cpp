// The Mesh record: creation and release, the rest-pose copy of the vertices,
// and the per-vertex normal and tangent-frame computations.
// Relies on core (Vec3 helpers).
#include "scene/mesh.h"

#include "core/lanes.h"

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

// One triangle's share of mesh_compute_normals: its cross product added to
// its three vertices' sums, and its plane.
static void triangle_normal(Mesh* mesh, MeshTriangle* t)
{
    if (!triangle_indices_valid(mesh, t))
        return;
    float* normals = mesh->normals;
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

static const float* position_of(const Mesh* mesh, int32_t i)
{
    return &mesh->vertices[i].x;
}

static __m128 lanes_negate(__m128 v)
{
    return _mm_xor_ps(v, _mm_set1_ps(-0.0f));
}

// Four triangles' edges e1 = b - a, e2 = c - a and their cross product, one
// lane per triangle, with the positions of a (for the plane distance).
struct TriangleLanes {
    Lanes4 a;
    __m128 e1x, e1y, e1z, e2x, e2y, e2z;
    __m128 nx, ny, nz;
};

__attribute__((always_inline)) static inline TriangleLanes triangle_lanes(const Mesh* mesh,
                                                                          const MeshTriangle* t)
{
    TriangleLanes l;
    l.a = lanes_gather(position_of(mesh, t[0].a), position_of(mesh, t[1].a), position_of(mesh, t[2].a),
                       position_of(mesh, t[3].a));
    const Lanes4 b = lanes_gather(position_of(mesh, t[0].b), position_of(mesh, t[1].b),
                                  position_of(mesh, t[2].b), position_of(mesh, t[3].b));
    const Lanes4 c = lanes_gather(position_of(mesh, t[0].c), position_of(mesh, t[1].c),
                                  position_of(mesh, t[2].c), position_of(mesh, t[3].c));
    l.e1x = _mm_sub_ps(b.x, l.a.x);
    l.e1y = _mm_sub_ps(b.y, l.a.y);
    l.e1z = _mm_sub_ps(b.z, l.a.z);
    l.e2x = _mm_sub_ps(c.x, l.a.x);
    l.e2y = _mm_sub_ps(c.y, l.a.y);
    l.e2z = _mm_sub_ps(c.z, l.a.z);
    l.nx = _mm_sub_ps(_mm_mul_ps(l.e1y, l.e2z), _mm_mul_ps(l.e1z, l.e2y));
    l.ny = _mm_sub_ps(_mm_mul_ps(l.e1z, l.e2x), _mm_mul_ps(l.e1x, l.e2z));
    l.nz = _mm_sub_ps(_mm_mul_ps(l.e1x, l.e2y), _mm_mul_ps(l.e1y, l.e2x));
    return l;
}

__attribute__((always_inline)) static inline bool four_triangles_valid(const Mesh* mesh,
                                                                       const MeshTriangle* t)
{
    return triangle_indices_valid(mesh, &t[0]) && triangle_indices_valid(mesh, &t[1]) &&
           triangle_indices_valid(mesh, &t[2]) && triangle_indices_valid(mesh, &t[3]);
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
    // Four triangles at a time, one per lane, each lane doing triangle_normal's
    // operations; the sums are still added triangle by triangle in order, and
    // a group with a bad index goes the scalar way.
    int32_t i = 0;
    for (; i + 4 <= mesh->triangle_count; i += 4) {
        MeshTriangle* t = &mesh->triangles[i];
        if (!four_triangles_valid(mesh, t)) {
            for (int32_t k = 0; k < 4; k++)
                triangle_normal(mesh, &t[k]);
            continue;
        }
        TriangleLanes l = triangle_lanes(mesh, t);
        alignas(16) float nx[4], ny[4], nz[4];
        _mm_store_ps(nx, l.nx);
        _mm_store_ps(ny, l.ny);
        _mm_store_ps(nz, l.nz);
        for (int32_t k = 0; k < 4; k++)
            for (int32_t v : {t[k].a, t[k].b, t[k].c}) {
                normals[v * 6 + 0] += nx[k];
                normals[v * 6 + 1] += ny[k];
                normals[v * 6 + 2] += nz[k];
            }
        lanes_normalize(&l.nx, &l.ny, &l.nz);
        const __m128 d = lanes_negate(lanes_dot(l.nx, l.ny, l.nz, l.a.x, l.a.y, l.a.z));
        lanes_scatter(Lanes4{l.nx, l.ny, l.nz, d}, &t[0].nx, &t[1].nx, &t[2].nx, &t[3].nx);
    }
    for (; i < mesh->triangle_count; i++)
        triangle_normal(mesh, &mesh->triangles[i]);
    // The sums normalised four vertices at a time; the fourth float of each
    // gathered record (the first transformed component) goes back unchanged.
    int32_t v = 0;
    for (; v + 4 <= mesh->vertex_count; v += 4) {
        float* n = normals + 6 * v;
        Lanes4 l = lanes_gather(n, n + 6, n + 12, n + 18);
        lanes_normalize(&l.x, &l.y, &l.z);
        lanes_scatter(l, n, n + 6, n + 12, n + 18);
    }
    for (; v < mesh->vertex_count; v++) {
        Vec3 n{normals[v * 6 + 0], normals[v * 6 + 1], normals[v * 6 + 2]};
        vec3_normalize(&n, &n);
        normals[v * 6 + 0] = n.x;
        normals[v * 6 + 1] = n.y;
        normals[v * 6 + 2] = n.z;
    }
}

// One triangle's tangent and bitangent (the texture axes in object space),
// false when its texture coordinates give no usable frame.
static bool triangle_tangent(const Mesh* mesh, const MeshTriangle* t, float out[6])
{
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
        return false;
    float r = 1.0f / det;
    if (!std::isfinite(r)) // a subnormal determinant
        return false;
    out[0] = (dv2 * e1.x - dv1 * e2.x) * r;
    out[1] = (dv2 * e1.y - dv1 * e2.y) * r;
    out[2] = (dv2 * e1.z - dv1 * e2.z) * r;
    out[3] = (du1 * e2.x - du2 * e1.x) * r;
    out[4] = (du1 * e2.y - du2 * e1.y) * r;
    out[5] = (du1 * e2.z - du2 * e1.z) * r;
    return true;
}

__attribute__((always_inline)) static inline void add_tangent(float* tg, const MeshTriangle* t,
                                                              const float frame[6])
{
    for (int32_t k : {t->a, t->b, t->c})
        for (int32_t j = 0; j < 6; j++)
            tg[k * 7 + j] += frame[j];
}

// triangle_tangent on four triangles, one per lane: the frames into
// frames[lane], and a mask bit per lane whose frame is usable.
static int four_triangle_tangents(const Mesh* mesh, const MeshTriangle* t, float frames[4][8])
{
    const TriangleLanes l = triangle_lanes(mesh, t);
    const MeshVertex* v = mesh->vertices;
    const Lanes4 ta = lanes_gather(&v[t[0].a].u, &v[t[1].a].u, &v[t[2].a].u, &v[t[3].a].u);
    const Lanes4 tb = lanes_gather(&v[t[0].b].u, &v[t[1].b].u, &v[t[2].b].u, &v[t[3].b].u);
    const Lanes4 tc = lanes_gather(&v[t[0].c].u, &v[t[1].c].u, &v[t[2].c].u, &v[t[3].c].u);
    const __m128 du1 = _mm_sub_ps(tb.x, ta.x), dv1 = _mm_sub_ps(tb.y, ta.y);
    const __m128 du2 = _mm_sub_ps(tc.x, ta.x), dv2 = _mm_sub_ps(tc.y, ta.y);
    const __m128 det = _mm_sub_ps(_mm_mul_ps(du1, dv2), _mm_mul_ps(du2, dv1));
    const __m128 r = _mm_div_ps(_mm_set1_ps(1.0f), det);
    const __m128 usable =
        _mm_and_ps(_mm_and_ps(_mm_cmpneq_ps(det, _mm_setzero_ps()), lanes_finite(det)), lanes_finite(r));
    auto axis = [r](__m128 p, __m128 e, __m128 q, __m128 f) {
        return _mm_mul_ps(_mm_sub_ps(_mm_mul_ps(p, e), _mm_mul_ps(q, f)), r);
    };
    Lanes4 tangent{axis(dv2, l.e1x, dv1, l.e2x), axis(dv2, l.e1y, dv1, l.e2y), axis(dv2, l.e1z, dv1, l.e2z),
                   _mm_setzero_ps()};
    Lanes4 bitangent{axis(du1, l.e2x, du2, l.e1x), axis(du1, l.e2y, du2, l.e1y), axis(du1, l.e2z, du2, l.e1z),
                     _mm_setzero_ps()};
    lanes_scatter(tangent, frames[0], frames[1], frames[2], frames[3]);
    lanes_scatter(bitangent, frames[0] + 3, frames[1] + 3, frames[2] + 3, frames[3] + 3);
    return _mm_movemask_ps(usable);
}

// The vertex's frame finished: the tangent made orthogonal to the normal and
// normalised, sums that overflowed cleared, the handedness from the bitangent.
static void finish_tangent(const float* normal, float* tg)
{
    Vec3 n{normal[0], normal[1], normal[2]};
    Vec3 t{tg[0], tg[1], tg[2]};
    Vec3 b{tg[3], tg[4], tg[5]};
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
        tg[3] = tg[4] = tg[5] = 0.0f;
    }
    tg[0] = orth.x;
    tg[1] = orth.y;
    tg[2] = orth.z;
    vec3_cross(&n, &orth, &cross);
    tg[6] = vec3_dot(&cross, &b) < 0.0f ? -1.0f : 1.0f;
}

// finish_tangent on four vertices, one per lane.
static void finish_four_tangents(const float* normals, float* tg)
{
    const Lanes4 n = lanes_gather(normals, normals + 6, normals + 12, normals + 18);
    const Lanes4 t = lanes_gather(tg, tg + 7, tg + 14, tg + 21);
    Lanes4 b = lanes_gather(tg + 3, tg + 10, tg + 17, tg + 24);
    const __m128 nt = lanes_dot(n.x, n.y, n.z, t.x, t.y, t.z);
    __m128 ox = _mm_sub_ps(t.x, _mm_mul_ps(n.x, nt));
    __m128 oy = _mm_sub_ps(t.y, _mm_mul_ps(n.y, nt));
    __m128 oz = _mm_sub_ps(t.z, _mm_mul_ps(n.z, nt));
    lanes_normalize(&ox, &oy, &oz);
    const __m128 orth_finite = _mm_and_ps(_mm_and_ps(lanes_finite(ox), lanes_finite(oy)), lanes_finite(oz));
    ox = _mm_and_ps(ox, orth_finite);
    oy = _mm_and_ps(oy, orth_finite);
    oz = _mm_and_ps(oz, orth_finite);
    const __m128 b_finite = _mm_and_ps(_mm_and_ps(lanes_finite(b.x), lanes_finite(b.y)), lanes_finite(b.z));
    b.x = _mm_and_ps(b.x, b_finite);
    b.y = _mm_and_ps(b.y, b_finite);
    b.z = _mm_and_ps(b.z, b_finite);
    const __m128 cx = _mm_sub_ps(_mm_mul_ps(n.y, oz), _mm_mul_ps(n.z, oy));
    const __m128 cy = _mm_sub_ps(_mm_mul_ps(n.z, ox), _mm_mul_ps(n.x, oz));
    const __m128 cz = _mm_sub_ps(_mm_mul_ps(n.x, oy), _mm_mul_ps(n.y, ox));
    const __m128 negative = _mm_cmplt_ps(lanes_dot(cx, cy, cz, b.x, b.y, b.z), _mm_setzero_ps());
    b.w = _mm_or_ps(_mm_and_ps(negative, _mm_set1_ps(-1.0f)), _mm_andnot_ps(negative, _mm_set1_ps(1.0f)));
    // The tangent with the first bitangent component, then the bitangent
    // with the handedness: the second store rewrites that component alike.
    lanes_scatter(Lanes4{ox, oy, oz, b.x}, tg, tg + 7, tg + 14, tg + 21);
    lanes_scatter(b, tg + 3, tg + 10, tg + 17, tg + 24);
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
    // Four triangles' frames at a time; the sums are added triangle by
    // triangle in order, as the one-at-a-time loop adds them.
    int32_t i = 0;
    for (; i + 4 <= mesh->triangle_count; i += 4) {
        const MeshTriangle* t = &mesh->triangles[i];
        if (!four_triangles_valid(mesh, t)) {
            for (int32_t k = 0; k < 4; k++) {
                float frame[6];
                if (triangle_indices_valid(mesh, &t[k]) && triangle_tangent(mesh, &t[k], frame))
                    add_tangent(tg, &t[k], frame);
            }
            continue;
        }
        float frames[4][8];
        const int usable = four_triangle_tangents(mesh, t, frames);
        for (int32_t k = 0; k < 4; k++)
            if (usable & (1 << k))
                add_tangent(tg, &t[k], frames[k]);
    }
    for (; i < mesh->triangle_count; i++) {
        const MeshTriangle* t = &mesh->triangles[i];
        float frame[6];
        if (triangle_indices_valid(mesh, t) && triangle_tangent(mesh, t, frame))
            add_tangent(tg, t, frame);
    }
    int32_t v = 0;
    for (; v + 4 <= mesh->vertex_count; v += 4)
        finish_four_tangents(mesh->normals + 6 * v, tg + 7 * v);
    for (; v < mesh->vertex_count; v++)
        finish_tangent(mesh->normals + 6 * v, tg + 7 * v);
    return 1;
}
