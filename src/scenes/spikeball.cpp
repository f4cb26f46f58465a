// Spikeball scene (beats 196-227): a bump-mapped spiked ball squeezed by a
// twisting lattice that pumps with the bass and bulged from a turning
// direction; a glossy pipe grows along a motion path around it; flare glints
// on its facing vertices; two light sprites over the background, with rays
// streaming from them over the letterbox. Relies on the clock, the texture
// table, motion files, meshes from objects, deformers, lighting, mesh drawing,
// the 2D operations and the pipe, glint and glow modules.
#include "scenes/kit.h"
#include "scenes/scenes.h"
#include "scenes/queued.h"
#include "scenes/spikeball_parts.h"

#include "core/core.h"
#include "core/frame.h"
#include "image/image.h"
#include "lightwave/lightwave.h"
#include "platform/paths.h"
#include "raster/raster.h"
#include "scene/deform.h"
#include "scene/lighting.h"
#include "scene/mesh.h"
#include "scene/mesh_load.h"
#include "scenes/glints.h"
#include "scenes/glow.h"
#include "scenes/pipe.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{

constexpr float SCENE_START_SECONDS = 130.66667f; // beat 196 at 90 beats per minute
constexpr double METER_STEPS_PER_SECOND = SCENE_STEPS_PER_SECOND;

enum { GLINT_QUADS = 3072, PIPE_SIDES = 8, PIPE_RINGS_PER_SECOND = 16, PATH_CHANNELS = 3 };

const char* const ball_path = "data\\spikeball.lwo";
const char* const motion_path = "data\\spikeball_pipe.mo";

Texture* glow_buffer = nullptr;
Pipe* pipe = nullptr;
Mesh* spikeball_mesh = nullptr;
Mesh* glint_mesh = nullptr;
SpectrumMeter bass_meter;
float bass_level = 0.0f;
int64_t bass_step = -1; // the 1/60 s step the meter has been sampled up to

// One line naming the file as opened, and why.
void report(const char* path, const char* why)
{
    char native[1024];
    const char* name = path_native(path, native, sizeof native);
    std::fprintf(stderr, "spikeball: %s: %s\n", name && *name ? name : path, why);
}

// The path envelopes from the motion file into the pipe; 0 on success.
int32_t pipe_load()
{
    MotionEnvelope** envelopes = nullptr;
    int32_t count = 0;
    if (motion_load(motion_path, &envelopes, &count) != 0) {
        std::fprintf(stderr, "spikeball: cannot load %s\n", mesh_load_failure());
        return 1;
    }
    if (count < PATH_CHANNELS) {
        report(motion_path, "needs three channels (x, y, z)");
        motion_free_all(envelopes, count);
        return 1;
    }
    pipe =
        pipe_create(0.0f, 20.0f, PIPE_RINGS_PER_SECOND, PIPE_SIDES, envelopes[0], envelopes[1], envelopes[2]);
    if (!pipe) {
        report(motion_path, "out of memory building the pipe");
        motion_free_all(envelopes, count);
        return 1;
    }
    // The pipe owns the three path channels now; anything beyond them is ours.
    for (int32_t i = PATH_CHANNELS; i < count; ++i)
        motion_free(envelopes[i]);
    std::free(envelopes);
    pipe->caps = 0;
    pipe->v_repeat = 64.0f;
    pipe_set_shape(pipe, 1.0f, 1.0f, 0.0f, 1.0f, 1.0f, 1.0f, 1.125f);
    return 0;
}

// The bass meter advances in fixed 1/60 s steps of music time, so one music
// time gives one shape at any frame rate. A jump back restarts its history.
void bass_update(const SceneFrame& frame)
{
    const int64_t now = static_cast<int64_t>(std::floor(frame.seconds * METER_STEPS_PER_SECOND));
    if (bass_step < 0 || now < bass_step) {
        spectrum_meter_init(&bass_meter);
        bass_meter.band = 1;
        bass_meter.history_length = 4;
        bass_meter.scale = 1.0f;
        bass_meter.offset = -0.5f;
    }
    const int32_t steps = spikeball_meter_steps(bass_step, now, bass_meter.history_length);
    for (int32_t i = 0; i < steps; ++i)
        bass_level = spectrum_meter_sample(&bass_meter, frame.spectrum);
    bass_step = now;
}

