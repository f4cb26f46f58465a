// Light tunnel (beats 76-99): the camera flies through a winding textured
// tunnel lit by two moving point lights, shown as glowing sprites; 96 pairs of
// dust sprites spiral along the wall; from beat 80 a bump-mapped sphere flies
// in from the far end and wobbles. Relies on the clock, the texture table,
// meshes from objects, deformers, lighting, mesh drawing and the shared
// billboard quads.
#include "scenes/kit.h"
#include "scenes/scenes.h"
#include "scene/billboard.h"
#include "scenes/tunnel_parts.h"

#include "core/core.h"
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

enum {
    RING_COUNT = 48,
    RING_VERTICES = 25, // 24 segments; vertex 24 closes the ring with other texture coordinates
    DUST_COUNT = 96,    // particles, two sprites each
    LIGHT_COUNT = 2,
};

constexpr FillMode FILL_WALL = FILL_GOURAUD | FILL_TEXTURE | FILL_DEPTH; // the ring colours are the light
constexpr FillMode FILL_DUST = FILL_FLAT | FILL_TEXTURE | FILL_DEPTH | FILL_ADD;
constexpr FillMode FILL_LIGHT_SPRITE = FILL_TEXTURE | FILL_DEPTH | FILL_ADD;
constexpr FillMode FILL_BUMPED = FILL_TEXTURE | FILL_DEPTH | FILL_SECOND_TEXTURE | FILL_DOT3;

constexpr float TUNNEL_NEAR = 1.0f;
constexpr float TUNNEL_FAR = 532.0f;
constexpr float LIGHT_FALLOFF = 0.00016436556f; // bits 0x392c598b
constexpr float LIGHT_SPRITE_HALF = 16.0f;

const char* const sphere_path = "data\\sphere.lwo";

Mesh* tunnel_mesh = nullptr;
Mesh* dust_mesh = nullptr;
Mesh* light_sprite_mesh = nullptr;
Mesh* sphere_mesh = nullptr;

// cos f and sin f of the ring angles f = 2 pi q / 24, made once at load.
float ring_cos[24];
float ring_sin[24];

// A sprite quad facing down the tunnel, 2 half wide, centred on (x, y, z).
void quad_place(MeshVertex* v, float x, float y, float z, float half, uint32_t colour)
{
    const Vec3 centre = {x, y, z};
    billboard_quad(&BILLBOARD_Y, &BILLBOARD_X, &centre, half, v);
    for (int32_t k = 0; k < 4; ++k) {
        v[k].u = BILLBOARD_UV[k][0];
        v[k].v = BILLBOARD_UV[k][1];
        v[k].colour = colour;
    }
}

void ring_triangles(Mesh* mesh)
{
    MeshTriangle* t = mesh->triangles;
    for (int32_t i = 0; i < RING_COUNT - 1; ++i) {
        for (int32_t j = 0; j < RING_VERTICES - 1; ++j) {
            const int32_t a = RING_VERTICES * i + j;
            t[0].a = a;
            t[0].b = a + RING_VERTICES + 1;
            t[0].c = a + 1;
            t[1].a = a;
            t[1].b = a + RING_VERTICES;
            t[1].c = a + RING_VERTICES + 1;
            for (int32_t k = 0; k < 2; ++k) {
                t[k].colour = 0xffffffffu;
                t[k].visible = 1;
            }
            t += 2;
        }
    }
}

void light_sprites_place(const TunnelLight lights[LIGHT_COUNT])
{
    for (int32_t i = 0; i < LIGHT_COUNT; ++i)
        quad_place(light_sprite_mesh->vertices + 4 * i, lights[i].x, lights[i].y, lights[i].z,
                   LIGHT_SPRITE_HALF, 0xffffffffu);
}

