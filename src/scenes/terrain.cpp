// Terrain scene (beats 268-307): inside a white letterbox the camera circles a
// textured terrain; above it an environment-mapped visualiser ripples out from
// a wandering centre; a chain of up to 240 coloured prisms tumbles along a
// loop, and light rays stream down from the top of the letterbox. Relies on
// the texture table, meshes from objects, the generated tube, the ripple
// deformer, lighting, mesh drawing, the zoom blur and the shared glow module.
#include "scenes/kit.h"
#include "scenes/scenes.h"
#include "scenes/queued.h"
#include "scenes/terrain_parts.h"

#include "core/core.h"
#include "core/frame.h"
#include "image/image.h"
#include "platform/paths.h"
#include "raster/raster.h"
#include "scene/deform.h"
#include "scene/generate.h"
#include "scene/lighting.h"
#include "scene/mesh.h"
#include "scene/mesh_load.h"
#include "scenes/glow.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace
{

constexpr float SCENE_START_SECONDS = 178.66667f; // beat 268 at 90 beats per minute
constexpr float PRISM_STEP = 0.06544985f;         // pi / 48 of chain time between prisms
constexpr float TERRAIN_NEAR = 10.0f;
constexpr float TERRAIN_FAR = 256.0f;
constexpr FillMode FILL_LIT_TEXTURE = FILL_GOURAUD | FILL_TEXTURE | FILL_DEPTH;
constexpr FillMode FILL_PRISM = FILL_FLAT | FILL_DEPTH;
constexpr uint32_t LETTERBOX_WHITE = 0xffffffffu;

const char* const terrain_path = "data\\terrain.lwo";
const char* const visualiser_path = "data\\visualize.lwo";

const uint32_t prism_colours[4] = {0xffffff7fu, 0xffff7f3fu, 0xffff3f1fu, 0xff7f1f00u};

Mesh* terrain_mesh = nullptr;
Mesh* visualiser_mesh = nullptr;
Mesh* prism_mesh = nullptr;
Texture* glow_buffer = nullptr;

// One line naming the file as opened, and why; then everything made so far goes.
int32_t load_failed(const char* path, const char* why)
{
    char native[1024];
    const char* name = path_native(path, native, sizeof native);
    std::fprintf(stderr, "terrain: %s: %s\n", name && *name ? name : path, why);
    terrain_free();
    return 1;
}

// One line naming the object file as opened, and why it could not be loaded.
int32_t object_failed()
{
    std::fprintf(stderr, "terrain: cannot load %s\n", mesh_load_failure());
    terrain_free();
    return 1;
}

int32_t out_of_memory(const char* what)
{
    std::fprintf(stderr, "terrain: out of memory for %s\n", what);
    terrain_free();
    return 1;
}

void letterbox_white()
{
    queued_fill(LETTERBOX_TOP, LETTERBOX_BOTTOM, LETTERBOX_WHITE);
}

// Into camera space with its normals, then lit per vertex.
void transform_and_light(Mesh* mesh, const Camera* camera, const Vec3* light)
{
    mesh_transform_view(mesh, camera, TRANSFORM_NORMALS);
    Vec3 l = *light;
    mesh_light(mesh, &l, LIGHT_PER_VERTEX);
}

void draw_terrain(const Camera* camera, const Vec3* light)
{
    matrix_identity(&terrain_mesh->model);
    transform_and_light(terrain_mesh, camera, light);
    draw_mesh_clipped(terrain_mesh, camera, FILL_LIT_TEXTURE);
}

// The disc ripples out from a centre circling under it; its texture
// coordinates are the sphere map of the rippled normals.
void draw_visualiser(float s, const Camera* camera, const Vec3* light)
{
    mesh_restore_vertices(visualiser_mesh);
    const RippleParams ripple = {.axis = DEFORM_AXIS_Y,
                                 .centre = {3.0f * core_sin(s), 0.0f, 3.0f * core_cos(s)},
                                 .start_weight = 1.5f,
                                 .end_weight = 1.5f,
                                 .frequency = 0.16666667f, // a wavelength of 6
                                 .phase = 0.75f * s,
                                 .decay = 0.25f,
                                 .amplitude = 1.0f,
                                 .angle_offset = 0.0f};
    deform_ripple(visualiser_mesh, &ripple);
    mesh_compute_normals(visualiser_mesh);
    matrix_scale(&visualiser_mesh->model, 2.0f, 2.0f, 2.0f);
    visualiser_mesh->model.m[13] = 16.0f;
    transform_and_light(visualiser_mesh, camera, light);
    mesh_sphere_map(visualiser_mesh);
    draw_mesh_clipped(visualiser_mesh, camera, FILL_LIT_TEXTURE);
}

// The chain: prism i sits pi/48 of chain time ahead of prism i - 1, all of
// them one mesh drawn again with another model and colour.
void prism_trail(float s, const Vec3* light, const Camera* camera)
{
    const int32_t count = terrain_prism_count(s);
    float t = s / 4.0f;
    for (int32_t i = 0; i < count; ++i) {
        terrain_prism_model(t, &prism_mesh->model);
        const uint32_t colour = prism_colours[i % 4];
        for (int32_t k = 0; k < prism_mesh->triangle_count; ++k)
            prism_mesh->triangles[k].colour = colour;
        mesh_transform_view(prism_mesh, camera, TRANSFORM_PLANES);
        Vec3 l = *light;
        mesh_light(prism_mesh, &l, LIGHT_PER_TRIANGLE);
        draw_mesh_clipped(prism_mesh, camera, FILL_PRISM);
        t += PRISM_STEP;
    }
}

// Rays from the top centre of the letterbox: the half-size copy streaked
// towards its top middle and added back over the picture.
void rays()
{
    glow_rays(glow_buffer, GLOW_WIDTH / 2, 0, 5);
}

} // namespace

