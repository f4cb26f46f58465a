// The metaball field: storage and layout, scaling, ball accumulation bounded
// by each ball's reach, and the marching-cubes surface. Relies on scene/
// (matrices, camera) and raster/ (clip_and_draw_triangles); the tables live
// in field_tables.cpp.
#include "scenes/field.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

// Scratch of the surface walk. Edge vertices are kept per directed edge (the
// vertex of A -> B is a function of A and B alone, so every cube that names
// the edge in the same direction gets the same record): for the two planes of
// points x = i and x = i + 1 of the layer of cubes being walked, the edges
// along +k, -k, +j and -j, and for the layer the edges along +i. A slot holds
// a vertex of this walk when its stamp equals its set's current stamp.
struct EdgeSet {
    MeshVertex* vertices;
    uint32_t* stamps;
    uint32_t stamp;
};

struct FieldScratch {
    uint8_t* below;       // one below-iso flag per point
    EdgeSet planes[2][4]; // [plane][K_PLUS..J_MINUS]: k edges at b N + k, j edges at j (N + 1) + c
    EdgeSet across;       // +i edges at b (N + 1) + c
    size_t plane_slots;   // (N + 1) N
    size_t across_slots;  // (N + 1)^2
    uint32_t generation;  // the last stamp handed out
};

namespace
{

enum { K_PLUS = 0, K_MINUS = 1, J_PLUS = 2, J_MINUS = 3 };

bool edge_set_create(EdgeSet* set, size_t slots)
{
    set->vertices = static_cast<MeshVertex*>(std::calloc(slots, sizeof(MeshVertex)));
    set->stamps = static_cast<uint32_t*>(std::calloc(slots, sizeof(uint32_t)));
    set->stamp = 0;
    return set->vertices && set->stamps;
}

void scratch_free(FieldScratch* scratch)
{
    if (!scratch)
        return;
    std::free(scratch->below);
    for (auto& plane : scratch->planes)
        for (EdgeSet& set : plane) {
            std::free(set.vertices);
            std::free(set.stamps);
        }
    std::free(scratch->across.vertices);
    std::free(scratch->across.stamps);
    std::free(scratch);
}

FieldScratch* scratch_create(int32_t cells, int32_t point_count)
{
    FieldScratch* scratch = static_cast<FieldScratch*>(std::calloc(1, sizeof(FieldScratch)));
    if (!scratch)
        return nullptr;
    const size_t side = static_cast<size_t>(cells) + 1;
    scratch->plane_slots = side * static_cast<size_t>(cells);
    scratch->across_slots = side * side;
    scratch->below = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(point_count), 1));
    bool ok = scratch->below != nullptr;
    for (auto& plane : scratch->planes)
        for (EdgeSet& set : plane)
            ok = edge_set_create(&set, scratch->plane_slots) && ok;
    ok = edge_set_create(&scratch->across, scratch->across_slots) && ok;
    if (!ok) {
        scratch_free(scratch);
        return nullptr;
    }
    return scratch;
}

// A fresh stamp for a set: larger than every stamp in any slot. Before the
// counter would wrap, every slot is emptied and every set given stamp 1 (its
// slots, at 0, then hold nothing; a vertex lost that way is simply made again).
uint32_t next_stamp(FieldScratch* scratch)
{
    if (scratch->generation == UINT32_MAX) {
        for (auto& plane : scratch->planes)
            for (EdgeSet& set : plane) {
                std::memset(set.stamps, 0, scratch->plane_slots * sizeof(uint32_t));
                set.stamp = 1;
            }
        std::memset(scratch->across.stamps, 0, scratch->across_slots * sizeof(uint32_t));
        scratch->across.stamp = 1;
        scratch->generation = 1;
    }
    return ++scratch->generation;
}

} // namespace

MetaField* field_create(int32_t cells)
{
    if (cells < 1 || cells > FIELD_MAX_CELLS)
        return nullptr;
    MetaField* field = static_cast<MetaField*>(std::calloc(1, sizeof(MetaField)));
    if (!field)
        return nullptr;
    const int64_t side = static_cast<int64_t>(cells) + 1;
    field->cells = cells;
    field->point_count = static_cast<int32_t>(side * side * side);
    field->cube_count = cells * cells * cells;
    field->grid_points =
        static_cast<FieldPoint*>(std::calloc(static_cast<size_t>(field->point_count), sizeof(FieldPoint)));
    field->scratch = scratch_create(cells, field->point_count);
    if (!field->grid_points || !field->scratch) {
        field_destroy(field);
        return nullptr;
    }
    field->light = {0.0f, 0.0f, 1.0f};
    matrix_identity(&field->model);
    return field;
}

void field_destroy(MetaField* field)
{
    if (!field)
        return;
    std::free(field->grid_points);
    scratch_free(field->scratch);
    std::free(field);
}

