// The shared water grid: its construction, the per-frame swell, its placement
// under the camera, its drawing, the planar shadow cast onto it and the
// sliding blurred bands. Relies on the Mesh record (scene/mesh.h), core's
// sine and power, per-vertex lighting, the texture table and mesh drawing.
#include "scenes/kit.h"
#include "scenes/water_grid.h"
#include "scenes/queued.h"

#include "core/core.h"
#include "core/frame.h"
#include "image/image.h"
#include "image/texture_table.h"
#include "raster/raster.h"
#include "scene/lighting.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace
{

enum : uint32_t { SHADOW_COLOUR = 0xff3b1a00u };

// Sides of the clip window a projected vertex lies beyond (bit per side), or 0.
enum : uint32_t { BEYOND_LEFT = 1u, BEYOND_RIGHT = 2u, BEYOND_TOP = 4u, BEYOND_BOTTOM = 8u };

// The vertex normals as mesh_compute_normals makes them (each the normalised
// sum of its triangles' unnormalised cross products, added in triangle order
// from zero), without the triangle planes: the grid is lit per vertex and
// nothing reads its planes. Every index of the grid is in range.
void grid_vertex_normals(Mesh* water)
{
    float* normals = water->normals;
    for (int32_t i = 0; i < water->vertex_count; ++i) {
        normals[6 * i + 0] = 0.0f;
        normals[6 * i + 1] = 0.0f;
        normals[6 * i + 2] = 0.0f;
    }
    const MeshVertex* v = water->vertices;
    for (int32_t i = 0; i < water->triangle_count; ++i) {
        const MeshTriangle& t = water->triangles[i];
        const Vec3 pa = {v[t.a].x, v[t.a].y, v[t.a].z};
        const Vec3 pb = {v[t.b].x, v[t.b].y, v[t.b].z};
        const Vec3 pc = {v[t.c].x, v[t.c].y, v[t.c].z};
        Vec3 e1, e2, n;
        vec3_sub(&pb, &pa, &e1);
        vec3_sub(&pc, &pa, &e2);
        vec3_cross(&e1, &e2, &n);
        for (int32_t k : {t.a, t.b, t.c}) {
            normals[6 * k + 0] += n.x;
            normals[6 * k + 1] += n.y;
            normals[6 * k + 2] += n.z;
        }
    }
    for (int32_t i = 0; i < water->vertex_count; ++i) {
        Vec3 n = {normals[6 * i + 0], normals[6 * i + 1], normals[6 * i + 2]};
        vec3_normalize(&n, &n);
        normals[6 * i + 0] = n.x;
        normals[6 * i + 1] = n.y;
        normals[6 * i + 2] = n.z;
    }
}

// The grid's vertices projected to the screen by the drawing's own rule.
MeshVertex projected[WATER_GRID_SIDE * WATER_GRID_SIDE];

const FillMode WATER_FILL = FILL_TEXTURE | FILL_DEPTH | FILL_SECOND_TEXTURE | FILL_OFFSET;
const FillMode SHADOW_FILL = FILL_FLAT | FILL_DEPTH | FILL_MULTIPLY;

} // namespace

Mesh* water_grid_create(Texture* texture)
{
    const int32_t side = WATER_GRID_SIDE, cells = WATER_GRID_CELLS;
    Mesh* water = mesh_create(side * side, 2 * cells * cells);
    if (!water)
        return nullptr;
    water->texture = texture;
    water->flags = 0;
    for (int32_t i = 0; i < side; ++i)
        for (int32_t j = 0; j < side; ++j) {
            MeshVertex* v = water->vertices + side * i + j;
            const float u = static_cast<float>(j) / 32.0f;
            const float w = static_cast<float>(i) / 32.0f;
            v->u = u;
            v->v = w;
            v->x = 64.0f * (2.0f * u - 1.0f);
            v->y = 0.0f;
            v->z = 16.0f * (2.0f * w - 1.0f);
            v->colour = 0xffffffffu;
        }
    for (int32_t i = 0; i < cells; ++i)
        for (int32_t j = 0; j < cells; ++j) {
            const int32_t a = side * i + j;
            MeshTriangle* t = water->triangles + 2 * (cells * i + j);
            t[0].a = a + 1;
            t[0].b = a;
            t[0].c = a + side;
            t[1].a = a + 1;
            t[1].b = a + side;
            t[1].c = a + side + 1;
            for (int32_t k = 0; k < 2; ++k) {
                t[k].colour = 0xffffffffu;
                t[k].visible = 1;
            }
        }
    return water;
}