void lattice_twist(Lattice* lattice, float seconds)
{
    const Vec3 c = {0.1f * core_sin(0.78f * seconds), 0.5f * core_sin(0.39f * CORE_PI * seconds + 0.78f),
                    0.1f * core_cos(0.78f * seconds)};
    const float a = CORE_PI / 2.0f * core_sin(0.39f * seconds + 0.39f);
    for (Vec3& p : lattice->points) {
        Vec3 d;
        vec3_sub(&p, &c, &d);
        const float phi = a * d.y / 9.0f;
        const float cs = core_cos(phi), sn = core_sin(phi);
        const float x = d.x * cs - d.z * sn;
        const float z = d.x * sn + d.z * cs;
        d.x = x;
        d.z = z;
        vec3_add(&d, &c, &p);
    }
}

void lattice_pump(Lattice* lattice, float seconds, float k)
{
    const Vec3 c = {2.0f * core_sin(0.5f * CORE_PI * seconds + 0.78f), 6.0f * core_sin(seconds),
                    2.0f * core_cos(0.39f * CORE_PI * seconds + 0.78f)};
    for (Vec3& p : lattice->points) {
        Vec3 d;
        vec3_sub(&p, &c, &d);
        float h = std::fabs(d.y / 9.0f);
        if (h < 0.01f)
            h = 0.01f;
        const float w = (k - 1.0f) * h + 1.0f;
        d.x *= w;
        d.z *= w;
        vec3_add(&d, &c, &p);
    }
}

// Lattice squeeze, bulge, then the normals and tangent frames for lighting.
void spikeball_shape(float seconds)
{
    Lattice lattice;
    lattice_reset(&lattice);
    vec3_scale(&lattice.minimum, 9.0f, &lattice.minimum);
    vec3_scale(&lattice.maximum, 9.0f, &lattice.maximum);
    for (Vec3& p : lattice.points)
        vec3_scale(&p, 9.0f, &p);
    lattice_twist(&lattice, seconds);
    lattice_pump(&lattice, seconds, bass_level);
    mesh_restore_vertices(spikeball_mesh);
    deform_lattice(spikeball_mesh, &lattice);

    const float h = seconds / 2.0f;
    Matrix turn;
    matrix_rotation_yxz(&turn, CORE_PI * h, 0.78f * h + 0.39f, 0.39f * h + 1.57f);
    const Vec3 x_axis = {3.0f, 0.0f, 0.0f};
    BulgeParams bulge;
    transform_point(&turn, &x_axis, &bulge.centre);
    vec3_normalize(&bulge.centre, &bulge.direction);
    bulge.radius = 4.0f;
    bulge.amount = 1.75f;
    deform_bulge(spikeball_mesh, &bulge);

    mesh_compute_normals(spikeball_mesh);
    mesh_compute_tangents(spikeball_mesh); // the buffer exists since loading
}