void field_layout(MetaField* field, float size)
{
    if (!field)
        return;
    const int32_t n = field->cells;
    const float fn = static_cast<float>(n);
    const float half = size / 2.0f;
    FieldPoint* p = field->grid_points;
    for (int32_t i = 0; i <= n; i++)
        for (int32_t j = 0; j <= n; j++)
            for (int32_t k = 0; k <= n; k++, p++) {
                p->x = size * static_cast<float>(i) / fn - half;
                p->y = size * static_cast<float>(j) / fn - half;
                p->z = size * static_cast<float>(k) / fn - half;
                p->gx = p->gy = p->gz = 0.0f;
                p->value = 0.0f;
            }
    // Only a finite, positive edge gives a grid that field_add_ball may bound by.
    field->size = std::isfinite(size) && size > 0.0f ? size : 0.0f;
}

void field_scale(MetaField* field, float factor)
{
    if (!field)
        return;
    FieldPoint* p = field->grid_points;
    for (int32_t i = 0; i < field->point_count; i++) {
        p[i].gx *= factor;
        p[i].gy *= factor;
        p[i].gz *= factor;
        p[i].value *= factor;
    }
}

namespace
{

// Index range [*first, *last] along one axis of the points whose coordinate
// can lie within `reach` of c, one index of margin on each side for rounding.
// False when the axis holds none.
bool axis_range(const MetaField* field, float c, double reach, int32_t* first, int32_t* last)
{
    const double n = field->cells, size = field->size;
    const double lo = (static_cast<double>(c) - reach + size / 2.0) * n / size - 1.0;
    const double hi = (static_cast<double>(c) + reach + size / 2.0) * n / size + 1.0;
    if (hi < 0.0 || lo > n)
        return false;
    *first = lo <= 0.0 ? 0 : static_cast<int32_t>(std::floor(lo));
    *last = hi >= n ? field->cells : static_cast<int32_t>(std::ceil(hi));
    return true;
}

inline void add_ball_at(FieldPoint* p, const Vec3* centre, float r, float r2, float r3)
{
    Vec3 d = {p->x - centre->x, p->y - centre->y, p->z - centre->z};
    float d2 = vec3_dot(&d, &d);
    if (!(d2 <= r3))
        return;
    if (d2 == 0.0f)
        d2 = 0.0001f;
    const float value = p->value + r2 / d2;
    if (std::isfinite(value))
        p->value = value;
    const float k = r / (d2 * d2);
    const float gx = p->gx + d.x * k, gy = p->gy + d.y * k, gz = p->gz + d.z * k;
    if (std::isfinite(gx) && std::isfinite(gy) && std::isfinite(gz)) {
        p->gx = gx;
        p->gy = gy;
        p->gz = gz;
    }
}

} // namespace

void field_add_ball(MetaField* field, const Vec3* centre, float r)
{
    if (!field || !centre)
        return;
    const float r2 = r * r, r3 = r2 * r;
    const int32_t side = field->cells + 1;
    // d2 <= r^3 needs every offset within sqrt(r^3): a box around the centre.
    int32_t i0 = 0, i1 = field->cells, j0 = 0, j1 = field->cells, k0 = 0, k1 = field->cells;
    const double reach = std::sqrt(static_cast<double>(r3));
    const bool bounded = field->size > 0.0f && std::isfinite(reach) && std::isfinite(centre->x) &&
                         std::isfinite(centre->y) && std::isfinite(centre->z);
    if (!(r3 >= 0.0f))
        return; // no squared distance is at most a negative or NaN reach
    if (bounded &&
        (!axis_range(field, centre->x, reach, &i0, &i1) || !axis_range(field, centre->y, reach, &j0, &j1) ||
         !axis_range(field, centre->z, reach, &k0, &k1)))
        return;
    for (int32_t i = i0; i <= i1; i++)
        for (int32_t j = j0; j <= j1; j++) {
            FieldPoint* row = field->grid_points + (static_cast<int64_t>(i) * side + j) * side;
            for (int32_t k = k0; k <= k1; k++)
                add_ball_at(row + k, centre, r, r2, r3);
        }
}