// The rings along the path, lit per vertex; ring 0 places the camera's eye and
// target in x and y (their depth is set afterwards). The walls are shaded by
// these colours alone, so the rings need no normals (nor does the dust).
void tunnel_rings(float a, const TunnelLight lights[LIGHT_COUNT], Camera* camera)
{
    for (int32_t p = 0; p < RING_COUNT; ++p) {
        const float zr = 512.0f * static_cast<float>(p) / 48.0f;
        const float t = zr + a;
        float px, py;
        tunnel_path(t, &px, &py);
        if (p == 0) {
            camera->eye.x = -px;
            camera->eye.y = -py;
            camera->target.x = -0.99f * px;
            camera->target.y = -py;
        }
        const float wave = core_sin(t / 64.0f);
        const float v = 16.0f * static_cast<float>(p) / 48.0f + a / 128.0f;
        MeshVertex* ring = tunnel_mesh->vertices + RING_VERTICES * p;
        for (int32_t q = 0; q < RING_VERTICES; ++q) {
            // Vertex 24 lies exactly on vertex 0, so the seam has no crack.
            const float c = ring_cos[q % 24], s = ring_sin[q % 24];
            MeshVertex& vx = ring[q];
            vx.x = (c - s) * 32.0f + px;
            vx.y = (s + c) * 32.0f + py;
            vx.z = zr;
            vx.u = wave + 8.0f * (1.0f - static_cast<float>(q) / 24.0f) + a / 128.0f;
            vx.v = v;
            vx.colour = tunnel_light_colour(lights, vx.x, vx.y, vx.z, 0.1f, 0.1f);
        }
    }
}

// Dust pairs on opposite sides of the wall, sized by the path parameter; the
// second sprite takes the first one's light.
void tunnel_dust(float a, const TunnelLight lights[LIGHT_COUNT])
{
    for (int32_t i = 0; i < DUST_COUNT; ++i) {
        const float zd = 384.0f * static_cast<float>(i) / 96.0f + 4.0f;
        const float t = zd + a;
        float px, py;
        tunnel_path(t, &px, &py);
        float s = core_sin(t / 32.0f), c = core_cos(t / 32.0f);
        const float x0 = 24.0f * (c - s) + px, y0 = 24.0f * (c + s) + py;
        const float q0 = 3.0f + 6.0f * (0.5f * core_sin(2.0f * CORE_PI * t / 32.0f) + 0.5f);
        const uint32_t colour = tunnel_light_colour(lights, x0, y0, zd, 0.1f, 0.25f);
        s = core_sin(t / 32.0f + CORE_PI);
        c = core_cos(t / 32.0f + CORE_PI);
        const float x1 = 24.0f * (c - s) + px, y1 = 24.0f * (c + s) + py;
        const float q1 = 3.0f + 6.0f * (0.5f * core_sin(7.225663f * t / 32.0f + CORE_PI) + 0.5f);
        quad_place(dust_mesh->vertices + 8 * i, x0, y0, zd, q0, colour);
        quad_place(dust_mesh->vertices + 8 * i + 4, x1, y1, zd, q1, colour);
        for (int32_t k = 0; k < 4; ++k)
            dust_mesh->triangles[4 * i + k].lit_colour = colour;
    }
}

void camera_finish(Camera* camera, const SceneFrame& frame)
{
    const Vec3 eye = {camera->eye.x, camera->eye.y, 8.0f};
    const Vec3 target = {camera->target.x, camera->target.y, 7.0f};
    camera_look(camera, frame, eye, target, TUNNEL_NEAR, TUNNEL_FAR, 90.0f);
}

void draw_flat(Mesh* mesh, const Camera* camera, FillMode mode)
{
    matrix_identity(&mesh->model);
    mesh_transform_view(mesh, camera, 0);
    draw_mesh_clipped(mesh, camera, mode);
}

void sphere_draw(const Camera* camera)
{
    sphere_mesh->texture = texture_get(TEXTURE_TUNNEL_COLOR);
    set_bump_texture(texture_get(TEXTURE_SKYDOT3));
    set_environment_texture(texture_get(TEXTURE_CORKSCREW_GRAY));
    set_offset_texture(texture_get(TEXTURE_COSINE_RAMP));
    draw_mesh(sphere_mesh, camera, FILL_BUMPED, CLIP_WINDOW);
}

