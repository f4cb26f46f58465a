// Mesh drawing: projection with the camera's screen matrix, clipping into the
// two static vertex buffers, fanning each polygon into RasterTriangles for the
// fill dispatch. Relies on the clipper (clip.cpp) and draw_triangles (setup.cpp).
#include "raster/raster_internal.h"

#include "core/lanes.h"

#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>

static MeshVertex clip_buffer[2][CLIP_BUFFER_SIZE];
static MeshVertex list_clip_buffer[2][CLIP_BUFFER_SIZE];
enum { TRIANGLE_LIST_SIZE = 176 };
static RasterTriangle triangle_list_buffer[TRIANGLE_LIST_SIZE];

// A mesh's triangles go to the filler in batches rather than one call each:
// the same triangles in the same order, so the same picture, with the
// filler's per-call checks and constants paid once per batch.
enum { MESH_BATCH_SIZE = 64 };
static RasterTriangle mesh_batch[MESH_BATCH_SIZE];

struct MeshBatch {
    int32_t count;
    const Texture* texture;
    FillMode mode;
};

static void batch_flush(MeshBatch* b)
{
    if (b->count > 0)
        draw_triangles(mesh_batch, b->count, b->texture, b->mode);
    b->count = 0;
}

// The next record of the batch, drawing the full batch first.
static RasterTriangle* batch_next(MeshBatch* b)
{
    if (b->count == MESH_BATCH_SIZE)
        batch_flush(b);
    return &mesh_batch[b->count++];
}

static void project_vertex(const float* m, MeshVertex* v)
{
    float x = v->tx, y = v->ty, z = v->tz;
    float w = x * m[3] + y * m[7] + z * m[11] + m[15];
    float r = w == 0.0f ? 1.0f : 1.0f / w;
    v->tx = (x * m[0] + y * m[4] + z * m[8] + m[12]) * r;
    v->ty = (x * m[1] + y * m[5] + z * m[9] + m[13]) * r;
    v->tz = (x * m[2] + y * m[6] + z * m[10] + m[14]) * r;
    v->tw = r;
}

// The screen matrix's sixteen entries, each broadcast to four lanes.
struct ProjectLanes {
    __m128 m[16];
};

static ProjectLanes project_lanes(const float* m)
{
    ProjectLanes p;
    for (int k = 0; k < 16; k++)
        p.m[k] = _mm_set1_ps(m[k]);
    return p;
}

// project_vertex on four vertices given as lanes (camera-space x, y, z in
// p.x, p.y, p.z): each lane does the scalar operations in their order, the
// sums left to right and w == 0 taking 1 for the reciprocal. Returns the
// projected tx, ty, tz, tw as lanes.
__attribute__((always_inline)) static inline Lanes4 project_four(const ProjectLanes& l, const Lanes4& p)
{
    const __m128* m = l.m;
    auto row = [&p, m](int k) {
        const __m128 s = _mm_add_ps(_mm_mul_ps(p.x, m[k]), _mm_mul_ps(p.y, m[k + 4]));
        return _mm_add_ps(_mm_add_ps(s, _mm_mul_ps(p.z, m[k + 8])), m[k + 12]);
    };
    const __m128 w = row(3);
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 zero_w = _mm_cmpeq_ps(w, _mm_setzero_ps());
    const __m128 r = _mm_or_ps(_mm_and_ps(zero_w, one), _mm_andnot_ps(zero_w, _mm_div_ps(one, w)));
    return Lanes4{_mm_mul_ps(row(0), r), _mm_mul_ps(row(1), r), _mm_mul_ps(row(2), r), r};
}

void project_vertices(const Matrix* screen_matrix, MeshVertex* vertices, int32_t count)
{
    if (!screen_matrix || !vertices)
        return;
    int32_t i = 0;
    if (count >= 4) {
        const ProjectLanes lanes = project_lanes(screen_matrix->m);
        for (; i + 4 <= count; i += 4) {
            MeshVertex* v = &vertices[i];
            const Lanes4 p = lanes_gather(&v[0].tx, &v[1].tx, &v[2].tx, &v[3].tx);
            lanes_scatter(project_four(lanes, p), &v[0].tx, &v[1].tx, &v[2].tx, &v[3].tx);
        }
    }
    for (; i < count; i++)
        project_vertex(screen_matrix->m, &vertices[i]);
}

