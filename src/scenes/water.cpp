// Sphere over water (beats 100-131): a bump-mapped sphere, twisted, waved and
// rippled every frame, bounces above an environment-mapped rippling water
// grid, throws a multiplied planar shadow and sheds additive sparkles from the
// faces that look at the viewer; a sky picture over the horizon, a zoom-out
// until beat 108 and sliding row blurs. Relies on the clock, the texture
// table, meshes from objects, deformers, lighting, mesh drawing and the 2D
// operations; the sparkle quads, the water grid and the shadow cast on it come
// from the shared billboard and water_grid modules.
#include "scenes/kit.h"
#include "scenes/scenes.h"
#include "scenes/queued.h"
#include "scene/billboard.h"
#include "scenes/water_parts.h"

#include "core/core.h"
#include "core/frame.h"
#include "image/image.h"
#include "raster/raster.h"
#include "scene/deform.h"
#include "scene/lighting.h"
#include "scene/mesh.h"
#include "scene/mesh_load.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace
{

const FillMode SPHERE_FILL = FILL_TEXTURE | FILL_DEPTH | FILL_SECOND_TEXTURE | FILL_DOT3;
const FillMode SPARKLE_FILL = FILL_FLAT | FILL_TEXTURE | FILL_DEPTH | FILL_ADD;

const char* const SPHERE_PATH = "data\\sphere.lwo";

// The shadow plane y = -2 under the sphere and the point light above it.
const float shadow_plane[4] = {0.0f, 1.0f, 0.0f, 2.0f};
const float shadow_light[4] = {0.0f, 30.0f, 0.0f, 1.0f};

Mesh* sphere_mesh = nullptr;
Mesh* water_mesh = nullptr;
Mesh* sparkle_mesh = nullptr;
WaterSky sky = {nullptr, nullptr, 0};

// The ordinary clipped drawing, or no clipping at all from beat 108 on.
void draw_clipped_until_zoomed(Mesh* mesh, const Camera* camera, FillMode mode, int32_t n)
{
    if (n >= WATER_ZOOM_END)
        draw_mesh(mesh, camera, mode, 0);
    else
        draw_mesh_clipped(mesh, camera, mode);
}

void camera_place(Camera* camera, const SceneFrame& frame, float x, float fov)
{
    camera_look(camera, frame, {x, 0.0f, 18.0f}, {x, 0.0f, 17.0f}, 1.0f, 256.0f, fov);
}

void sphere_draw(const Camera* camera, int32_t n)
{
    // Normals only: the tangent-space lighting reads the object tangents
    // through the normal matrix, never the transformed ones.
    mesh_transform_view(sphere_mesh, camera, TRANSFORM_NORMALS);
    mesh_compute_tangents(sphere_mesh); // the buffer exists since the load
    mesh_offset_second_uv(sphere_mesh, &camera->eye.x);
    Vec3 view = {0.0f, 0.0f, 1.0f};
    mesh_light_inverted(sphere_mesh, &view, LIGHT_TANGENT);
    sphere_mesh->texture = texture_get(TEXTURE_TUNNEL_COLOR);
    set_bump_texture(texture_get(TEXTURE_SKYDOT3));
    set_environment_texture(texture_get(TEXTURE_STONE_TILES_12_256X));
    set_offset_texture(texture_get(TEXTURE_COSINE_RAMP));
    draw_clipped_until_zoomed(sphere_mesh, camera, SPHERE_FILL, n);
}

void sparkles_draw(const Camera* camera, int32_t n)
{
    water_sparkles_build(sphere_mesh, sparkle_mesh);
    mesh_transform_view(sparkle_mesh, camera, 0); // flat colours: no normals needed
    draw_clipped_until_zoomed(sparkle_mesh, camera, SPARKLE_FILL, n);
}

} // namespace

const WaterSwell WATER_SWELL = {3.0f, 5.0f, 1.5f, -13.5f, -0.1f};

float water_camera_x(float b)
{
    return core_pow(core_sin(0.25f * CORE_PI * b), 5.0f) - 1.5f;
}

