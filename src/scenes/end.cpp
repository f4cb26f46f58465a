// End scene (beats 361-396): a picture fades in over eleven beats inside the
// letterbox while 32 colour-keyed angel sprites drift down, swaying and
// spinning; from beat 372 the layered end title comes in from the far plane,
// from 378 with its spinning ring and its two lines closing in. Relies on
// the clock, the texture table, meshes from objects, lighting, mesh drawing
// and the 2D blend.
#include "scenes/kit.h"
#include "scenes/end_parts.h"
#include "scenes/scenes.h"
#include "scene/billboard.h"
#include "scenes/queued.h"

#include "core/core.h"
#include "core/frame.h"
#include "image/image.h"
#include "platform/paths.h"
#include "raster/raster.h"
#include "scene/lighting.h"
#include "scene/mesh.h"
#include "scene/show_beats.h"
#include "scene/mesh_load.h"

#include <cmath>
#include <cstdio>

namespace
{

const char* const end_object_path = "data\\end.lwo";

constexpr int32_t END_LAYERS_NEEDED = 4, FIRST_BEAT = END_BEATS.first, END_BEAT = END_BEATS.end;

// The scene's first beat in music seconds (90 beats a minute), where the
// sprites start to fall, and the most steps they take before the scene ends.
constexpr double FIRST_SECONDS = beat_seconds(FIRST_BEAT);
constexpr int64_t MOST_STEPS = static_cast<int64_t>(END_BEAT - FIRST_BEAT) * SCENE_STEPS_PER_BEAT;

struct Sprite {
    float x, y, z, speed;
};

// Corners of every sprite quad, with the texture coordinates they carry.
const Vec3 sprite_corners[4] = {
    {8.0f, 8.0f, 0.0f}, {-8.0f, 8.0f, 0.0f}, {-8.0f, -8.0f, 0.0f}, {8.0f, -8.0f, 0.0f}};
const float sprite_uv[4][2] = {{1.0f, 0.0f}, {0.0f, 0.0f}, {0.0f, 1.0f}, {1.0f, 1.0f}};

Mesh** end_layers = nullptr;
int32_t end_layer_count = 0;
Mesh* sprite_mesh = nullptr;
Sprite sprites[END_SPRITE_COUNT];
float sprite_start_y[END_SPRITE_COUNT]; // the heights drawn at load, where a replay starts
int64_t sprite_steps = 0;               // fall steps taken since the scene's first beat

} // namespace

int32_t end_fade_alpha(int32_t n, float b)
{
    if (n >= 372)
        return 255;
    const float alpha = std::floor(255.0f * (b - 361.0f) / 11.0f);
    if (!(alpha > 0.0f))
        return 0;
    return alpha >= 255.0f ? 255 : static_cast<int32_t>(alpha);
}

EndTitle end_title(int32_t n, float b)
{
    EndTitle t = {0, 0.0f, 3.5f, -b / 4.0f};
    if (n < 372)
        return t;
    if (n <= 377) {
        t.layers = 2;
        t.z = -54.0f * (b - 372.0f) / 6.0f;
        return t;
    }
    t.layers = 4;
    t.z = -54.0f;
    t.spread = n <= 387 ? 3.5f - (b - 378.0f) / 10.0f : 2.5f;
    return t;
}

int64_t end_sprite_steps(double seconds)
{
    const double steps = std::floor((seconds - FIRST_SECONDS) * END_STEPS_PER_SECOND);
    if (!(steps > 0.0))
        return 0;
    return steps < static_cast<double>(MOST_STEPS) ? static_cast<int64_t>(steps) : MOST_STEPS;
}

float end_sprite_fall(float y, float speed)
{
    y = static_cast<float>(y - speed / static_cast<double>(END_STEPS_PER_SECOND));
    if (y < -32.0f)
        y += 64.0f;
    return y;
}

float end_sprite_height(int32_t i)
{
    return i >= 0 && i < END_SPRITE_COUNT ? sprites[i].y : 0.0f;
}