// One line naming what could not be loaded (for a file: the path opened and why).
int32_t load_failed(const char* what)
{
    std::fprintf(stderr, "tunnel: cannot load %s\n", what);
    tunnel_free();
    return 1;
}

} // namespace

void tunnel_path(float z, float* x, float* y)
{
    *x = 32.0f * core_cos(2.0f * CORE_PI * z / 256.0f) + 4.0f * core_cos(9.424778f * z / 92.0f + 0.78f);
    *y = 16.0f * core_sin(2.0f * CORE_PI * z / 128.0f) + 4.0f * core_sin(9.424778f * z / 92.0f + 0.78f);
}

void tunnel_lights(float seconds, float a, TunnelLight lights[2])
{
    const float c = 0.6f * seconds;
    lights[0].z = 32.0f * core_sin(c) + 72.0f;
    lights[1].z = 64.0f * core_cos(c) + 192.0f;
    tunnel_path(lights[0].z + a, &lights[0].x, &lights[0].y);
    tunnel_path(lights[1].z + a, &lights[1].x, &lights[1].y);
    const float d = 1.39f * seconds;
    lights[0].x += 24.0f * core_cos(d);
    lights[0].y += 24.0f * core_sin(d);
    lights[1].x += 24.0f * core_sin(d + 1.57f);
    lights[1].y += 24.0f * core_cos(d + 1.57f);
    lights[0].k = LIGHT_FALLOFF;
    lights[1].k = LIGHT_FALLOFF;
}

uint32_t tunnel_light_colour(const TunnelLight lights[2], float x, float y, float z, float floor0,
                             float floor1)
{
    const float floors[2] = {floor0, floor1};
    uint32_t grey_level[2];
    for (int32_t i = 0; i < 2; ++i) {
        const float dx = x - lights[i].x, dy = y - lights[i].y, dz = z - lights[i].z;
        float intensity = 1.0f - lights[i].k * (dx * dx + dy * dy + dz * dz);
        if (intensity < floors[i])
            intensity = floors[i];
        grey_level[i] = grey(float_to_int(intensity * 255.0f));
    }
    return colour_add_saturate(grey_level[0], grey_level[1]);
}

float tunnel_sphere_depth(int32_t n, float b, float seconds)
{
    if (n >= 84)
        return 24.0f + 32.0f * (0.5f * core_sin(0.78f * seconds) + 0.5f);
    return 320.0f - 296.0f * (b - 80.0f) / 4.0f;
}

TunnelWobble tunnel_wobble(float b)
{
    const float d = 1.5f * std::fmod(b, 4.0f);
    if (d < 3.0f) {
        float e = 1.0f;
        if (d < 1.0f)
            e = d;
        else if (d == 2.0f)
            e = 0.0f;
        else if (d > 2.0f)
            e = 1.0f - (d - 2.0f);
        return {0, e};
    }
    float e = 1.0f;
    if (d < 4.0f)
        e = d - 3.0f;
    else if (d > 5.0f)
        e = 1.0f - (d - 5.0f);
    return {1, e};
}