// Words copied as words (two four-word moves and the colour).
__attribute__((always_inline)) static inline void screen_vertex(const MeshVertex& m, ScreenVertex* s)
{
    static_assert(offsetof(ScreenVertex, rhw) == offsetof(ScreenVertex, x) + 12, "x y z rhw in a row");
    static_assert(offsetof(ScreenVertex, v2) == offsetof(ScreenVertex, u) + 12, "u v u2 v2 in a row");
    static_assert(offsetof(MeshVertex, tw) == offsetof(MeshVertex, tx) + 12, "tx ty tz tw in a row");
    static_assert(offsetof(MeshVertex, v2) == offsetof(MeshVertex, u) + 12, "u v u2 v2 in a row");
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&s->x),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(&m.tx)));
    s->colour = m.colour;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&s->u),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(&m.u)));
}

__attribute__((always_inline)) static inline void build_triangle(const MeshVertex& p, const MeshVertex& q,
                                                                 const MeshVertex& r, uint32_t flat,
                                                                 uint32_t flags, RasterTriangle* t)
{
    screen_vertex(p, &t->v[0]);
    screen_vertex(q, &t->v[1]);
    screen_vertex(r, &t->v[2]);
    t->flat_colour = flat;
    t->flags = flags;
}

static bool indices_valid(const Mesh* mesh, const MeshTriangle* t)
{
    return t->a >= 0 && t->a < mesh->vertex_count && t->b >= 0 && t->b < mesh->vertex_count && t->c >= 0 &&
           t->c < mesh->vertex_count;
}

static bool finite_vertex(const MeshVertex& v)
{
    return std::isfinite(v.tx) && std::isfinite(v.ty) && std::isfinite(v.tz);
}

// clip_window's test for a projected vertex that no window plane cuts.
static bool in_window(const MeshVertex& v, const ClipWindow& w)
{
    return v.tx >= w.min_x && v.tx <= w.max_x && v.ty >= w.min_y && v.ty <= w.max_y && std::isfinite(v.tz);
}

// What the uncut test of draw_mesh asks of each vertex, worked out once per
// vertex rather than once per triangle using it.
constexpr uint32_t VERTEX_BEHIND_NEAR = 1u; // camera-space z <= the near plane (the side that is kept)
constexpr uint32_t VERTEX_FINITE = 2u;      // camera-space x, y, z finite
constexpr uint32_t VERTEX_IN_WINDOW = 4u;   // projected, inside the window (in_window)

struct ProjectedMesh {
    const MeshVertex* vertices; // projected copies
    const uint8_t* flags;       // VERTEX_* per vertex
};

// A projected copy of the mesh's vertices with their flags, in buffers kept
// between calls (grown, never shrunk); false when they cannot be had. Each
// copy is the vertex with project_vertex applied, as a copy projected in
// place afterwards would be.
static bool project_mesh_copy(const Mesh* mesh, const Matrix* screen_matrix, float near_z,
                              const ClipWindow& w, ProjectedMesh* out)
{
    static MeshVertex* copies = nullptr;
    static uint8_t* flags = nullptr;
    static int32_t capacity = 0;
    const int32_t n = mesh->vertex_count;
    if (n <= 0)
        return false;
    if (n > capacity) {
        auto* grown =
            static_cast<MeshVertex*>(std::realloc(copies, static_cast<size_t>(n) * sizeof(MeshVertex)));
        if (!grown)
            return false;
        copies = grown;
        auto* grown_flags = static_cast<uint8_t*>(std::realloc(flags, static_cast<size_t>(n)));
        if (!grown_flags)
            return false;
        flags = grown_flags;
        capacity = n;
    }
    int32_t i = 0;
    if (n >= 4) {
        // Four vertices at a time: project_four for project_vertex, and the
        // flags' comparisons as lane masks (false for NaN, as the scalar
        // comparisons are).
        const ProjectLanes lanes = project_lanes(screen_matrix->m);
        const __m128 near = _mm_set1_ps(near_z);
        const __m128 min_x = _mm_set1_ps(w.min_x), max_x = _mm_set1_ps(w.max_x);
        const __m128 min_y = _mm_set1_ps(w.min_y), max_y = _mm_set1_ps(w.max_y);
        for (; i + 4 <= n; i += 4) {
            const MeshVertex* v = &mesh->vertices[i];
            MeshVertex* c = &copies[i];
            std::memcpy(c, v, 4 * sizeof(MeshVertex));
            const Lanes4 p = lanes_gather(&v[0].tx, &v[1].tx, &v[2].tx, &v[3].tx);
            const Lanes4 q = project_four(lanes, p);
            lanes_scatter(q, &c[0].tx, &c[1].tx, &c[2].tx, &c[3].tx);
            const int behind = _mm_movemask_ps(_mm_cmple_ps(p.z, near));
            const int finite = _mm_movemask_ps(
                _mm_and_ps(_mm_and_ps(lanes_finite(p.x), lanes_finite(p.y)), lanes_finite(p.z)));
            const __m128 across = _mm_and_ps(_mm_cmpge_ps(q.x, min_x), _mm_cmple_ps(q.x, max_x));
            const __m128 down = _mm_and_ps(_mm_cmpge_ps(q.y, min_y), _mm_cmple_ps(q.y, max_y));
            const int inside = _mm_movemask_ps(_mm_and_ps(_mm_and_ps(across, down), lanes_finite(q.z)));
            for (int k = 0; k < 4; k++)
                flags[i + k] = static_cast<uint8_t>(((behind >> k) & 1 ? VERTEX_BEHIND_NEAR : 0u) |
                                                    ((finite >> k) & 1 ? VERTEX_FINITE : 0u) |
                                                    ((inside >> k) & 1 ? VERTEX_IN_WINDOW : 0u));
        }
    }
    for (; i < n; i++) {
        const MeshVertex& v = mesh->vertices[i];
        MeshVertex* c = &copies[i];
        *c = v;
        project_vertex(screen_matrix->m, c);
        flags[i] = static_cast<uint8_t>((v.tz <= near_z ? VERTEX_BEHIND_NEAR : 0u) |
                                        (finite_vertex(v) ? VERTEX_FINITE : 0u) |
                                        (in_window(*c, w) ? VERTEX_IN_WINDOW : 0u));
    }
    out->vertices = copies;
    out->flags = flags;
    return true;
}

