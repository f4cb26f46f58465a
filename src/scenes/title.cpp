// Title scene (beats 0-43): a grey four-layer floor grid in a letterbox, seen
// by a camera that rises and then cuts around the centre on every beat; six
// title objects grow out of the floor, their tops bouncing with the music
// spectrum, each with a black planar shadow; 64 sparks drift with soft
// shadows; block glow on some beats. Relies on the clock, the texture table,
// meshes from objects, lighting, mesh drawing and the 2D operations.
#include "scenes/kit.h"
#include "scenes/scenes.h"
#include "scenes/queued.h"
#include "scene/billboard.h"
#include "scenes/title_parts.h"

#include "core/core.h"
#include "core/frame.h"
#include "image/image.h"
#include "lightwave/lightwave.h"
#include "raster/raster.h"
#include "scene/lighting.h"
#include "scene/mesh.h"
#include "scene/mesh_load.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace
{

enum { LOGO_COUNT = 6, OBJECT_COUNT = 7, GRID = 6, SPARK_COUNT = 64 };
enum : uint32_t {
    SPARK_COLOUR = 0x3fbd7e3fu,
    SPARK_SHADOW_COLOUR = 0x0f2d1e0fu,
    SHADOW_COLOUR = 0xff000000u
};
constexpr FillMode FILL_SOLID = FILL_FLAT | FILL_DEPTH;
constexpr FillMode FILL_SPARK = FILL_FLAT | FILL_TEXTURE | FILL_DEPTH | FILL_ADD;

const char* const object_paths[OBJECT_COUNT] = {
    "data\\tolvenari.lwo", "data\\coproduction.lwo", "data\\vs.lwo",   "data\\dunravel.lwo",
    "data\\presents.lwo",  "data\\event.lwo",        "data\\grid.lwo",
};

struct MeshArray {
    Mesh** meshes;
    int32_t count;
};

struct Spark {
    float x, y, z0, speed;
};

MeshArray objects[OBJECT_COUNT];
Mesh* spark_mesh = nullptr;
Spark spark_table[SPARK_COUNT];

// The shadow plane y = -0.5 and the point light above the floor.
const float shadow_plane[4] = {0.0f, 1.0f, 0.0f, 0.5f};
const float shadow_light[4] = {0.0f, 6.0f, 0.0f, 1.0f};

// The camera height envelope: linear from -10 at 0 s to -6.5 at 3 s, constant outside.
float camera_height(float seconds)
{
    MotionKey keys[2];
    std::memset(keys, 0, sizeof keys);
    keys[0].next = &keys[1];
    keys[1].previous = &keys[0];
    keys[0].time = 0.0f;
    keys[0].value = -10.0f;
    keys[0].shape = 3;
    keys[1].time = 3.0f;
    keys[1].value = -6.5f;
    keys[1].shape = 3;
    MotionEnvelope envelope;
    std::memset(&envelope, 0, sizeof envelope);
    envelope.keys = &keys[0];
    envelope.key_count = 2;
    envelope.pre_behaviour = 1;
    envelope.post_behaviour = 1;
    return envelope_evaluate(&envelope, seconds);
}

// Transform with model.view, light per triangle and draw with depth.
void draw_solid(Mesh* mesh, const Camera* camera, Vec3* light, uint32_t what_lit, int32_t clip)
{
    mesh_transform_view(mesh, camera, what_lit);
    if (light)
        mesh_light(mesh, light, LIGHT_PER_TRIANGLE);
    if (clip < 0)
        draw_mesh_clipped(mesh, camera, FILL_SOLID);
    else
        draw_mesh(mesh, camera, FILL_SOLID, clip);
}

void camera_place(Camera* camera, const SceneFrame& frame, float seconds, int32_t n, float b)
{
    const float height = camera_height(seconds);
    Vec3 eye;
    if (n <= 11) {
        const float z = seconds < 3.0f ? seconds + 3.0f : 6.0f;
        eye = {0.0f, height, z};
    } else {
        float d = n >= 20 ? b - 20.0f : b - 12.0f;
        if (n % 2 == 1)
            d -= 1.0f;
        else if (n % 4 == 2)
            d += 1.0f;
        const float swing = n >= 20 ? 0.39f : 0.78f;
        const float a = swing * core_sin(d);
        const float r = 4.5f - (0.5f * core_sin(d) + 0.5f);
        eye = {r * core_sin(a), height - 2.5f * (0.5f * core_cos(d) + 0.5f), r * core_cos(a)};
    }
    camera_look(camera, frame, eye, {0.0f, 0.0f, 0.0f}, 0.1f, 128.0f, 45.0f);
}

} // namespace