void water_sphere_deform(Mesh* sphere, float seconds)
{
    const float r = std::fmod(seconds, 2.0f);
    const float q = 0.5f * core_sin(CORE_PI * r / 2.0f) + 0.5f;
    const float d = 0.5f * CORE_PI * seconds;
    const float f = 0.25f * CORE_PI * seconds + 0.78f;

    TwistParams twist = {3, {core_sin(d), core_sin(f), core_cos(d)}, 2.0f, 1.57f * q};
    deform_twist(sphere, &twist);
    twist = {3, {1.5f * core_cos(d), 1.5f * core_cos(f), 1.5f * core_sin(d)}, 2.0f, -1.57f * (1.0f - q)};
    deform_twist(sphere, &twist);

    const float tri = r < 1.0f ? r : 1.0f - (r - 1.0f);
    WaveParams wave = {DEFORM_AXIS_X, 1, {0.0f, 0.0f, 0.0f}, 0.25f * tri, 1.0f, CORE_PI * seconds, 0.0f};
    deform_wave(sphere, &wave);

    const float a = 0.5f * (1.0f - tri);
    RippleParams ripple = {DEFORM_AXIS_X,
                           {0.0f, 1.25f * core_sin(seconds / 2.0f), 1.25f * core_cos(seconds / 2.0f)},
                           a,
                           a,
                           0.8f,
                           0.78f * seconds,
                           0.5f,
                           1.0f,
                           0.0f};
    deform_ripple(sphere, &ripple);
    // The deformers read positions only and a normal pass rewrites every
    // normal and plane from the positions: one pass at the end gives what a
    // pass after each deformer would.
    mesh_compute_normals(sphere);
}

WaterZoom water_zoom(int32_t n, float b)
{
    if (n >= WATER_ZOOM_END)
        return {90.0f, water_camera_x(b)};
    const float z6 = core_pow((b - 100.0f) / 8.0f, 6.0f);
    return {45.0f * (1.0f + z6), water_camera_x(b) * z6};
}

void water_sphere_model(float seconds, int32_t n, float b, Matrix* out)
{
    matrix_rotation_yxz(out, CORE_PI * core_sin(seconds / 4.0f), 0.78f * seconds, 0.0f);
    out->m[12] = 0.0f;
    out->m[13] = -0.125f * core_pow(core_sin(CORE_PI * (b + 0.5f)), 16.0f);
    const float s = core_sin(0.25f * CORE_PI * b + 0.5f);
    out->m[14] = s * s - 15.0f;
    if (n % 2 != 0) {
        const float k = 1.0f + 0.125f * core_pow(core_sin(2.0f * CORE_PI * b), 32.0f);
        for (int32_t r = 0; r < 3; ++r)
            for (int32_t c = 0; c < 3; ++c)
                out->m[4 * r + c] *= k;
    }
}

int32_t water_sparkles_build(const Mesh* sphere, Mesh* sparkles)
{
    const Vec3 across = {1.0f, 0.0f, 0.0f};
    const Vec3 up = {0.0f, 1.0f, 0.0f};
    int32_t count = 0;
    for (int32_t i = 0; i < sphere->vertex_count && count < WATER_SPARKLE_MAX; ++i) {
        const float z = sphere->normals[6 * i + 5];
        if (!(z > 0.75f))
            continue;
        const MeshVertex& s = sphere->vertices[i];
        const Vec3 position = {s.x, s.y, s.z};
        Vec3 p;
        transform_point(&sparkles->model, &position, &p);
        p.z -= 0.125f;
        const float g = (z - 0.75f) / 0.25f;
        MeshVertex* v = sparkles->vertices + 4 * count;
        billboard_quad(&across, &up, &p, 0.03125f * g + 0.03125f, v);
        const uint32_t colour = grey(float_to_int(g * 255.0f));
        for (int32_t k = 0; k < 4; ++k) {
            v[k].z = p.z;
            v[k].u = BILLBOARD_UV[k][0];
            v[k].v = BILLBOARD_UV[k][1];
            v[k].colour = colour;
        }
        MeshTriangle* t = sparkles->triangles + 2 * count;
        for (int32_t k = 0; k < 2; ++k) {
            t[k].colour = colour;
            t[k].lit_colour = colour;
        }
        ++count;
    }
    sparkles->vertex_count = 4 * count;
    sparkles->triangle_count = 2 * count;
    matrix_identity(&sparkles->model);
    return count;
}

