// Ribbon over water (beats 132-163): a long twisting ribbon, environment
// mapped, winds along a moving space curve above rippling water, casts a
// multiplied shadow onto it, is mirrored by a faint scrolling pass over the
// water and throws flare glints where it faces the viewer; a sky picture over
// the horizon and sliding column blurs on alternate pairs of beats. Relies on
// the clock, the texture table, lighting, mesh drawing, the 2D operations and
// the shared water-grid and glint modules.
#include "scenes/kit.h"
#include "scenes/scenes.h"
#include "scenes/queued.h"
#include "scenes/glints.h"
#include "scenes/ribbon_parts.h"
#include "scenes/water_grid.h"

#include "core/core.h"
#include "core/frame.h"
#include "image/image.h"
#include "platform/paths.h"
#include "raster/raster.h"
#include "scene/lighting.h"
#include "scene/mesh.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace
{

enum { RIBBON_VERTICES = 2 * RIBBON_PAIRS, RIBBON_TRIANGLES = 2 * (RIBBON_PAIRS - 1) };

// The ribbon takes the water's own mode.
const FillMode RIBBON_FILL = FILL_TEXTURE | FILL_DEPTH | FILL_SECOND_TEXTURE | FILL_OFFSET;
const FillMode REFLECTION_FILL = FILL_TEXTURE | FILL_ALPHA;
const FillMode GLINT_FILL = FILL_FLAT | FILL_TEXTURE | FILL_DEPTH | FILL_ADD;

// The texture rows this scene draws with; each must have loaded.
const int32_t used_rows[] = {TEXTURE_ENVIGOLDEN,        TEXTURE_INVENV, TEXTURE_CORKSCREW_SEPIA,
                             TEXTURE_CORKSCREW_BLUE,    TEXTURE_FLARES, TEXTURE_RIBBONS_BG,
                             TEXTURE_CORKSCREW_GRAYDUDV};

// This scene's swell: five row waves, three across, 2.5 high from y = -15,
// drifting to the left.
const WaterSwell swell = {5.0f, 3.0f, 2.5f, -15.0f, 0.1f};

// The shadow plane y = -12.5 (the crests of the water) and the light above.
const float shadow_plane[4] = {0.0f, 1.0f, 0.0f, 12.5f};
const float shadow_light[4] = {0.0f, 30.0f, 0.0f, 1.0f};

Mesh* ribbon_mesh = nullptr;
Mesh* glint_mesh = nullptr;
Mesh* water_mesh = nullptr;
WaterSky sky = {nullptr, nullptr, 0};

void report_texture(int32_t row)
{
    const char* path = texture_table_path(row);
    char native[512];
    const char* name = path && path_native(path, native, sizeof native) ? native : path;
    std::fprintf(stderr, "ribbon: %s: texture not loaded\n", name ? name : "(unnamed texture)");
}

void camera_place(Camera* camera, const SceneFrame& frame, float x)
{
    camera_look(camera, frame, {x, 0.0f, 18.0f}, {x, 0.0f, 17.0f}, 1.0f, 256.0f, 90.0f);
    letterbox_window(frame);
}

// The water once more, raised a little, its texture stretched and scrolled,
// blended by a slowly breathing level without depth.
void reflection_draw(const Camera* camera, float seconds, float x)
{
    water_grid_place(water_mesh, x, 0.95f);
    mesh_transform_view(water_mesh, camera, 0);
    water_mesh->flags = 0;
    const uint32_t level = grey(ribbon_reflection_level(seconds));
    for (int32_t t = 0; t < water_mesh->triangle_count; ++t)
        water_mesh->triangles[t].lit_colour = level;
    const float sway = 0.1f * core_sin(CORE_PI * seconds);
    const float scroll = 0.125f * seconds;
    for (int32_t i = 0; i < water_mesh->vertex_count; ++i) {
        MeshVertex* v = water_mesh->vertices + i;
        v->v = 1.1f * v->v + sway;
        v->u = 1.1f * v->u + scroll;
    }
    water_mesh->texture = texture_get(TEXTURE_CORKSCREW_BLUE);
    water_grid_cull(water_mesh, camera);
    draw_mesh_clipped(water_mesh, camera, REFLECTION_FILL);
}

void ribbon_draw(const Camera* camera, const Matrix* model)
{
    ribbon_mesh->model = *model;
    mesh_transform_view(ribbon_mesh, camera, TRANSFORM_NORMALS);
    Vec3 view = {0.0f, 0.0f, 1.0f};
    mesh_light(ribbon_mesh, &view, LIGHT_PER_VERTEX);
    mesh_sphere_map_second(ribbon_mesh);
    ribbon_mesh->texture = texture_get(TEXTURE_CORKSCREW_SEPIA);
    set_bump_texture(texture_get(TEXTURE_CORKSCREW_GRAYDUDV));
    set_environment_texture(texture_get(TEXTURE_INVENV));
    // In the last beats the ribbon passes the camera: the window form still
    // cuts the triangles that cross the near plane.
    draw_mesh(ribbon_mesh, camera, RIBBON_FILL, CLIP_WINDOW);
}

void glints_draw(const Camera* camera, const Matrix* model)
{
    ribbon_glints_build(ribbon_mesh, glint_mesh);
    glint_mesh->model = *model;
    mesh_transform_view(glint_mesh, camera, 0);
    draw_mesh(glint_mesh, camera, GLINT_FILL, CLIP_WINDOW);
}

} // namespace