namespace
{

// Brings the sprites' heights to the music time: as many fixed steps as the
// music moved on since the last frame; a jump back starts the fall again.
void sprites_fall(float seconds)
{
    const int64_t target = end_sprite_steps(seconds);
    if (target < sprite_steps) {
        for (int32_t i = 0; i < END_SPRITE_COUNT; ++i)
            sprites[i].y = sprite_start_y[i];
        sprite_steps = 0;
    }
    const int64_t steps = target - sprite_steps;
    for (Sprite& s : sprites)
        for (int64_t k = 0; k < steps; ++k)
            s.y = end_sprite_fall(s.y, s.speed);
    sprite_steps = target;
}

// Each quad swings sideways and in depth and turns about the vertical axis.
void sprites_update(float seconds)
{
    sprites_fall(seconds);
    for (int32_t i = 0; i < END_SPRITE_COUNT; ++i) {
        const Sprite& s = sprites[i];
        const float f = static_cast<float>(i) / 31.0f;
        const Vec3 p = {core_sin(seconds + f) + s.x, s.y, core_sin(seconds + 0.39f + 1.4f * f) + s.z};
        Matrix turn;
        matrix_rotation_y(&turn, s.speed * f + seconds + s.speed);
        MeshVertex* v = sprite_mesh->vertices + 4 * i;
        for (int32_t k = 0; k < 4; ++k) {
            Vec3 corner;
            transform_point(&turn, &sprite_corners[k], &corner);
            v[k].x = corner.x + p.x;
            v[k].y = corner.y + p.y;
            v[k].z = corner.z + p.z;
        }
    }
}

void sprites_draw(const Camera* camera)
{
    matrix_identity(&sprite_mesh->model);
    mesh_transform_view(sprite_mesh, camera, 0);
    draw_mesh(sprite_mesh, camera, FILL_TEXTURE | FILL_DEPTH | FILL_COLORKEY, CLIP_WINDOW);
}

void layer_draw(Mesh* layer, const Camera* camera, Vec3* light)
{
    mesh_transform_view(layer, camera, TRANSFORM_PLANES);
    mesh_light(layer, light, LIGHT_PER_TRIANGLE);
    draw_mesh(layer, camera, FILL_FLAT | FILL_DEPTH, CLIP_WINDOW);
}

// Layer 0 the title, layer 1 the ring turning about the view axis, layers 2
// and 3 the lines above and below, all at depth z.
void title_draw(const EndTitle& t, const Camera* camera, Vec3* light)
{
    Mesh** layer = end_layers;
    matrix_translation(&layer[0]->model, 0.0f, 0.0f, t.z);
    matrix_rotation_z(&layer[1]->model, t.spin);
    layer[1]->model.m[14] = t.z;
    matrix_translation(&layer[2]->model, 0.0f, t.spread, t.z);
    matrix_translation(&layer[3]->model, 0.0f, -t.spread, t.z);
    for (int32_t i = 0; i < t.layers; ++i)
        layer_draw(layer[i], camera, light);
}


// The sprite quads: two triangles each, white, the texture's corners fixed;
// places drawn from the random generator in the order x, y, z, speed.
void sprites_build()
{
    sprite_mesh->flags = MESH_TWO_SIDED;
    sprite_mesh->texture = texture_get(TEXTURE_ANGEL_SPRITE);
    billboard_triangles(sprite_mesh, END_SPRITE_COUNT);
    for (int32_t i = 0; i < END_SPRITE_COUNT; ++i) {
        const int32_t a = 4 * i;
        for (int32_t k = 0; k < 4; ++k) {
            MeshVertex& v = sprite_mesh->vertices[a + k];
            v.u = sprite_uv[k][0];
            v.v = sprite_uv[k][1];
            v.colour = 0xffffffffu;
        }
    }
    for (int32_t i = 0; i < END_SPRITE_COUNT; ++i) {
        Sprite& s = sprites[i];
        s.x = 56.0f * next_random();
        s.y = 8.0f * (0.5f * next_random() + 0.5f) + 32.0f;
        s.z = 32.0f * next_random();
        s.speed = 8.0f * (0.4f * next_random() + 0.6f);
        sprite_start_y[i] = s.y;
    }
    sprite_steps = 0;
}

// The file name as it was opened, for the one line a failed load prints.
const char* native_name(const char* path, char* buffer, size_t size)
{
    const char* name = path_native(path, buffer, size);
    return name ? name : path;
}

} // namespace

void end_free()
{
    mesh_free_layers(&end_layers, &end_layer_count);
    mesh_free(sprite_mesh);
    sprite_mesh = nullptr;
}

int32_t end_load()
{
    sprite_mesh = mesh_create(4 * END_SPRITE_COUNT, 2 * END_SPRITE_COUNT);
    if (!sprite_mesh) {
        std::fprintf(stderr, "end: out of memory for the sprite mesh\n");
        end_free();
        return 1;
    }
    char name[1024];
    if (mesh_load_layers(end_object_path, &end_layers, &end_layer_count) != 0) {
        std::fprintf(stderr, "end: cannot load %s\n", mesh_load_failure());
        end_layers = nullptr;
        end_layer_count = 0;
        end_free();
        return 1;
    }
    if (end_layer_count < END_LAYERS_NEEDED) {
        std::fprintf(stderr, "end: %s has %d layers, needs %d\n",
                     native_name(end_object_path, name, sizeof name), end_layer_count, END_LAYERS_NEEDED);
        end_free();
        return 1;
    }
    sprites_build();
    return 0;
}

void end_render(const SceneFrame& frame)
{
    if (!sprite_mesh || !end_layers)
        return;
    const float seconds = static_cast<float>(frame.seconds);
    const int32_t n = frame.beat_index;
    const float b = frame.beat;
    Vec3 light = {0.0f, 0.0f, 1.0f};

    // 1. The picture fading in over the scene beneath.
    queued_blend_image(texture_get(TEXTURE_ANGEL), 0, LETTERBOX_TOP, end_fade_alpha(n, b), BLEND_ALPHA);

    // 2. Camera and letterbox.
    Camera camera;
    camera_look(&camera, frame, {0.0f, 0.0f, 64.0f}, {0.0f, 0.0f, 63.0f}, 1.0f, 64.0f, 45.0f);
    letterbox_window(frame);

    // 3. The falling sprites, then the end title's layers.
    sprites_update(seconds);
    sprites_draw(&camera);
    const EndTitle title = end_title(n, b);
    if (title.layers > 0)
        title_draw(title, &camera, &light);
}

void end_advance(double seconds)
{
    if (!sprite_mesh)
        return;
    sprites_fall(static_cast<float>(seconds)); // the render's time, a float
}