namespace
{

void sphere_ripple(Mesh* sphere, float seconds, float envelope)
{
    const float amplitude = 2.0f * envelope * 0.125f;
    const WaveParams waves[3] = {
        {DEFORM_AXIS_X,
         1,
         {core_sin(0.134f * CORE_PI * seconds), 0.0f, 0.0f},
         amplitude,
         1.0f,
         CORE_PI * seconds,
         0.0f},
        {DEFORM_AXIS_Y,
         2,
         {0.0f, core_sin(0.016f * CORE_PI * seconds + 0.78f), 0.0f},
         amplitude,
         0.8f,
         CORE_PI * seconds,
         0.0f},
        {DEFORM_AXIS_Z,
         0,
         {0.0f, 0.0f, core_sin(0.125f * CORE_PI * seconds + 0.39f)},
         amplitude,
         0.96f,
         CORE_PI * seconds,
         0.0f},
    };
    // Each wave reads only positions, so the normals of the first two waves
    // would be overwritten unread: one recomputation after the last gives
    // the same normals.
    for (const WaveParams& wave : waves)
        deform_wave(sphere, &wave);
    mesh_compute_normals(sphere);
}

void sphere_bulge(Mesh* sphere, float seconds, float e)
{
    const float h = seconds / 2.0f;
    const RippleParams ripples[3] = {
        {DEFORM_AXIS_X,
         {0.0f, 1.25f * core_sin(h), 1.25f * core_cos(h)},
         0.5f * e,
         0.5f * e,
         0.8f,
         0.78f * seconds,
         0.5f,
         1.0f,
         0.0f},
        {DEFORM_AXIS_Y,
         {1.3f * core_cos(h + 1.57f), 0.0f, 1.3f * core_sin(h + 1.57f)},
         0.65f * e,
         0.65f * e,
         0.9f,
         0.4f * seconds + 0.78f,
         0.5f,
         1.0f,
         0.0f},
        {DEFORM_AXIS_Z,
         {1.5f * core_sin(h + 0.78f), 1.5f * core_cos(h + 0.78f), 0.0f},
         0.6f * e,
         0.6f * e,
         0.7f,
         0.6f * seconds + 0.39f,
         0.5f,
         1.0f,
         0.0f},
    };
    for (const RippleParams& ripple : ripples)
        deform_ripple(sphere, &ripple);
    mesh_compute_normals(sphere);
}

} // namespace

void tunnel_sphere_pose(Mesh* sphere, float seconds, int32_t n, float b, const Camera* camera)
{
    const float a = 32.0f * seconds;
    mesh_restore_vertices(sphere);
    const TunnelWobble wobble = tunnel_wobble(b);
    if (wobble.bulge)
        sphere_bulge(sphere, seconds, wobble.envelope);
    else
        sphere_ripple(sphere, seconds, wobble.envelope);
    const float plane_u[4] = {0.5f, 0.0f, 0.0f, -0.5f};
    const float plane_v[4] = {0.0f, 0.5f, 0.0f, -0.5f};
    mesh_uv_from_planes(sphere, plane_u, plane_v);

    const float z = tunnel_sphere_depth(n, b, seconds);
    float x, y;
    tunnel_path(z + a, &x, &y);
    Matrix scale, turn;
    matrix_scale(&scale, 16.0f, 16.0f, 16.0f);
    matrix_rotation_yxz(&turn, 0.0f, 0.0f, 0.0f);
    matrix_multiply(&scale, &turn, &sphere->model);
    sphere->model.m[12] = 0.25f * x;
    sphere->model.m[13] = 0.25f * y;
    sphere->model.m[14] = z;

    mesh_transform_view(sphere, camera, TRANSFORM_NORMALS | TRANSFORM_TANGENTS);
    mesh_compute_tangents(sphere); // the buffer exists since the load: this only refills it
    Vec3 light = {0.0f, 0.0f, 1.0f};
    mesh_light(sphere, &light, LIGHT_TANGENT);
    mesh_sphere_map_second(sphere);
}

void tunnel_free()
{
    mesh_free(sphere_mesh);
    mesh_free(tunnel_mesh);
    mesh_free(dust_mesh);
    mesh_free(light_sprite_mesh);
    sphere_mesh = nullptr;
    tunnel_mesh = nullptr;
    dust_mesh = nullptr;
    light_sprite_mesh = nullptr;
}