Mesh* ribbon_mesh_create()
{
    Mesh* ribbon = mesh_create(RIBBON_VERTICES, RIBBON_TRIANGLES);
    if (!ribbon)
        return nullptr;
    ribbon->flags = MESH_TWO_SIDED;
    for (int32_t i = 0; i < RIBBON_PAIRS - 1; ++i) {
        const int32_t a = 2 * i;
        MeshTriangle* t = ribbon->triangles + 2 * i;
        t[0].a = a;
        t[0].b = a + 2;
        t[0].c = a + 3;
        t[1].a = a;
        t[1].b = a + 3;
        t[1].c = a + 1;
        for (int32_t k = 0; k < 2; ++k) {
            t[k].colour = 0xffffffffu;
            t[k].lit_colour = 0xffffffffu;
            t[k].visible = 1;
        }
    }
    return ribbon;
}

Vec3 ribbon_curve(float p, float t)
{
    const float r1 = 3.0f * (core_sin(5.0f * t) + 2.0f);
    const float r2 = 3.0f * (core_sin(0.78f * p + 3.0f * t) * core_sin(1.57f * p + 7.0f * t) *
                                 core_sin(0.39f * p - 5.0f * t) +
                             2.0f);
    const float m = std::fmod(4.0f * t, 8.0f);
    const float blend = m < 4.0f ? m / 4.0f : 1.0f - (m - 4.0f) / 4.0f;
    const float r = r1 + (r2 - r1) * blend;
    return {r * core_cos(4.0f * t), r * core_cos(3.0f * t), r * core_sin(4.0f * t)};
}

void ribbon_build(Mesh* ribbon, float a)
{
    const float p = 6.0f * a;
    const float step = 0.0026041667f * 12.0f;
    Matrix r0;
    matrix_rotation_yxz(&r0, 1.39f * a, 1.25f * a, 1.12f * a);
    for (int32_t e = 0; e < RIBBON_PAIRS; ++e) {
        const float m = 1.0f - static_cast<float>(e) / 384.0f;
        const float t = a + 12.0f * m;
        Matrix r1, r;
        matrix_rotation_yxz(&r1, 0.39f * t + 0.78f, 0.48f * t + 0.39f, 0.27f * t + 1.57f);
        matrix_multiply(&r0, &r1, &r);
        const Vec3 c0 = ribbon_curve(p, t);
        const Vec3 c1 = ribbon_curve(p, t + step);
        Vec3 p0, p1;
        transform_point(&r, &c0, &p0);
        transform_point(&r, &c1, &p1);

        // Across the curve: its direction crossed with the way out from the centre.
        Vec3 d, out, f, q, s;
        vec3_sub(&p1, &p0, &d);
        vec3_add(&p1, &p0, &out);
        vec3_normalize(&d, &f);
        vec3_normalize(&out, &q);
        vec3_cross(&f, &q, &s);
        const float wave =
            0.5f * core_sin(0.57f * m + CORE_PI * t) * core_sin(6.28f * a + CORE_PI * m) + 0.5f;
        const float w = 1.25f * core_pow(wave, 4.0f) + 0.25f;
        vec3_scale(&s, w, &s);

        MeshVertex* v = ribbon->vertices + 2 * e;
        v[0].x = p1.x - s.x;
        v[0].y = p1.y - s.y;
        v[0].z = p1.z - s.z;
        v[1].x = p1.x + s.x;
        v[1].y = p1.y + s.y;
        v[1].z = p1.z + s.z;
        v[0].u = v[1].u = 32.0f * m;
        v[0].v = 0.25f;
        v[1].v = 0.5f;
    }
    mesh_compute_normals(ribbon);
}

float ribbon_camera_x(int32_t n, float b)
{
    if (n < RIBBON_SLIDE_END)
        return 5.0f;
    return 5.0f + 3.0f * core_pow(core_sin(0.25f * CORE_PI * b), 3.0f);
}