void water_grid_swell(Mesh* water, float seconds, const WaterSwell* swell)
{
    // c depends on the column only and e on the row only: 33 + 33 + 1089
    // sines instead of three per vertex, with the same arguments.
    const int32_t side = WATER_GRID_SIDE;
    float c[WATER_GRID_SIDE], e[WATER_GRID_SIDE];
    for (int32_t k = 0; k < side; ++k) {
        const float t = static_cast<float>(k) / 32.0f;
        c[k] = core_sin(1.57f * seconds + 7.0f * CORE_PI * t);
        e[k] = core_sin(0.78f * seconds - swell->row_waves * CORE_PI * t);
    }
    // Each vertex's own sine, all through the array call (the same bits).
    float f_of[WATER_GRID_SIDE * WATER_GRID_SIDE];
    for (int32_t i = 0; i < side; ++i)
        for (int32_t j = 0; j < side; ++j) {
            const float u = static_cast<float>(j) / 32.0f;
            const float w = static_cast<float>(i) / 32.0f;
            f_of[side * i + j] = 2.39f * seconds - swell->cross_waves * CORE_PI * u * w;
        }
    core_sin_array(f_of, f_of, side * side);
    for (int32_t i = 0; i < side; ++i)
        for (int32_t j = 0; j < side; ++j) {
            MeshVertex* v = water->vertices + side * i + j;
            const float u = static_cast<float>(j) / 32.0f;
            const float w = static_cast<float>(i) / 32.0f;
            const float f = f_of[side * i + j];
            v->y = swell->height * (f * e[i] * 0.5f * c[j] + 0.5f) + swell->base;
            v->colour = 0xffffffffu;
            v->u = 4.0f * u + swell->drift * seconds;
            v->v = 3.0f * w;
        }
    grid_vertex_normals(water);
}

void water_grid_place(Mesh* water, float x, float y)
{
    matrix_rotation_yxz(&water->model, -0.05f, 0.0f, 0.0f);
    water->model.m[12] = -x;
    water->model.m[13] = y;
    water->model.m[14] = 5.0f;
}

void water_grid_cull(Mesh* water, const Camera* camera)
{
    const int32_t count = WATER_GRID_SIDE * WATER_GRID_SIDE;
    if (water->vertex_count != count)
        return;
    float min_x, min_y, max_x, max_y;
    get_clip_window(&min_x, &min_y, &max_x, &max_y);
    const float near = -camera->near;
    std::memcpy(projected, water->vertices, sizeof projected);
    project_vertices(&camera->screen, projected, count);
    uint8_t beyond[WATER_GRID_SIDE * WATER_GRID_SIDE];
    for (int32_t i = 0; i < count; ++i) {
        // Only a vertex the near plane keeps as it is reaches the window
        // planes as it was projected here; a pixel's margin covers the
        // rounding of the points an earlier plane cuts on its edges.
        const MeshVertex& v = projected[i];
        const float tz = water->vertices[i].tz;
        uint32_t b = 0;
        if (tz <= near && std::fabs(v.tx) < 8192.0f && std::fabs(v.ty) < 8192.0f && std::isfinite(v.tz)) {
            b |= v.tx < min_x - 1.0f ? BEYOND_LEFT : 0u;
            b |= v.tx > max_x + 1.0f ? BEYOND_RIGHT : 0u;
            b |= v.ty < min_y - 1.0f ? BEYOND_TOP : 0u;
            b |= v.ty > max_y + 1.0f ? BEYOND_BOTTOM : 0u;
        }
        beyond[i] = static_cast<uint8_t>(b);
    }
    for (int32_t t = 0; t < water->triangle_count; ++t) {
        MeshTriangle* tri = water->triangles + t;
        tri->visible = (beyond[tri->a] & beyond[tri->b] & beyond[tri->c]) == 0 ? 1u : 0u;
    }
}