float title_floor_height(int32_t n, float b, float fr)
{
    if (n <= 0)
        return 2.0f - 4.0f * b;
    const float kick = 0.5f * core_pow(1.0f - fr, 8.0f);
    if (n >= 11 && n <= 26)
        return -2.0f - kick;
    if (n >= 28)
        return -2.0f + kick;
    return -2.0f;
}

float title_spark_depth(float z)
{
    if (z < -4.0f)
        return std::fmod(-z, 8.0f) - 4.0f;
    if (z > 4.0f)
        return std::fmod(z, 8.0f) - 4.0f;
    return z;
}

int32_t title_block_glow_beat(int32_t n)
{
    return n > 4 && n < 34 && (n & 2) ? 1 : 0;
}

namespace
{

void draw_floor(const Camera* camera, Vec3* light, float seconds, int32_t n, float b, float fr)
{
    Mesh** grid = objects[GRID].meshes;
    if (n >= 1)
        matrix_identity(&grid[0]->model);
    else
        matrix_scale(&grid[0]->model, 1.0f, 1.0f, 16.0f * (1.0f - b) + 1.0f);
    draw_solid(grid[0], camera, light, TRANSFORM_PLANES, -1);

    const float h = title_floor_height(n, b, fr);
    matrix_translation(&grid[1]->model, 0.0f, h, 0.0f);
    draw_solid(grid[1], camera, light, TRANSFORM_PLANES, -1);
    matrix_rotation_y(&grid[2]->model, seconds * CORE_PI / 4.0f);
    grid[2]->model.m[13] = h;
    draw_solid(grid[2], camera, light, TRANSFORM_PLANES, -1);
    matrix_rotation_y(&grid[3]->model, seconds * CORE_PI / 2.0f);
    grid[3]->model.m[13] = h;
    draw_solid(grid[3], camera, light, TRANSFORM_PLANES, -1);
}

// Tops of the extrusions bounce: the upper half of the vertex list is lifted.
void logo_wobble(const MeshArray& logo, const Matrix* model, float v, float level, const Camera* camera,
                 Vec3* light)
{
    for (int32_t i = 0; i < logo.count; ++i) {
        Mesh* mesh = logo.meshes[i];
        mesh_restore_vertices(mesh);
        const float lift =
            0.25f * core_sin(1.57f * static_cast<float>(i) + level + CORE_PI * v) + 0.25f;
        const int32_t m = mesh->vertex_count;
        for (int32_t j = m / 2 + m % 2; j < m; ++j)
            mesh->vertices[j].y += lift;
        mesh_compute_normals(mesh);
        mesh->model = *model;
        draw_solid(mesh, camera, light, TRANSFORM_PLANES, CLIP_WINDOW);
    }
}

void logo_shadow(const MeshArray& logo, const Matrix* model, const Camera* camera)
{
    for (int32_t i = 0; i < logo.count; ++i)
        planar_shadow_draw(logo.meshes[i], camera, model, shadow_plane, shadow_light, SHADOW_COLOUR, FILL_SOLID,
                           CLIP_WINDOW);
}

// A growing logo: scaled by g in height about the floor, moved to depth z.
void grow(Matrix* model, float g, float z)
{
    matrix_scale(model, 1.0f, g, 1.0f);
    model->m[14] = z;
}

TitleLogo centre_slot(int32_t n, float b, float seconds)
{
    TitleLogo p = {-1, {}, seconds + 1.57f, 2};
    if (n >= 4 && n <= 27) {
        p.object = 2;
        if (n <= 7)
            grow(&p.model, (b - 4.0f) / 4.0f + 0.01f, 0.0f);
        else
            matrix_identity(&p.model);
    } else if (n >= 28) {
        p.object = 4;
        if (n <= 31)
            grow(&p.model, static_cast<float>(n - 28) / 4.0f + 0.01f, 0.0f);
        else
            matrix_identity(&p.model);
    }
    return p;
}

TitleLogo back_slot(int32_t n, float b, float seconds)
{
    TitleLogo p = {-1, {}, seconds, 0};
    if (n >= 8 && n <= 27) {
        p.object = 0;
        if (n <= 11)
            grow(&p.model, (b - 8.0f) / 4.0f + 0.01f, -1.4f);
        else
            matrix_translation(&p.model, 0.0f, 0.0f, -1.4f);
    } else if (n >= 32) {
        p.object = 3;
        if (n <= 35)
            grow(&p.model, static_cast<float>(n - 32) / 4.0f + 0.01f, -1.1f);
        else
            matrix_translation(&p.model, 0.0f, 0.0f, -1.1f);
    }
    return p;
}

TitleLogo front_slot(int32_t n, float b, float seconds)
{
    TitleLogo p = {-1, {}, seconds, 0};
    if (n >= 12 && n <= 27) {
        p.object = 1;
        p.time = seconds + 0.78f;
        p.bin = 1;
        if (n <= 15)
            grow(&p.model, (b - 12.0f) / 4.0f + 0.01f, 1.1f);
        else
            matrix_translation(&p.model, 0.0f, 0.0f, 1.1f);
    } else if (n >= 36) {
        p.object = 5;
        if (n <= 39)
            grow(&p.model, static_cast<float>(n - 36) / 4.0f + 0.1f, 1.1f);
        else
            matrix_translation(&p.model, 0.0f, 0.0f, 1.1f);
    }
    return p;
}

} // namespace