void ribbon_model(int32_t n, float b, float fr, Matrix* out)
{
    if (n == 143 || n == 159)
        matrix_rotation_y(out, -0.25f * CORE_PI * (1.0f - fr));
    else if (n >= RIBBON_TURN_START)
        matrix_rotation_y(out, 0.25f * CORE_PI * static_cast<float>(n - RIBBON_TURN_START));
    else
        matrix_identity(out);
    if (n % 4 == 1) {
        const float k = 1.0f - 0.25f * core_pow(core_sin(CORE_PI * b), 32.0f);
        for (int32_t c = 0; c < 3; ++c)
            out->m[4 + c] *= k;
    }
    if (n >= RIBBON_SLIDE_END) {
        if (n % 4 == 0)
            out->m[14] -= 4.0f * fr * fr;
        else if (n % 4 == 3)
            out->m[12] -= 4.0f * fr * fr;
    } else {
        out->m[12] = 18.0f - 18.0f * (b - 132.0f) / 4.0f;
    }
    if (n >= RIBBON_TURN_START) {
        const float c = (b - 161.0f) / 3.0f;
        for (int32_t k = 0; k < 3; ++k) {
            out->m[k] *= 1.0f + 0.85f * c;
            out->m[4 + k] *= 1.0f - 0.75f * c;
            out->m[8 + k] *= 1.0f + 0.85f * c;
        }
        out->m[13] = -9.0f * c;
    }
}

int32_t ribbon_glints_build(const Mesh* ribbon, Mesh* glints)
{
    int32_t count = 0;
    for (int32_t i = 0; i + 1 < ribbon->vertex_count && count < RIBBON_GLINT_MAX; i += 2) {
        const float c = std::fabs(ribbon->normals[6 * i + 5]);
        if (!(c > 0.75f))
            continue;
        const MeshVertex* v = ribbon->vertices + i;
        const Vec3 middle = {(v[0].x + v[1].x) / 2.0f, (v[0].y + v[1].y) / 2.0f, (v[0].z + v[1].z) / 2.0f};
        const float l = (c - 0.75f) / 0.25f;
        Vec3 corners[4];
        glint_square(&middle, 0.125f + l, middle.z - 0.25f, corners);
        glint_write(glints, count, corners, l);
        ++count;
    }
    glint_mesh_set_count(glints, count);
    return count;
}

int32_t ribbon_reflection_level(float seconds)
{
    return float_to_int(core_floor(127.0f * (0.25f * core_sin(0.5f * CORE_PI * seconds + 0.39f) + 0.75f)));
}

int32_t ribbon_blur_beat(int32_t n)
{
    return (n & 2) != 0 ? 1 : 0;
}

void ribbon_free()
{
    mesh_free(water_mesh);
    mesh_free(ribbon_mesh);
    mesh_free(glint_mesh);
    water_mesh = nullptr;
    ribbon_mesh = nullptr;
    glint_mesh = nullptr;
    water_grid_sky_free(&sky);
}

int32_t ribbon_load()
{
    for (int32_t row : used_rows)
        if (!texture_get(row)) {
            report_texture(row);
            ribbon_free();
            return 1;
        }
    ribbon_mesh = ribbon_mesh_create();
    glint_mesh = glint_mesh_create(RIBBON_GLINT_MAX, texture_get(TEXTURE_FLARES));
    water_mesh = water_grid_create(texture_get(TEXTURE_CORKSCREW_BLUE));
    if (!ribbon_mesh || !glint_mesh || !water_mesh ||
        water_grid_sky_prepare(&sky, texture_get(TEXTURE_RIBBONS_BG)) != 0) {
        std::fprintf(stderr, "ribbon: out of memory for the ribbon, glint and water meshes or the sky\n");
        ribbon_free();
        return 1;
    }
    ribbon_mesh->texture = texture_get(TEXTURE_ENVIGOLDEN);
    return 0;
}

void ribbon_render(const SceneFrame& frame)
{
    if (!ribbon_mesh || !glint_mesh || !water_mesh)
        return;
    const float seconds = static_cast<float>(frame.seconds);
    const int32_t n = frame.beat_index;
    const float b = frame.beat;
    const float fr = frame.beat_fraction;

    // 1. Camera and light.
    Camera camera;
    const float x = ribbon_camera_x(n, b);
    camera_place(&camera, frame, x);
    Vec3 slope = {0.0f, 1.0f, 1.0f};
    Vec3 light;
    vec3_normalize(&slope, &light);

    // 2. The water.
    water_grid_draw(water_mesh, &camera, &light, seconds, x, &swell, 0);

    // 3-5. The ribbon's shape and placement.
    ribbon_build(ribbon_mesh, seconds / 4.0f);
    Matrix model;
    ribbon_model(n, b, fr, &model);

    // 6-8. Its shadow, the reflection over the water, the sky.
    water_grid_shadow_draw(ribbon_mesh, &camera, &model, shadow_plane, shadow_light);
    reflection_draw(&camera, seconds, x);
    water_grid_sky_draw(&sky);

    // 9-10. The ribbon and its glints.
    ribbon_draw(&camera, &model);
    glints_draw(&camera, &model);
}

void ribbon_finish(const SceneFrame& frame)
{
    // 11. The bands, over the whole screen.
    if (ribbon_mesh && glint_mesh && water_mesh && ribbon_blur_beat(frame.beat_index))
        water_grid_bands_blur(frame.beat, 420, blur_columns);
}
