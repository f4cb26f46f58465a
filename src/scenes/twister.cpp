// Twister column (beats 164-195): a tall environment-mapped tube writhing
// along a winding centre line that scrolls up through it, its radius pulsing
// in two travelling waves, swaying sideways over a background picture with a
// multiplied shadow on the back wall and additive sparkles from its lit side;
// on odd beats 28 additive horizontal slices stand in for the tube. Relies on
// the clock, the texture table, lighting, mesh drawing and the 2D operations.
#include "scenes/kit.h"
#include "scene/billboard.h"
#include "scenes/glints.h"
#include "scenes/queued.h"
#include "scenes/scenes.h"
#include "scenes/twister_parts.h"

#include "core/core.h"
#include "core/frame.h"
#include "image/image.h"
#include "raster/raster.h"
#include "scene/lighting.h"
#include "scene/mesh.h"

#include <cstdio>
#include <cstring>

namespace
{

constexpr float THREE_PI = 9.424778f;

enum : uint32_t {
    WHITE = 0xffffffffu,
    SLICE_COLOUR = 0x3f3f3f3fu,
    SHADOW_COLOUR = 0xffb3b3b3u,
};
constexpr FillMode FILL_SHADOW = FILL_FLAT | FILL_DEPTH | FILL_MULTIPLY;
constexpr FillMode FILL_TUBE = FILL_GOURAUD | FILL_TEXTURE | FILL_DEPTH;
constexpr FillMode FILL_SLICES = FILL_FLAT | FILL_TEXTURE | FILL_DEPTH | FILL_ADD;
constexpr FillMode FILL_SPARKLES = FILL_FLAT | FILL_TEXTURE | FILL_ADD;

// The back wall z = 44 and the direction the shadow falls along.
const float shadow_plane[4] = {0.0f, 0.0f, -1.0f, 44.0f};
const float shadow_light[4] = {100.0f, 0.0f, 64.0f, 0.0f};

// Texture coordinates of a quad's corners, in the order its triangles index them.

Texture* background = nullptr;
Mesh* twister_mesh = nullptr;
Mesh* sparkle_mesh = nullptr;
Mesh* ring_mesh = nullptr;

// Per segment k of a ring: cos g - sin g and sin g + cos g, g = 2 pi k / 64.
struct RingTable {
    float across[TWISTER_RING_VERTICES];
    float depth[TWISTER_RING_VERTICES];
};

const RingTable& ring_table()
{
    static const RingTable table = [] {
        RingTable t;
        for (int32_t k = 0; k < TWISTER_RING_VERTICES; ++k) {
            const float g = 2.0f * CORE_PI * static_cast<float>(k) / 64.0f;
            const float c = core_cos(g);
            const float s = core_sin(g);
            t.across[k] = c - s;
            t.depth[k] = s + c;
        }
        return t;
    }();
    return table;
}

} // namespace

TwisterPoint twister_path(float t)
{
    const float p1 = THREE_PI * t / 256.0f;
    const float p2 = THREE_PI * t / 128.0f + 0.78f;
    const float p3 = 2.0f * CORE_PI * t / 64.0f + 0.39f;
    TwisterPoint p;
    p.x = 16.0f * core_cos(p1) + 8.0f * core_cos(p2) + 4.0f * core_cos(p3);
    p.z = 16.0f * core_sin(p1) + 8.0f * core_sin(p2) + 4.0f * core_sin(p3);
    return p;
}

Mesh* twister_tube_create()
{
    Mesh* mesh = mesh_create(TWISTER_TUBE_VERTICES, TWISTER_TUBE_TRIANGLES);
    if (!mesh)
        return nullptr;
    MeshTriangle* t = mesh->triangles;
    for (int32_t i = 0; i < TWISTER_RINGS - 1; ++i) {
        for (int32_t j = 0; j < 64; ++j) {
            const int32_t e = TWISTER_RING_VERTICES * i + j;
            t[0].a = e;
            t[0].b = e + 1;
            t[0].c = e + 66;
            t[1].a = e;
            t[1].b = e + 66;
            t[1].c = e + 65;
            for (int32_t k = 0; k < 2; ++k) {
                t[k].colour = WHITE;
                t[k].visible = 1;
            }
            t += 2;
        }
    }
    return mesh;
}