TitleLogo title_logo(int32_t slot, int32_t n, float b, float seconds)
{
    if (slot == TITLE_SLOT_CENTRE)
        return centre_slot(n, b, seconds);
    if (slot == TITLE_SLOT_BACK)
        return back_slot(n, b, seconds);
    return front_slot(n, b, seconds);
}

namespace
{

void draw_logo(const TitleLogo& p, const float* spectrum, const Camera* camera, Vec3* light)
{
    if (p.object < 0)
        return;
    logo_wobble(objects[p.object], &p.model, p.time, spectrum[p.bin], camera, light);
    logo_shadow(objects[p.object], &p.model, camera);
}

void sparks_update(float seconds, int32_t n, float b)
{
    const float a = n <= 3 ? 0.0f : 0.5f * CORE_PI * std::fmod(b, 2.0f);
    for (int32_t i = 0; i < SPARK_COUNT; ++i) {
        const Spark& s = spark_table[i];
        const float z = title_spark_depth(s.z0 + s.speed * seconds);
        const float yq = s.y + 0.25f * core_sin(static_cast<float>(i) / 63.0f + a);
        MeshVertex* v = spark_mesh->vertices + 4 * i;
        // Flat on the floor: spanned by x and z.
        const Vec3 centre = {s.x, yq, z};
        billboard_quad(&BILLBOARD_Z, &BILLBOARD_X, &centre, 0.125f, v);
        for (int32_t k = 0; k < 4; ++k) {
            v[k].u = BILLBOARD_UV[k][0];
            v[k].v = BILLBOARD_UV[k][1];
        }
        MeshTriangle* t = spark_mesh->triangles + 2 * i;
        t[0].lit_colour = SPARK_COLOUR;
        t[1].lit_colour = SPARK_COLOUR;
    }
}

void sparks_draw(const Camera* camera)
{
    matrix_identity(&spark_mesh->model);
    mesh_transform_view(spark_mesh, camera, 0);
    draw_mesh_clipped(spark_mesh, camera, FILL_SPARK);

    // Soft shadows. A spark at or above the light (y >= 6) would be mirrored
    // through it and magnified: it casts no shadow.
    for (int32_t i = 0; i < SPARK_COUNT; ++i) {
        const bool above = spark_mesh->vertices[4 * i].y >= shadow_light[1];
        MeshTriangle* t = spark_mesh->triangles + 2 * i;
        for (int32_t k = 0; k < 2; ++k) {
            t[k].lit_colour = SPARK_SHADOW_COLOUR;
            t[k].visible = above ? 0u : 1u;
        }
    }
    spark_mesh->flags |= MESH_DIVIDE_W;
    Matrix identity, shadow;
    matrix_identity(&identity);
    matrix_planar_shadow(&shadow, shadow_plane, shadow_light);
    matrix_multiply(&identity, &shadow, &spark_mesh->model);
    mesh_transform_view(spark_mesh, camera, 0);
    draw_mesh_clipped(spark_mesh, camera, FILL_SPARK);
    spark_mesh->flags &= ~MESH_DIVIDE_W;
    for (int32_t t = 0; t < spark_mesh->triangle_count; ++t)
        spark_mesh->triangles[t].visible = 1;
}

void letterbox_fill()
{
    queued_fill(LETTERBOX_TOP, LETTERBOX_BOTTOM, 0x91919191u);
}

} // namespace