int32_t tunnel_load()
{
    const int32_t needed[] = {TEXTURE_CORKSCREW_SEPIA, TEXTURE_POINTLIGHT, TEXTURE_PARTICLE2,
                              TEXTURE_TUNNEL_COLOR,    TEXTURE_SKYDOT3,    TEXTURE_CORKSCREW_GRAY,
                              TEXTURE_COSINE_RAMP};
    for (int32_t index : needed) {
        if (!texture_get(index)) {
            const char* path = texture_table_path(index);
            return load_failed(path ? path : "the texture table's cosine ramp");
        }
    }
    sphere_mesh = mesh_load(sphere_path);
    if (!sphere_mesh)
        return load_failed(mesh_load_failure());
    tunnel_mesh = mesh_create(RING_COUNT * RING_VERTICES, 2 * (RING_COUNT - 1) * (RING_VERTICES - 1));
    dust_mesh = mesh_create(8 * DUST_COUNT, 4 * DUST_COUNT);
    light_sprite_mesh = mesh_create(4 * LIGHT_COUNT, 2 * LIGHT_COUNT);
    if (!tunnel_mesh || !dust_mesh || !light_sprite_mesh) {
        std::fprintf(stderr, "tunnel: out of memory for the tunnel meshes\n");
        tunnel_free();
        return 1;
    }

    const float plane_u[4] = {1.0f, 0.0f, 0.0f, -1.0f};
    const float plane_v[4] = {0.0f, 1.0f, 0.0f, -1.0f};
    mesh_uv_from_planes(sphere_mesh, plane_u, plane_v);
    // The rest pose and the tangent buffer are made here, once; the frames
    // only restore and refill them.
    if (mesh_save_vertices(sphere_mesh) != 0 || mesh_compute_tangents(sphere_mesh) == 0) {
        std::fprintf(stderr, "tunnel: out of memory for %s\n", sphere_path);
        tunnel_free();
        return 1;
    }

    tunnel_mesh->texture = texture_get(TEXTURE_CORKSCREW_SEPIA);
    ring_triangles(tunnel_mesh);
    for (int32_t q = 0; q < 24; ++q) {
        const float f = 2.0f * CORE_PI * static_cast<float>(q) / 24.0f;
        ring_cos[q] = core_cos(f);
        ring_sin[q] = core_sin(f);
    }
    dust_mesh->texture = texture_get(TEXTURE_PARTICLE2);
    dust_mesh->flags = 0;
    billboard_triangles(dust_mesh, 2 * DUST_COUNT);
    light_sprite_mesh->texture = texture_get(TEXTURE_POINTLIGHT);
    light_sprite_mesh->flags = 0;
    billboard_triangles(light_sprite_mesh, LIGHT_COUNT);
    for (int32_t i = 0; i < light_sprite_mesh->triangle_count; ++i)
        light_sprite_mesh->draw_order[i] = i;
    return 0;
}

void tunnel_render(const SceneFrame& frame)
{
    if (!tunnel_mesh)
        return;
    const float seconds = static_cast<float>(frame.seconds);
    const int32_t n = frame.beat_index;
    const float b = frame.beat;
    const float a = 32.0f * seconds;

    // 1. The lights and their sprites.
    TunnelLight lights[LIGHT_COUNT];
    tunnel_lights(seconds, a, lights);
    light_sprites_place(lights);

    // 2. The rings, and the camera in two steps: ring 0 gives eye and target
    // x and y, camera_finish the depths and the rest.
    Camera camera;
    std::memset(&camera, 0, sizeof camera);
    tunnel_rings(a, lights, &camera);
    camera_finish(&camera, frame);

    // 3. The dust.
    tunnel_dust(a, lights);

    // 4. The walls; the sphere from beat 80.
    draw_flat(tunnel_mesh, &camera, FILL_WALL);
    if (n > 79) {
        tunnel_sphere_pose(sphere_mesh, seconds, n, b, &camera);
        sphere_draw(&camera);
    }

    // 5. Dust and light sprites add over them.
    draw_flat(dust_mesh, &camera, FILL_DUST);
    draw_flat(light_sprite_mesh, &camera, FILL_LIGHT_SPRITE);
}