// Two textured squares of 256 pixels turning about (cx, cy), added without depth.
void light_sprites(float seconds, float b, int32_t cx, int32_t cy)
{
    Matrix turn;
    matrix_rotation_z(&turn, seconds);
    const float corners[4][2] = {{1.0f, 1.0f}, {-1.0f, 1.0f}, {-1.0f, -1.0f}, {1.0f, -1.0f}};
    ScreenVertex v[4];
    std::memset(v, 0, sizeof v);
    for (int32_t i = 0; i < 4; ++i) {
        const Vec3 c = {128.0f * corners[i][0], 128.0f * corners[i][1], 0.0f};
        Vec3 p;
        transform_point(&turn, &c, &p);
        v[i].x = p.x + static_cast<float>(cx);
        v[i].y = p.y + static_cast<float>(cy);
        v[i].rhw = 1.0f;
        v[i].u = corners[i][0] > 0.0f ? 1.0f : 0.0f;
        v[i].v = corners[i][1] > 0.0f ? 1.0f : 0.0f;
    }
    const struct {
        int32_t texture;
        float phase;
    } layers[2] = {{TEXTURE_PARTICLE2, b}, {TEXTURE_POINTLIGHT, b + 1.0f}};
    for (const auto& layer : layers) {
        const uint32_t colour = grey(float_to_int(255.0f * (0.5f * core_sin(CORE_PI * layer.phase) + 0.5f)));
        RasterTriangle t[2];
        std::memset(t, 0, sizeof t);
        const int32_t fan[2][3] = {{0, 1, 2}, {0, 2, 3}};
        for (int32_t k = 0; k < 2; ++k) {
            for (int32_t j = 0; j < 3; ++j)
                t[k].v[j] = v[fan[k][j]];
            t[k].flat_colour = colour;
            t[k].flags = 0;
        }
        draw_triangles(t, 2, texture_get(layer.texture), FILL_FLAT | FILL_TEXTURE | FILL_ADD);
    }
}

void place_camera(Camera* camera, const SceneFrame& frame, float b)
{
    const float z = spikeball_camera_z(b);
    camera_look(camera, frame, {0.0f, 0.0f, z}, {0.0f, 0.0f, z - 1.0f}, 1.0f, 192.0f, 45.0f);
    letterbox_window(frame);
}

void draw_ball(const Camera* camera, Vec3* light)
{
    mesh_transform_view(spikeball_mesh, camera, TRANSFORM_NORMALS | TRANSFORM_TANGENTS);
    mesh_offset_second_uv(spikeball_mesh, &camera->eye.x);
    mesh_light(spikeball_mesh, light, LIGHT_TANGENT); // normalises the light
    set_environment_texture(texture_get(TEXTURE_CORKSCREW_GRAY));
    set_bump_texture(texture_get(TEXTURE_CORKSCREW_GRAYDOT3));
    set_offset_texture(texture_get(TEXTURE_COSINE_RAMP));
    draw_mesh(spikeball_mesh, camera, FILL_TEXTURE | FILL_DEPTH | FILL_SECOND_TEXTURE | FILL_DOT3,
              CLIP_WINDOW);
}

// The pipe lives in the ball's space: drawn with the ball's model.view.
void draw_pipe(const Camera* camera, const Vec3* light, float seconds, float b)
{
    const float pulse = core_pow(core_sin(0.5f * CORE_PI * (b + 0.5f)), 48.0f);
    pipe_set_shape(pipe, 1.0f, 1.0f, 0.0f, 1.0f, 1.0f, 1.0f, 0.5f - 0.3f * pulse);
    pipe_grow(pipe, spikeball_pipe_time(seconds));
    Mesh* mesh = pipe->mesh;
    if (mesh->triangle_count == 0)
        return;
    mesh->model = spikeball_mesh->model;
    mesh->normal_matrix = spikeball_mesh->normal_matrix;
    Matrix model_view;
    matrix_multiply(&mesh->model, &camera->view, &model_view);
    mesh_transform(mesh, &model_view, &mesh->normal_matrix, TRANSFORM_NORMALS);
    Vec3 l = *light;
    mesh_light(mesh, &l, LIGHT_PER_VERTEX);
    mesh_light_specular(mesh, light, 2.0f, LIGHT_PER_VERTEX);
    mesh->texture = texture_get(TEXTURE_CORKSCREW_SEPIA);
    draw_mesh(mesh, camera, FILL_GOURAUD | FILL_TEXTURE | FILL_DEPTH, CLIP_WINDOW);
}