void water_grid_draw(Mesh* water, const Camera* camera, Vec3* light, float seconds, float x,
                     const WaterSwell* swell, uint32_t flags)
{
    water_grid_swell(water, seconds, swell);
    water_grid_place(water, x, 0.0f);
    water->flags = flags;
    mesh_transform_view(water, camera, TRANSFORM_NORMALS);
    mesh_light(water, light, LIGHT_PER_VERTEX);
    water->texture = texture_get(TEXTURE_CORKSCREW_SEPIA);
    set_bump_texture(texture_get(TEXTURE_CORKSCREW_GRAYDUDV));
    set_environment_texture(texture_get(TEXTURE_INVENV));
    water_grid_cull(water, camera);
    draw_mesh_clipped(water, camera, WATER_FILL);
}

void water_grid_shadow_draw(Mesh* mesh, const Camera* camera, const Matrix* model, const float plane[4],
                            const float light[4])
{
    planar_shadow_draw(mesh, camera, model, plane, light, SHADOW_COLOUR, SHADOW_FILL, CLIP_NEAR | CLIP_WINDOW);
}

int32_t water_grid_sky_prepare(WaterSky* sky, const Texture* texture)
{
    *sky = {texture, nullptr, 0};
    if (!texture || texture->width != SCREEN_WIDTH)
        return 0;
    const int32_t width = texture->width;
    const int32_t fit = std::min(texture->height, int32_t{SCREEN_HEIGHT} - int32_t{LETTERBOX_TOP});
    int32_t rows = 0;
    while (rows < fit) {
        const uint32_t* row = texture->pixels + static_cast<size_t>(rows) * width;
        int32_t x = 0;
        while (x < width && row[x] >> 24 == 255u)
            ++x;
        if (x < width)
            break;
        ++rows;
    }
    if (rows == 0)
        return 0;
    const size_t count = static_cast<size_t>(rows) * width;
    sky->opaque = static_cast<uint32_t*>(std::malloc(count * sizeof(uint32_t)));
    if (!sky->opaque) {
        *sky = {nullptr, nullptr, 0};
        return 1;
    }
    const uint32_t w = 255u * 255u >> 8;
    for (size_t i = 0; i < count; ++i) {
        const uint32_t s = texture->pixels[i];
        uint32_t out = 0;
        for (int32_t k = 0; k < 32; k += 8)
            out |= (((s >> k) & 255u) * w >> 8) << k;
        sky->opaque[i] = out;
    }
    sky->opaque_rows = rows;
    return 0;
}

void water_grid_sky_draw(const WaterSky* sky)
{
    if (!sky->texture || !screen)
        return;
    const int32_t rows = sky->opaque_rows;
    queued_copy(sky->opaque, LETTERBOX_TOP, rows);
    queued_blend_rect(sky->texture, 0, LETTERBOX_TOP + rows, 0, rows, sky->texture->width,
                    sky->texture->height - rows, 255, BLEND_ALPHA);
}

void water_grid_sky_free(WaterSky* sky)
{
    std::free(sky->opaque);
    *sky = {nullptr, nullptr, 0};
}

int32_t water_grid_band_offset(float b)
{
    const float h = b / 2.0f - core_floor(b / 2.0f);
    return float_to_int(92.0f * core_pow(1.0f - h, 4.0f));
}

void water_grid_bands_blur(float b, int32_t middle, void (*blur)(int32_t from, int32_t to, int32_t passes))
{
    const int32_t w = water_grid_band_offset(b);
    blur(middle - 20 - w, middle - w, 64);
    blur(middle, middle + 20, 32);
    blur(middle + 20 + w, middle + 40 + w, 64);
}