// The four window planes in order, alternating buffers; returns the count left
// (below 3: nothing to draw) and which buffer holds the result. A polygon wholly
// inside the window comes out of each plane turned by one vertex (the walk
// emits from in[1] on), so it is returned as it is with *first = 4 mod n, the
// index of the vertex that the four planes would have put first.
static int32_t clip_window(MeshVertex (*buffers)[CLIP_BUFFER_SIZE], int32_t* current, int32_t n,
                           int32_t* first)
{
    const ClipWindow w = clip_window_bounds();
    const MeshVertex* in = buffers[*current];
    bool inside = true;
    for (int32_t i = 0; i < n && inside; i++)
        inside = in_window(in[i], w);
    if (inside) {
        *first = 4 % n;
        return n;
    }
    *first = 0;
    typedef int32_t (*ClipFunction)(const MeshVertex*, int32_t, MeshVertex*);
    static const ClipFunction planes[4] = {clip_left, clip_right, clip_top, clip_bottom};
    for (ClipFunction clip : planes) {
        n = clip(buffers[*current], n, buffers[1 - *current]);
        *current = 1 - *current;
        if (n < 3)
            return n;
    }
    return n;
}

// Puts the triangle (a, b, c) into buffers[0], through the near plane
// where it must run: always with CLIP_NEAR, and on the window-only path when
// some vertex lies in front of the plane, so that nothing behind the camera is
// projected through w <= 0. A finite triangle wholly behind the plane passes
// clip_near turned by one vertex (b, c, a), which is copied directly. Returns
// the vertex count (below 3: nothing left) and the buffer holding them.
static int32_t near_stage(const MeshVertex& a, const MeshVertex& b, const MeshVertex& c, bool near_requested,
                          MeshVertex (*buffers)[CLIP_BUFFER_SIZE], int32_t* current)
{
    const float z = clip_near_plane();
    const bool inside = a.tz <= z && b.tz <= z && c.tz <= z;
    *current = 0;
    if (inside && !near_requested) {
        buffers[0][0] = a;
        buffers[0][1] = b;
        buffers[0][2] = c;
        return 3;
    }
    if (inside && finite_vertex(a) && finite_vertex(b) && finite_vertex(c)) {
        buffers[0][0] = b;
        buffers[0][1] = c;
        buffers[0][2] = a;
        return 3;
    }
    buffers[1][0] = a;
    buffers[1][1] = b;
    buffers[1][2] = c;
    return clip_near(buffers[1], 3, buffers[0]);
}