namespace
{

struct SurfaceFrame {
    Matrix model_view;
    Matrix normal_matrix;
    Vec3 light;
    float iso;
};

// vec3_normalize's arithmetic, inlined: the float square root is the
// correctly rounded one that core_sqrt reaches through double.
inline Vec3 unit(float x, float y, float z)
{
    const float q = x * x + y * y + z * z;
    const float f = q != 0.0f ? 1.0f / std::sqrt(q) : 0.0f;
    return {x * f, y * f, z * f};
}

// The vertex where edge A -> B crosses iso, in camera space, lit and mapped.
void edge_vertex(const SurfaceFrame& f, const FieldPoint& a, const FieldPoint& b, MeshVertex* out)
{
    const float t = (f.iso - a.value) / (b.value - a.value);
    const float x = a.x + t * (b.x - a.x), y = a.y + t * (b.y - a.y), z = a.z + t * (b.z - a.z);
    const Vec3 normal = unit(a.gx + t * (b.gx - a.gx), a.gy + t * (b.gy - a.gy), a.gz + t * (b.gz - a.gz));
    const float* m = f.model_view.m;
    out->x = x;
    out->y = y;
    out->z = z;
    out->tx = x * m[0] + y * m[4] + z * m[8] + m[12];
    out->ty = x * m[1] + y * m[5] + z * m[9] + m[13];
    out->tz = x * m[2] + y * m[6] + z * m[10] + m[14];
    out->tw = x * m[3] + y * m[7] + z * m[11] + m[15];
    const float* r = f.normal_matrix.m;
    const Vec3 n = unit(normal.x * r[0] + normal.y * r[4] + normal.z * r[8],
                        normal.x * r[1] + normal.y * r[5] + normal.z * r[9],
                        normal.x * r[2] + normal.y * r[6] + normal.z * r[10]);
    out->u = out->u2 = (n.x + 1.0f) * 0.5f;
    out->v = out->v2 = (1.0f - n.y) * 0.5f;
    float lit = n.x * f.light.x + n.y * f.light.y + n.z * f.light.z;
    lit = lit < 0.0f ? 0.0f : (lit > 1.0f ? 1.0f : lit);
    out->colour = grey(float_to_int(lit * 255.0f));
}

// The cached vertex of edge A -> B in slot `slot` of the set, made on first use.
inline const MeshVertex* edge_at(const SurfaceFrame& f, EdgeSet& set, size_t slot, const FieldPoint& a,
                                 const FieldPoint& b)
{
    if (set.stamps[slot] != set.stamp) {
        edge_vertex(f, a, b, &set.vertices[slot]);
        set.stamps[slot] = set.stamp;
    }
    return &set.vertices[slot];
}

// The triangles of cube (i, j, k) with the given index, in the reversed
// winding; returns their count. corners as in MetaField; near and far are
// the edge sets of the planes x = i and x = i + 1, across those of the layer.
int32_t cube_triangles(const SurfaceFrame& f, const FieldPoint* const c[8], int32_t index, int32_t j,
                       int32_t k, int32_t n, EdgeSet* near, EdgeSet* far, EdgeSet& across, MeshVertex* out)
{
    const size_t side = static_cast<size_t>(n) + 1;
    const size_t kj = static_cast<size_t>(j) * n + k, kj1 = kj + n; // k edges at (j, k) and (j + 1, k)
    const size_t jk = static_cast<size_t>(j) * side + k,
                 jk1 = jk + side; // j and i edges at (j, k), (j + 1, k)
    const MeshVertex* edge[12];
    const uint32_t mask = field_edge_table[index];
    if (mask & 0x001u)
        edge[0] = edge_at(f, near[K_PLUS], kj, *c[0], *c[1]);
    if (mask & 0x002u)
        edge[1] = edge_at(f, near[J_PLUS], jk + 1, *c[1], *c[2]);
    if (mask & 0x004u)
        edge[2] = edge_at(f, near[K_MINUS], kj1, *c[2], *c[3]);
    if (mask & 0x008u)
        edge[3] = edge_at(f, near[J_MINUS], jk, *c[3], *c[0]);
    if (mask & 0x010u)
        edge[4] = edge_at(f, far[K_PLUS], kj, *c[4], *c[5]);
    if (mask & 0x020u)
        edge[5] = edge_at(f, far[J_PLUS], jk + 1, *c[5], *c[6]);
    if (mask & 0x040u)
        edge[6] = edge_at(f, far[K_MINUS], kj1, *c[6], *c[7]);
    if (mask & 0x080u)
        edge[7] = edge_at(f, far[J_MINUS], jk, *c[7], *c[4]);
    if (mask & 0x100u)
        edge[8] = edge_at(f, across, jk, *c[0], *c[4]);
    if (mask & 0x200u)
        edge[9] = edge_at(f, across, jk + 1, *c[1], *c[5]);
    if (mask & 0x400u)
        edge[10] = edge_at(f, across, jk1 + 1, *c[2], *c[6]);
    if (mask & 0x800u)
        edge[11] = edge_at(f, across, jk1, *c[3], *c[7]);
    const int8_t* row = field_triangle_table[index];
    int32_t count = 0;
    for (int32_t t = 0; t < 15 && row[t] >= 0; t += 3, count++) {
        out[3 * count + 0] = *edge[row[t]];
        out[3 * count + 1] = *edge[row[t + 2]];
        out[3 * count + 2] = *edge[row[t + 1]];
    }
    return count;
}

} // namespace