// A glint on every ball vertex that faces the light, placed in world space.
void spikeball_glints(const Vec3* light)
{
    const Mesh* ball = spikeball_mesh;
    int32_t count = 0;
    for (int32_t i = 0; i < ball->vertex_count && count < GLINT_QUADS; ++i) {
        const float* n = ball->normals + 6 * i + 3;
        const float d = n[0] * light->x + n[1] * light->y + n[2] * light->z;
        if (!(d > 0.75f))
            continue;
        const MeshVertex& v = ball->vertices[i];
        const Vec3 position = {v.x, v.y, v.z};
        Vec3 p;
        transform_point(&ball->model, &position, &p);
        p.z -= 0.25f;
        const float l = (d - 0.75f) / 0.25f;
        Vec3 corners[4];
        glint_square(&p, 0.125f + 0.45f * l, p.z, corners);
        glint_write(glint_mesh, count, corners, l);
        ++count;
    }
    glint_mesh_set_count(glint_mesh, count);
    matrix_identity(&glint_mesh->model);
}

void rays(int32_t cx, int32_t cy)
{
    int32_t x, y;
    spikeball_ray_centre(cx, cy, &x, &y);
    glow_rays(glow_buffer, x, y, 6);
}

} // namespace

void spikeball_sprite_centre(float b, int32_t* cx, int32_t* cy)
{
    *cx = 557 - float_to_int(8.0f * core_sin(0.5f * CORE_PI * b)) +
          float_to_int(4.0f * core_sin(4.0f * CORE_PI * b + 0.78f));
    *cy = 240 - float_to_int(8.0f * core_cos(0.5f * CORE_PI * b)) +
          float_to_int(4.0f * core_cos(4.0f * CORE_PI * b + 0.78f));
}

void spikeball_ray_centre(int32_t cx, int32_t cy, int32_t* x, int32_t* y)
{
    // Frame row 40 + 2r is buffer row r: the sprite centre in the buffer.
    int32_t bx = cx / 2, by = (cy - GLOW_FIRST_ROW) / 2;
    *x = bx < 0 ? 0 : (bx >= GLOW_WIDTH ? GLOW_WIDTH - 1 : bx);
    *y = by < 0 ? 0 : (by >= GLOW_HEIGHT ? GLOW_HEIGHT - 1 : by);
}

float spikeball_camera_z(float b)
{
    if (b < 202.0f)
        return 24.0f - 12.0f * (1.0f - (b - 196.0f) / 6.0f);
    return 24.0f;
}

int32_t spikeball_jitter_beat(int32_t n)
{
    return n >= 216 || (n >= 196 && (n - 196) % 8 < 4) ? 1 : 0;
}

void spikeball_ball_model(float seconds, int32_t n, float b, float fr, float r, Matrix* out)
{
    matrix_rotation_yxz(out, core_sin(0.5f * seconds + 0.78f) + 0.35f * seconds,
                        0.39f * core_cos(0.8f * seconds + 0.39f), 0.39f * core_sin(0.6f * seconds));
    const float k = (n & 1) ? core_sin(seconds + 0.39f * core_pow(1.0f - fr, 8.0f)) : core_sin(seconds);
    out->m[12] = 5.0f * k + 1.0f;
    if (spikeball_jitter_beat(n)) {
        const float m = std::fmod(b - 196.0f, 4.0f) / 4.0f;
        out->m[14] = -5.0f * (1.0f - m) * (0.25f * r + 0.75f);
    }
}

float spikeball_pipe_time(float seconds)
{
    return seconds - SCENE_START_SECONDS;
}

int32_t spikeball_meter_steps(int64_t last, int64_t now, int32_t cap)
{
    if (last < 0 || now < last)
        return 1;
    const int64_t steps = now - last;
    return steps > cap ? cap : static_cast<int32_t>(steps);
}

void spikeball_free()
{
    texture_free(glow_buffer);
    glow_buffer = nullptr;
    pipe_free(pipe);
    pipe = nullptr;
    mesh_free(spikeball_mesh);
    spikeball_mesh = nullptr;
    mesh_free(glint_mesh);
    glint_mesh = nullptr;
    bass_step = -1;
    bass_level = 0.0f;
}