float terrain_scene_time(float seconds)
{
    return seconds - SCENE_START_SECONDS;
}

int32_t terrain_prism_count(float s)
{
    const float k = 32.0f * s;
    if (!(k > 0.0f))
        return 0;
    if (k >= static_cast<float>(TERRAIN_PRISMS))
        return TERRAIN_PRISMS;
    return static_cast<int32_t>(k);
}

void terrain_camera(const SceneFrame& frame, float s, Camera* camera)
{
    const float r = 90.0f * (0.4f * core_sin(s / 2.0f) + 0.6f);
    const Vec3 eye = {r * core_sin(s / 8.0f), -28.0f, r * core_cos(s / 8.0f)};
    const float r2 = 30.0f * (0.4f * core_sin(0.78f * s + 0.78f) + 0.6f);
    const Vec3 target = {r2 * core_sin(s / 2.0f + 0.78f), -8.0f, r2 * core_cos(s / 2.0f + 0.78f)};
    camera_look(camera, frame, eye, target, TERRAIN_NEAR, TERRAIN_FAR, 45.0f);
}

void terrain_light(const Camera* camera, Vec3* light)
{
    Matrix inverse, turn;
    matrix_inverse(&camera->view, &inverse);
    matrix_transpose(&inverse, &turn);
    const Vec3 direction = {0.0f, 0.5f, -1.0f};
    Vec3 seen;
    transform_point(&turn, &direction, &seen);
    vec3_normalize(&seen, light);
}

void terrain_prism_model(float t, Matrix* out)
{
    matrix_rotation_yxz(out, t, 2.1f * t, 3.2f * t);
    const float a = CORE_PI * t + 0.78f;
    out->m[12] = 8.0f * core_cos(a) + 32.0f * core_sin(1.2f * t);
    out->m[13] = 16.0f - 8.0f * core_sin(a) + 4.0f * core_cos(0.63661975f * t) + 0.5f;
    out->m[14] = 8.0f * core_sin(a) + 32.0f * core_cos(1.2f * t);
}

void terrain_free()
{
    mesh_free(terrain_mesh);
    terrain_mesh = nullptr;
    mesh_free(visualiser_mesh);
    visualiser_mesh = nullptr;
    mesh_free(prism_mesh);
    prism_mesh = nullptr;
    texture_free(glow_buffer);
    glow_buffer = nullptr;
}

int32_t terrain_load()
{
    for (int32_t index : {TEXTURE_SUMMER, TEXTURE_ENVIGOLDEN}) {
        if (!texture_get(index))
            return load_failed(texture_table_path(index), "the texture is not loaded");
    }
    terrain_mesh = mesh_load(terrain_path);
    if (!terrain_mesh)
        return object_failed();
    visualiser_mesh = mesh_load(visualiser_path);
    if (!visualiser_mesh)
        return object_failed();
    prism_mesh = mesh_create_tube(5, 2, 1.0f, 1.0f);
    if (!prism_mesh)
        return out_of_memory("the prism");
    glow_buffer = glow_create();
    if (!glow_buffer)
        return out_of_memory("the glow buffer");

    const float terrain_u[4] = {1.0f / 64.0f, 0.0f, 0.0f, 0.0f};
    const float terrain_v[4] = {0.0f, 0.0f, 1.0f / 64.0f, 0.0f};
    mesh_uv_from_planes(terrain_mesh, terrain_u, terrain_v);
    terrain_mesh->texture = texture_get(TEXTURE_SUMMER);

    const float visualiser_u[4] = {0.16666667f, 0.0f, 0.0f, 0.0f};
    const float visualiser_v[4] = {0.0f, 0.0f, 0.16666667f, 0.0f};
    mesh_uv_from_planes(visualiser_mesh, visualiser_u, visualiser_v);
    visualiser_mesh->texture = texture_get(TEXTURE_ENVIGOLDEN);
    if (mesh_save_vertices(visualiser_mesh) != 0)
        return out_of_memory("the visualiser's rest pose");
    return 0;
}

void terrain_render(const SceneFrame& frame)
{
    if (!terrain_mesh)
        return;
    const float s = terrain_scene_time(static_cast<float>(frame.seconds));

    // 1. The white letterbox, the camera and its window, the light.
    letterbox_white();
    Camera camera;
    terrain_camera(frame, s, &camera);
    letterbox_window(frame);
    Vec3 light;
    terrain_light(&camera, &light);

    // 2. The terrain, the visualiser, the prism trail.
    draw_terrain(&camera, &light);
    draw_visualiser(s, &camera, &light);
    prism_trail(s, &light, &camera);
}

void terrain_finish(const SceneFrame&)
{
    // 3. Rays over the drawn frame.
    if (terrain_mesh)
        rays();
}