void draw_mesh(Mesh* mesh, const Camera* camera, FillMode mode, uint32_t clip_flags)
{
    if (!mesh || !camera || !mesh->vertices || !mesh->triangles)
        return;
    const uint32_t two_sided = mesh->flags & MESH_TWO_SIDED;
    MeshBatch batch{0, mesh->texture, mode};
    if (clip_flags == 0) {
        project_vertices(&camera->screen, mesh->vertices, mesh->vertex_count);
        for (int32_t i = 0; i < mesh->triangle_count; i++) {
            const MeshTriangle* t = &mesh->triangles[i];
            if (!t->visible || !indices_valid(mesh, t))
                continue;
            build_triangle(mesh->vertices[t->a], mesh->vertices[t->b], mesh->vertices[t->c], t->lit_colour,
                           two_sided, batch_next(&batch));
        }
        batch_flush(&batch);
        return;
    }
    const bool near_requested = (clip_flags & CLIP_NEAR) != 0;
    const bool window = (clip_flags & CLIP_WINDOW) != 0;
    // Every vertex projected once up front: a triangle that neither plane
    // stage cuts is fanned straight from these copies, the same words the
    // clip buffers would hold (same vertex, same matrix, same arithmetic).
    const float near_z = clip_near_plane();
    const ClipWindow bounds = clip_window_bounds();
    ProjectedMesh projected{nullptr, nullptr};
    const bool have_projected = project_mesh_copy(mesh, &camera->screen, near_z, bounds, &projected);
    for (int32_t i = 0; i < mesh->triangle_count; i++) {
        const MeshTriangle* t = &mesh->triangles[i];
        if (!t->visible || !indices_valid(mesh, t))
            continue;
        if (have_projected) {
            // near_stage's two uncut orders: (a, b, c) on the window-only path,
            // (b, c, a) when the near plane runs and passes all three; then
            // clip_window's uncut rotation by 4 mod 3 = 1. The three vertices'
            // flags together answer near_stage's and clip_window's tests.
            const uint32_t all = projected.flags[t->a] & projected.flags[t->b] & projected.flags[t->c];
            const bool behind = (all & VERTEX_BEHIND_NEAR) != 0;
            if (behind && (!near_requested || (all & VERTEX_FINITE))) {
                const MeshVertex* p = projected.vertices;
                const MeshVertex* order[3] = {&p[t->a], &p[t->b], &p[t->c]};
                int32_t first = near_requested ? 1 : 0;
                bool uncut = true;
                if (window) {
                    uncut = (all & VERTEX_IN_WINDOW) != 0;
                    first += 1;
                }
                if (uncut) {
                    build_triangle(*order[first % 3], *order[(first + 1) % 3], *order[(first + 2) % 3],
                                   t->lit_colour, two_sided, batch_next(&batch));
                    continue;
                }
            }
        }
        int32_t current = 0;
        int32_t n = near_stage(mesh->vertices[t->a], mesh->vertices[t->b], mesh->vertices[t->c],
                               near_requested, clip_buffer, &current);
        if (n < 3)
            continue;
        project_vertices(&camera->screen, clip_buffer[current], n);
        int32_t first = 0;
        if (window) {
            n = clip_window(clip_buffer, &current, n, &first);
            if (n < 3)
                continue;
        }
        const MeshVertex* p = clip_buffer[current];
        auto at = [p, first, n](int32_t j) -> const MeshVertex& { return p[(first + j) % n]; };
        for (int32_t k = 1; k <= n - 2; k++)
            build_triangle(at(0), at(k), at(k + 1), t->lit_colour, two_sided, batch_next(&batch));
    }
    batch_flush(&batch);
}

void draw_mesh_clipped(Mesh* mesh, const Camera* camera, FillMode mode)
{
    draw_mesh(mesh, camera, mode, CLIP_NEAR | CLIP_WINDOW);
}

void clip_and_draw_triangles(const MeshVertex* vertices, int32_t count, const Camera* camera,
                             const Texture* texture, FillMode mode)
{
    if (!vertices || !camera || count < 3)
        return;
    int32_t total = 0;
    for (int32_t g = 0; g + 3 <= count; g += 3) {
        int32_t current = 0;
        int32_t n =
            near_stage(vertices[g], vertices[g + 1], vertices[g + 2], true, list_clip_buffer, &current);
        if (n <= 2)
            continue;
        project_vertices(&camera->screen, list_clip_buffer[current], n);
        int32_t first = 0;
        n = clip_window(list_clip_buffer, &current, n, &first);
        if (n <= 2)
            continue;
        // A full buffer is drawn before the next fan is appended: same order,
        // same picture, however many triangles the caller passes.
        if (total + (n - 2) > TRIANGLE_LIST_SIZE) {
            draw_triangles(triangle_list_buffer, total, texture, mode);
            total = 0;
        }
        const MeshVertex* p = list_clip_buffer[current];
        auto at = [p, first, n](int32_t j) -> const MeshVertex& { return p[(first + j) % n]; };
        for (int32_t k = 1; k <= n - 2; k++)
            build_triangle(at(0), at(k), at(k + 1), 0xFFFFFFFFu, 0u, &triangle_list_buffer[total++]);
    }
    if (total > 0)
        draw_triangles(triangle_list_buffer, total, texture, mode);
}