int32_t spikeball_load()
{
    glow_buffer = glow_create();
    if (!glow_buffer) {
        std::fprintf(stderr, "spikeball: out of memory for the glow buffer\n");
        spikeball_free();
        return 1;
    }
    if (pipe_load() != 0) {
        spikeball_free();
        return 1;
    }
    spikeball_mesh = mesh_load(ball_path);
    if (!spikeball_mesh) {
        std::fprintf(stderr, "spikeball: cannot load %s\n", mesh_load_failure());
        spikeball_free();
        return 1;
    }
    glint_mesh = glint_mesh_create(GLINT_QUADS, texture_get(TEXTURE_FLARES));
    if (!glint_mesh) {
        std::fprintf(stderr, "spikeball: out of memory for the glint mesh\n");
        spikeball_free();
        return 1;
    }
    const float plane_u[4] = {0.5f, 0.0f, 0.0f, -0.25f};
    const float plane_v[4] = {0.0f, 0.5f, 0.0f, -0.25f};
    mesh_uv_from_planes(spikeball_mesh, plane_u, plane_v);
    spikeball_mesh->texture = texture_get(TEXTURE_CORKSCREW_BLUE);
    // The tangent frames are refreshed every frame into a buffer made here.
    mesh_compute_normals(spikeball_mesh);
    if (mesh_save_vertices(spikeball_mesh) != 0 || !mesh_compute_tangents(spikeball_mesh)) {
        report(ball_path, "out of memory for the ball's rest pose");
        spikeball_free();
        return 1;
    }
    bass_step = -1;
    bass_level = 0.0f;
    return 0;
}

void spikeball_render(const SceneFrame& frame)
{
    if (!spikeball_mesh)
        return;
    const float seconds = static_cast<float>(frame.seconds);
    const int32_t n = frame.beat_index;
    const float b = frame.beat;
    const float fr = frame.beat_fraction;
    Vec3 light = {1.0f, 0.0f, 1.0f};

    // 1. Background, the wagon and the light sprites round the sprite centre.
    queued_blit_image(texture_get(TEXTURE_HIPHOP), 0, LETTERBOX_TOP, BLIT_COPY);
    int32_t cx, cy;
    spikeball_sprite_centre(b, &cx, &cy);
    queued_blend_image(texture_get(TEXTURE_WAGON), 462, 226, 80, BLEND_ALPHA);
    light_sprites(seconds, b, cx, cy);

    // 2. Camera and letterbox; the ball's placement, the bass and its shape.
    Camera camera;
    place_camera(&camera, frame, b);
    const float r = spikeball_jitter_beat(n) ? next_random() : 0.0f;
    spikeball_ball_model(seconds, n, b, fr, r, &spikeball_mesh->model);
    bass_update(frame);
    spikeball_shape(seconds);

    // 3. The ball, the pipe, the glints.
    draw_ball(&camera, &light);
    draw_pipe(&camera, &light, seconds, b);
    spikeball_glints(&light);
    mesh_transform_view(glint_mesh, &camera, 0);
    draw_mesh_clipped(glint_mesh, &camera, FILL_FLAT | FILL_TEXTURE | FILL_DEPTH | FILL_ADD);
}

void spikeball_finish(const SceneFrame& frame)
{
    if (!spikeball_mesh)
        return;
    // 4. Rays from the sprite centre over the drawn frame.
    int32_t cx, cy;
    spikeball_sprite_centre(frame.beat, &cx, &cy);
    rays(cx, cy);
}

// Brings the bass meter to the last of `recent` without drawing: a fresh
// meter samples those frames again, each with its own spectrum, as a run
// from the start sampled them (four samples fill the history; eight frames
// of the clock's frame grid hold at least four steps).
void spikeball_advance(const SceneFrame* recent, int32_t count)
{
    if (!spikeball_mesh)
        return;
    bass_step = -1;
    for (int32_t k = 0; k < count; ++k)
        bass_update(recent[k]);
}