void twister_build(Mesh* tube, float seconds, float a)
{
    const RingTable& table = ring_table();
    const float wave = seconds / 32.0f;
    const float scroll = seconds / 128.0f;
    for (int32_t i = 0; i < TWISTER_RINGS; ++i) {
        const float h = static_cast<float>(i) / 48.0f;
        const float y = 150.0f - 300.0f * h;
        const float t = y + a;
        const float amplitude = 8.0f * (0.5f * core_sin(wave + 4.0f * CORE_PI * h) + 0.5f);
        const float bend = core_sin(t / 64.0f);
        const float twist = CORE_PI * bend;
        const TwisterPoint centre = twister_path(t);
        MeshVertex* v = tube->vertices + TWISTER_RING_VERTICES * i;
        // The ring's two waves of sines through the array calls (the same bits).
        float first[TWISTER_RING_VERTICES], second[TWISTER_RING_VERTICES];
        for (int32_t k = 0; k < TWISTER_RING_VERTICES; ++k) {
            const float m = static_cast<float>(k) / 64.0f;
            first[k] = 8.0f * CORE_PI * m + twist;
            second[k] = wave + twist + 6.0f * CORE_PI * m;
        }
        core_sin_array(first, first, TWISTER_RING_VERTICES);
        core_sin_array(second, second, TWISTER_RING_VERTICES);
        for (int32_t k = 0; k < TWISTER_RING_VERTICES; ++k) {
            const float m = static_cast<float>(k) / 64.0f;
            const float r = 16.0f + amplitude * first[k] + amplitude * second[k];
            v[k].x = table.across[k] * r + centre.x;
            v[k].y = y;
            v[k].z = table.depth[k] * r + centre.z;
            v[k].u = bend + 2.0f * m + scroll;
            v[k].v = 4.0f * h - scroll;
            v[k].colour = WHITE;
        }
    }
    mesh_compute_normals(tube);
}

void twister_rings(Mesh* rings, float seconds, float a)
{
    const float bob = 32.0f * core_sin(0.5f * CORE_PI * seconds + 0.78f);
    for (int32_t c = 0; c < TWISTER_SLICES; ++c) {
        const float y = 150.0f - 300.0f * static_cast<float>(c) / 28.0f + bob;
        const TwisterPoint centre = twister_path(y + a);
        MeshVertex* v = rings->vertices + 4 * c;
        // A level square, 128 wide, about the centre line.
        const Vec3 middle = {centre.x, y, centre.z};
        billboard_quad(&BILLBOARD_Z, &BILLBOARD_X, &middle, 64.0f, v);
        for (int32_t k = 0; k < 4; ++k) {
            v[k].u = BILLBOARD_UV[k][0];
            v[k].v = BILLBOARD_UV[k][1];
            v[k].colour = SLICE_COLOUR;
        }
        // Both halves of the slice carry the same colour.
        rings->triangles[2 * c].lit_colour = SLICE_COLOUR;
        rings->triangles[2 * c + 1].lit_colour = SLICE_COLOUR;
    }
}

int32_t twister_sparkles(Mesh* sparkles, const Mesh* tube, const Vec3* light)
{
    int32_t count = 0;
    for (int32_t i = 0; i < tube->vertex_count && count < TWISTER_SPARKLES; ++i) {
        const float* n = tube->normals + 6 * i;
        const float d = n[3] * light->x + n[4] * light->y + n[5] * light->z;
        if (!(d > 0.75f))
            continue;
        const float g = (d - 0.75f) / 0.25f;
        // Half a unit out along the object-space normal, facing the viewer.
        const MeshVertex& p = tube->vertices[i];
        const Vec3 centre = {p.x + 0.5f * n[0], p.y + 0.5f * n[1], p.z + 0.5f * n[2]};
        Vec3 corners[4];
        glint_square(&centre, 2.0f + 2.0f * g, centre.z, corners);
        const uint32_t colour = grey(float_to_int(g * 255.0f));
        glint_quad(sparkles, count, corners, BILLBOARD_UV, colour);
        sparkles->triangles[2 * count].lit_colour = colour;
        sparkles->triangles[2 * count + 1].lit_colour = colour;
        ++count;
    }
    glint_mesh_set_count(sparkles, count);
    return count;
}

float twister_sway(float b)
{
    return 60.0f + 40.0f * core_sin(1.57f * (b - 72.0f));
}