void field_surface(MetaField* field, float iso, const Camera* camera, FieldSurfaceSink sink, void* context)
{
    if (!field || !camera || !sink)
        return;
    SurfaceFrame f;
    Matrix full;
    mesh_frame_matrices(camera, &field->model, &full, &f.normal_matrix);
    matrix_multiply(&field->model, &camera->view, &f.model_view);
    vec3_normalize(&field->light, &field->light);
    f.light = field->light;
    f.iso = iso;

    // One below-iso flag per point, and per row of points along k whether
    // it is wholly below or wholly not below: a row of cubes whose four
    // corner rows agree has index 0 or 255 throughout and is skipped.
    const int32_t n = field->cells, side = n + 1, count = field->point_count;
    const FieldPoint* points = field->grid_points;
    FieldScratch* scratch = field->scratch;
    uint8_t* below = scratch->below;
    for (int32_t p = 0; p < count; p++)
        below[p] = points[p].value < iso ? 1 : 0;

    // Plane x = i + 1 of one layer is plane x = i of the next: its edge
    // sets carry over, the new far plane and the layer's +i edges start empty.
    EdgeSet* near = scratch->planes[0];
    EdgeSet* far = scratch->planes[1];
    for (EdgeSet* set = near; set != near + 4; set++)
        set->stamp = next_stamp(scratch);
    MeshVertex out[15];
    const FieldPoint* corners[8];
    for (int32_t i = 0; i < n; i++) {
        for (EdgeSet* set = far; set != far + 4; set++)
            set->stamp = next_stamp(scratch);
        scratch->across.stamp = next_stamp(scratch);
        for (int32_t j = 0; j < n; j++) {
            const int32_t r00 = (i * side + j) * side, r01 = r00 + side;
            const int32_t r10 = r00 + side * side, r11 = r10 + side;
            int32_t sum = 0;
            for (int32_t k = 0; k <= n; k++)
                sum += below[r00 + k] + below[r01 + k] + below[r10 + k] + below[r11 + k];
            if (sum == 0 || sum == 4 * side)
                continue;
            for (int32_t k = 0; k < n; k++) {
                const int32_t index = below[r00 + k] | below[r00 + k + 1] << 1 | below[r01 + k + 1] << 2 |
                                      below[r01 + k] << 3 | below[r10 + k] << 4 | below[r10 + k + 1] << 5 |
                                      below[r11 + k + 1] << 6 | below[r11 + k] << 7;
                if (index == 0 || index == 255)
                    continue;
                corners[0] = points + r00 + k;
                corners[1] = points + r00 + k + 1;
                corners[2] = points + r01 + k + 1;
                corners[3] = points + r01 + k;
                corners[4] = points + r10 + k;
                corners[5] = points + r10 + k + 1;
                corners[6] = points + r11 + k + 1;
                corners[7] = points + r11 + k;
                const int32_t triangles =
                    cube_triangles(f, corners, index, j, k, n, near, far, scratch->across, out);
                if (triangles > 0)
                    sink(out, triangles, context);
            }
        }
        EdgeSet* next = near;
        near = far;
        far = next;
    }
}

namespace
{

// Cubes' triangles gathered for the clipper; a full batch is drawn before
// the next cube is added, so the triangles reach the fill dispatch in the
// same order as cube by cube.
enum { DRAW_BATCH_TRIANGLES = 160 };

struct DrawBatch {
    const Camera* camera;
    const Texture* texture;
    FillMode mode;
    int32_t count;
    MeshVertex vertices[3 * DRAW_BATCH_TRIANGLES];
};

void batch_flush(DrawBatch* batch)
{
    if (batch->count > 0)
        clip_and_draw_triangles(batch->vertices, 3 * batch->count, batch->camera, batch->texture,
                                batch->mode);
    batch->count = 0;
}

void batch_add(const MeshVertex* vertices, int32_t triangle_count, void* context)
{
    DrawBatch* batch = static_cast<DrawBatch*>(context);
    if (batch->count + triangle_count > DRAW_BATCH_TRIANGLES)
        batch_flush(batch);
    std::memcpy(batch->vertices + 3 * batch->count, vertices, sizeof(MeshVertex) * 3 * triangle_count);
    batch->count += triangle_count;
}

DrawBatch draw_batch;

} // namespace

void field_polygonise(MetaField* field, float iso, const Camera* camera, const Texture* texture,
                      FillMode fill_mode)
{
    if (!field || !camera)
        return;
    draw_batch.camera = camera;
    draw_batch.texture = texture;
    draw_batch.mode = fill_mode;
    draw_batch.count = 0;
    field_surface(field, iso, camera, batch_add, &draw_batch);
    batch_flush(&draw_batch);
}