void title_free()
{
    for (MeshArray& array : objects)
        mesh_free_layers(&array.meshes, &array.count);
    mesh_free(spark_mesh);
    spark_mesh = nullptr;
}

int32_t title_load()
{
    spark_mesh = mesh_create(4 * SPARK_COUNT, 2 * SPARK_COUNT);
    if (!spark_mesh) {
        std::fprintf(stderr, "title: cannot create the spark mesh\n");
        title_free();
        return 1;
    }
    for (int32_t i = 0; i < OBJECT_COUNT; ++i) {
        if (mesh_load_layers(object_paths[i], &objects[i].meshes, &objects[i].count) != 0) {
            std::fprintf(stderr, "title: cannot load %s\n", mesh_load_failure());
            objects[i].meshes = nullptr;
            objects[i].count = 0;
            title_free();
            return 1;
        }
    }
    if (objects[GRID].count < 4) {
        std::fprintf(stderr, "title: %s has %d layers, needs 4\n", object_paths[GRID], objects[GRID].count);
        title_free();
        return 1;
    }
    for (int32_t o = 0; o < LOGO_COUNT; ++o) {
        for (int32_t i = 0; i < objects[o].count; ++i) {
            if (mesh_save_vertices(objects[o].meshes[i]) != 0) {
                std::fprintf(stderr, "title: out of memory saving %s\n", object_paths[o]);
                title_free();
                return 1;
            }
        }
    }
    spark_mesh->texture = texture_get(TEXTURE_CIRCLE_PARTICLE);
    billboard_triangles(spark_mesh, SPARK_COUNT);
    for (Spark& s : spark_table) {
        const float rx = next_random();
        s.x = 4.0f * rx;
        const float ry = next_random();
        s.y = 3.0f * (ry + 1.0f);
        const float rz = next_random();
        s.z0 = 4.0f * rz;
        const float rs = next_random();
        s.speed = 3.0f * rs;
    }
    return 0;
}

void title_render(const SceneFrame& frame)
{
    if (!spark_mesh)
        return;
    const float seconds = static_cast<float>(frame.seconds);
    const int32_t n = frame.beat_index;
    const float b = frame.beat;
    const float fr = frame.beat_fraction;

    // 1. The light from above and behind.
    Vec3 up = {0.0f, 0.15f, 1.0f};
    Vec3 light;
    vec3_normalize(&up, &light);

    // 2. The black bars, the camera and its window.
    letterbox_fill();
    Camera camera;
    camera_place(&camera, frame, seconds, n, b);
    letterbox_window(frame);

    // 3. The floor, then the three logo slots.
    draw_floor(&camera, &light, seconds, n, b, fr);
    for (int32_t slot = TITLE_SLOT_CENTRE; slot <= TITLE_SLOT_FRONT; ++slot)
        draw_logo(title_logo(slot, n, b, seconds), frame.spectrum, &camera, &light);

    // 4. The sparks and their shadows.
    sparks_update(seconds, n, b);
    sparks_draw(&camera);
}

void title_finish(const SceneFrame& frame)
{
    // 5. The glow over bright blocks on its beats.
    if (spark_mesh && title_block_glow_beat(frame.beat_index))
        block_glow(0xa3a3a3a3u);
}