int32_t twister_slice_beat(int32_t n)
{
    return n & 1;
}

namespace
{


// The tube flattened onto the back wall along the light, multiplying the picture.

void free_meshes()
{
    mesh_free(twister_mesh);
    mesh_free(sparkle_mesh);
    mesh_free(ring_mesh);
    twister_mesh = nullptr;
    sparkle_mesh = nullptr;
    ring_mesh = nullptr;
}

} // namespace

void twister_free()
{
    free_meshes();
    background = nullptr;
}

int32_t twister_load()
{
    const int32_t used[3] = {TEXTURE_TWISTER_BG, TEXTURE_ENVIGOLDEN, TEXTURE_CIRCLE_PARTICLE};
    for (int32_t index : used) {
        if (!texture_get(index)) {
            std::fprintf(stderr, "twister: %s is not loaded\n", texture_table_path(index));
            twister_free();
            return 1;
        }
    }
    background = texture_get(TEXTURE_TWISTER_BG);
    twister_mesh = twister_tube_create();
    sparkle_mesh = glint_mesh_create(TWISTER_SPARKLES, texture_get(TEXTURE_CIRCLE_PARTICLE));
    ring_mesh = glint_mesh_create(TWISTER_SLICES, texture_get(TEXTURE_CIRCLE_PARTICLE));
    if (!twister_mesh || !sparkle_mesh || !ring_mesh) {
        std::fprintf(stderr, "twister: out of memory for the meshes\n");
        twister_free();
        return 1;
    }
    twister_mesh->texture = texture_get(TEXTURE_ENVIGOLDEN);
    sparkle_mesh->flags = 0; // one-sided: the sparkles face the viewer
    glint_mesh_set_count(ring_mesh, TWISTER_SLICES);
    return 0;
}

void twister_render(const SceneFrame& frame)
{
    if (!twister_mesh)
        return;
    const float seconds = static_cast<float>(frame.seconds);
    const int32_t n = frame.beat_index;
    const float b = frame.beat;
    const float a = 48.0f * seconds;

    // 1. Light towards the viewer, sideways sway.
    Vec3 light = {0.0f, 0.0f, 1.0f};
    Matrix model;
    matrix_translation(&model, twister_sway(b), 0.0f, 0.0f);

    // 2-3. Camera, depth planes, background in the letterbox; the window
    // holds the picture's rows only, so that the two-sided additive slices
    // never light the black bars.
    Camera camera;
    camera_look(&camera, frame, {0.0f, 0.0f, 128.0f}, {0.0f, 0.0f, 127.0f}, 1.0f, 532.0f, 90.0f);
    queued_blit_image(background, 0, LETTERBOX_TOP, BLIT_COPY);
    letterbox_window_inside(frame);

    // 4-6. The tube for this moment, its shadow on the back wall.
    twister_build(twister_mesh, seconds, a);
    planar_shadow_draw(twister_mesh, &camera, &model, shadow_plane, shadow_light, SHADOW_COLOUR, FILL_SHADOW,
                       CLIP_WINDOW);

    // 7. Tube lit per vertex and sphere-mapped; the sparkles from its lit side.
    twister_mesh->model = model;
    mesh_transform_view(twister_mesh, &camera, TRANSFORM_NORMALS);
    mesh_light(twister_mesh, &light, LIGHT_PER_VERTEX);
    mesh_sphere_map(twister_mesh);
    twister_sparkles(sparkle_mesh, twister_mesh, &light);

    // 8. Slices on odd beats, the tube itself on even ones.
    if (twister_slice_beat(n)) {
        twister_rings(ring_mesh, seconds, a);
        ring_mesh->model = model;
        mesh_transform_view(ring_mesh, &camera, TRANSFORM_PLANES);
        draw_mesh(ring_mesh, &camera, FILL_SLICES, CLIP_WINDOW);
    } else {
        draw_mesh(twister_mesh, &camera, FILL_TUBE, CLIP_WINDOW);
    }

    // 9. Sparkles add over everything, no depth test.
    sparkle_mesh->model = model;
    mesh_transform_view(sparkle_mesh, &camera, TRANSFORM_PLANES);
    draw_mesh(sparkle_mesh, &camera, FILL_SPARKLES, CLIP_WINDOW);
}