int32_t water_blur_beat(int32_t n)
{
    return (n & 2) != 0 ? 1 : 0;
}

void water_free()
{
    mesh_free(sparkle_mesh);
    mesh_free(sphere_mesh);
    mesh_free(water_mesh);
    water_grid_sky_free(&sky);
    sparkle_mesh = nullptr;
    sphere_mesh = nullptr;
    water_mesh = nullptr;
}

int32_t water_load()
{
    sparkle_mesh = mesh_create(4 * WATER_SPARKLE_MAX, 2 * WATER_SPARKLE_MAX);
    if (!sparkle_mesh) {
        std::fprintf(stderr, "water: out of memory for the sparkle mesh\n");
        water_free();
        return 1;
    }
    sphere_mesh = mesh_load(SPHERE_PATH);
    if (!sphere_mesh) {
        std::fprintf(stderr, "water: cannot load %s\n", mesh_load_failure());
        water_free();
        return 1;
    }
    water_mesh = water_grid_create(texture_get(TEXTURE_CORKSCREW_BLUE));
    if (!water_mesh) {
        std::fprintf(stderr, "water: out of memory for the water grid\n");
        water_free();
        return 1;
    }

    const float plane_u[4] = {0.5f, 0.0f, 0.0f, -0.25f};
    const float plane_v[4] = {0.0f, 0.5f, 0.0f, -0.25f};
    mesh_uv_from_planes(sphere_mesh, plane_u, plane_v);
    // The tangent buffer is made here, once: the frames only refill it.
    if (mesh_save_vertices(sphere_mesh) != 0 || !mesh_compute_tangents(sphere_mesh)) {
        std::fprintf(stderr, "water: out of memory for the sphere of %s\n", SPHERE_PATH);
        water_free();
        return 1;
    }

    if (water_grid_sky_prepare(&sky, texture_get(TEXTURE_RIBBONS_BG)) != 0) {
        std::fprintf(stderr, "water: out of memory for the sky\n");
        water_free();
        return 1;
    }

    sparkle_mesh->texture = texture_get(TEXTURE_CIRCLE_PARTICLE);
    sparkle_mesh->flags = MESH_TWO_SIDED;
    billboard_triangles(sparkle_mesh, WATER_SPARKLE_MAX);

    return 0;
}

void water_render(const SceneFrame& frame)
{
    if (!sphere_mesh || !water_mesh || !sparkle_mesh)
        return;
    const float seconds = static_cast<float>(frame.seconds);
    const int32_t n = frame.beat_index;
    const float b = frame.beat;

    // 1-2. The water's camera and the light.
    Camera camera;
    const float x = water_camera_x(b);
    camera_place(&camera, frame, x, 90.0f);
    letterbox_window(frame);
    Vec3 slope = {0.0f, 1.0f, 1.0f};
    Vec3 light;
    vec3_normalize(&slope, &light);

    // 3-4. Water, then the sky over its horizon.
    water_grid_draw(water_mesh, &camera, &light, seconds, x, &WATER_SWELL, MESH_TWO_SIDED);
    water_grid_sky_draw(&sky);

    // 5-6. The sphere from its rest shape, deformed anew (here, so that the
    // helper draws the water's rows meanwhile).
    mesh_restore_vertices(sphere_mesh);
    water_sphere_deform(sphere_mesh, seconds);

    // 7-8. The sphere's placement; the zoom until beat 108.
    Matrix model;
    water_sphere_model(seconds, n, b, &model);
    sparkle_mesh->model = model;
    if (n < WATER_ZOOM_END) {
        const WaterZoom zoom = water_zoom(n, b);
        camera_place(&camera, frame, zoom.eye_x, zoom.fov);
    }

    // 9-11. Shadow, sphere, sparkles.
    water_grid_shadow_draw(sphere_mesh, &camera, &model, shadow_plane, shadow_light);
    sphere_mesh->model = model;
    sphere_draw(&camera, n);
    sparkles_draw(&camera, n);

    // 12. The bands.
    if (water_blur_beat(n))
        water_grid_bands_blur(b, 230, queued_blur);
}
