// Metaballs and flares (beats 44-75): a golden environment-mapped blob of
// nine balls over a full-width picture in the letterbox, refilled, swelling
// and kicked with the beat, travelling in and out; the points just outside
// its surface that face the camera spawn glowing flares that drift away.
// Relies on the field module, the clock, the texture table, the camera and
// mesh drawing, and blit_image.
#include "scenes/kit.h"
#include "scenes/metaball_parts.h"
#include "scenes/queued.h"
#include "scenes/scenes.h"
#include "scene/billboard.h"

#include "core/core.h"
#include "core/frame.h"
#include "image/image.h"
#include "raster/raster.h"
#include "scene/mesh.h"
#include "scene/show_beats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace
{

enum { FIELD_CELLS = 40, FLARE_QUADS = 1024, BALL_COUNT = 9, FIRST_BEAT = METABALL_BEATS.first };
constexpr float FIELD_SIZE = 256.0f;
constexpr float ISO_LEVEL = 1.0f;
constexpr double STEP_SECONDS = SCENE_STEP_SECONDS;
constexpr FillMode FILL_SURFACE = FILL_GOURAUD | FILL_TEXTURE | FILL_DEPTH;
constexpr FillMode FILL_FLARE = FILL_FLAT | FILL_TEXTURE | FILL_DEPTH | FILL_ADD;

// Amplitudes along x, y, z and strength of each ball.
const float ball_table[BALL_COUNT][4] = {
    {64.0f, 0.0f, 64.0f, 6.0f}, {64.0f, 0.0f, -64.0f, 8.0f},  {-64.0f, 0.0f, 64.0f, 5.0f},
    {0.0f, 64.0f, 0.0f, 8.0f},  {0.0f, -64.0f, 0.0f, 6.0f},   {0.0f, 64.0f, -64.0f, 8.0f},
    {0.0f, 64.0f, 64.0f, 7.0f}, {0.0f, -64.0f, -64.0f, 5.0f}, {68.0f, 68.0f, 68.0f, 6.0f},
};

MetaField* meta_field = nullptr;
Mesh* flare_mesh = nullptr;
const Texture* background = nullptr;
const Texture* envmap = nullptr;
float phase_a = 0.0f;
float phase_b = 0.0f;
int64_t last_step = -1; // the last step run; -1 before the first

// The music time, beat and fraction of step k, as the clock derives them.
struct StepTime {
    double music;
    float seconds;
    float b;
    float fr;
    int32_t n;
};

StepTime step_time(int64_t k)
{
    StepTime t;
    t.music = scene_step_seconds(k);
    t.seconds = static_cast<float>(t.music);
    const BeatTime beat = beat_at(t.music);
    t.b = beat.beat;
    t.fr = beat.fraction;
    t.n = beat.index;
    return t;
}

void field_refill()
{
    field_scale(meta_field, 0.85f);
    Matrix turn;
    matrix_rotation_yxz(&turn, phase_a, phase_a * 0.9f + phase_b, phase_b * 0.7f + phase_a * 0.8f);
    for (int32_t j = 0; j < BALL_COUNT; j++) {
        const float* row = ball_table[j];
        const float c = static_cast<float>(j) + static_cast<float>(j) / 9.0f + phase_a;
        const float s = core_sin(c), sp = core_sin(c + phase_b);
        const Vec3 rest = {s * row[0], s * row[1], sp * row[2]};
        Vec3 centre;
        transform_point(&turn, &rest, &centre);
        field_add_ball(meta_field, &centre, 1.5f * row[3]);
    }
    phase_a = static_cast<float>(phase_a + 0.9 * STEP_SECONDS);
}

void balls_step(const StepTime& t)
{
    const MetaballStep rule = metaball_step_rule(t.n, t.b);
    if (rule.refill)
        field_refill();
    else
        field_scale(meta_field, 1.01f);
    if (rule.jump) {
        // The music time itself, not a delta: the phases leap.
        phase_a -= 2.1333334f * t.seconds;
        phase_b += 10.185916f * t.seconds;
    }
}

void flares_step(const StepTime& t, const Camera* camera)
{
    if (metaball_flares_shown(t.n, t.fr)) {
        Matrix model;
        metaball_model(&model, t.seconds, t.n, t.b, t.fr);
        metaball_flares_build(meta_field, &model, camera, flare_mesh, FLARE_QUADS);
        return;
    }
    const float speed = static_cast<float>(metaball_flare_speed(t.n) * STEP_SECONDS);
    for (int32_t i = 0; i < flare_mesh->vertex_count; i++)
        flare_mesh->vertices[i].z += speed;
}

void state_reset()
{
    field_layout(meta_field, FIELD_SIZE);
    field_scale(meta_field, 0.0f);
    phase_a = 0.0f;
    phase_b = 0.0f;
    flare_mesh->vertex_count = 0;
    flare_mesh->triangle_count = 0;
}

// The first step at or after the scene's first beat, searched in [0, limit];
// limit + 1 when none is.
int64_t first_scene_step(int64_t limit)
{
    int64_t lo = 0, hi = limit + 1;
    while (lo < hi) {
        const int64_t mid = lo + (hi - lo) / 2;
        if (step_time(mid).n >= FIRST_BEAT)
            hi = mid;
        else
            lo = mid + 1;
    }
    return lo;
}

void draw_flares(const Camera* camera)
{
    matrix_identity(&flare_mesh->model);
    mesh_transform_view(flare_mesh, camera, 0);
    draw_mesh_clipped(flare_mesh, camera, FILL_FLARE);
}

} // namespace

MetaballStep metaball_step_rule(int32_t n, float b)
{
    const int32_t sb = n - FIRST_BEAT;
    if (sb <= 11)
        return {(n & 2) ? 0 : 1, sb % 4 == 3 ? 1 : 0};
    const float m = (sb <= 15 || (n & 1)) ? 2.0f : 3.0f;
    const int32_t k = float_to_int((b - 44.0f) * m);
    const int32_t odd = k & 1;
    return {odd ? 0 : 1, odd};
}

int32_t metaball_flares_shown(int32_t n, float fr)
{
    const int32_t sb = n - FIRST_BEAT;
    if (sb <= 11)
        return n % 4 == 0 && fr < 0.5f;
    if (sb <= 15)
        return fr < 0.5f;
    return n % 2 == 0 && fr < 0.5f && sb <= 29;
}

float metaball_flare_speed(int32_t n)
{
    return n - FIRST_BEAT <= 15 ? -92.0f : -64.0f;
}

float metaball_travel(int32_t n, float b)
{
    const int32_t sb = n - FIRST_BEAT;
    if (sb <= 15)
        return (b - 44.0f) / 16.0f;
    if (sb >= 30)
        return 1.0f - (b - 74.0f) / 0.8f;
    return 1.0f;
}

void metaball_model(Matrix* out, float seconds, int32_t n, float b, float fr)
{
    Matrix base;
    matrix_rotation_yxz(&base, 0.6f * seconds, 0.5f * seconds + 0.78f, 0.4f * seconds);
    const float e = metaball_travel(n, b);
    base.m[12] = -100.0f * e;
    base.m[13] = 28.0f * e - 48.0f;
    base.m[14] = 112.0f - 212.0f * e;

    const int32_t sb = n - FIRST_BEAT;
    Matrix kick;
    const float g = 1.0f - fr;
    if (sb < 12 || sb >= 30)
        matrix_identity(&kick);
    else if (sb % 4 == 0)
        matrix_scale(&kick, 1.0f + g / 2.0f, 1.0f + g / 2.0f, 1.0f + g / 2.0f);
    else if (sb % 4 == 1)
        matrix_rotation_z(&kick, g);
    else if (sb % 4 == 2)
        matrix_rotation_y(&kick, g);
    else
        matrix_rotation_x(&kick, g);
    matrix_multiply(&kick, &base, out);
}

int64_t metaball_step_at(double seconds)
{
    if (!(seconds >= 0.0))
        return -1;
    if (seconds > 1e9)
        seconds = 1e9;
    int64_t k = static_cast<int64_t>(std::floor(seconds * METABALL_STEPS_PER_SECOND));
    while (static_cast<double>(k + 1) / METABALL_STEPS_PER_SECOND <= seconds)
        k++;
    while (k >= 0 && static_cast<double>(k) / METABALL_STEPS_PER_SECOND > seconds)
        k--;
    return k;
}

void metaball_camera(const SceneFrame& frame, Camera* camera)
{
    camera_look(camera, frame, {0.0f, 0.0f, 216.0f}, {120.0f, 0.0f, 0.0f}, 10.0f, 512.0f, 90.0f);
}

void metaball_flares_build(const MetaField* field, const Matrix* model, const Camera* camera, Mesh* flares,
                           int32_t max_quads)
{
    Matrix full, normal_matrix;
    mesh_frame_matrices(camera, model, &full, &normal_matrix);
    const Vec3 facing = {0.0f, 0.0f, 1.0f};
    int32_t count = 0;
    for (int32_t i = 0; i < field->point_count && count < max_quads; i++) {
        const FieldPoint& p = field->grid_points[i];
        // The value range first: most points fail it, and the facing test
        // needs a normalisation.
        if (!(p.value > 0.75f && p.value < 0.95f))
            continue;
        const Vec3 gradient = {p.gx, p.gy, p.gz};
        Vec3 normal;
        rotate_direction(&normal_matrix, &gradient, &normal);
        vec3_normalize(&normal, &normal);
        const float c = vec3_dot(&normal, &facing);
        if (!(c > 0.5f))
            continue;
        const Vec3 position = {p.x, p.y, p.z};
        Vec3 v;
        transform_point(model, &position, &v);
        const float h = 2.0f * (4.0f * (1.0f - c) + 1.0f);
        const Vec3 centre = {v.x, v.y, v.z - 1.0f};
        MeshVertex* quad = flares->vertices + 4 * count;
        billboard_quad(&BILLBOARD_Y, &BILLBOARD_X, &centre, h, quad);
        for (int32_t k = 0; k < 4; k++) {
            quad[k].u = BILLBOARD_UV[k][0];
            quad[k].v = BILLBOARD_UV[k][1];
        }
        // Below c = 0.75 the level is negative: grey 0, which adds nothing.
        const uint32_t colour = grey(float_to_int((c - 0.75f) / 0.25f * 255.0f));
        MeshTriangle* t = flares->triangles + 2 * count;
        t[0].lit_colour = t[1].lit_colour = colour;
        t[0].visible = t[1].visible = colour != 0 ? 1u : 0u;
        count++;
    }
    flares->vertex_count = 4 * count;
    flares->triangle_count = 2 * count;
}

namespace
{
// Snapshots of the carried state for seeking (at the end of the file).
void snapshot_keep(int64_t k);
int64_t snapshot_restore(int64_t from, int64_t now);
void snapshots_clear();
} // namespace

void metaball_advance(double seconds)
{
    if (!meta_field || !flare_mesh)
        return;
    const int64_t now = metaball_step_at(seconds);
    if (last_step < 0 || now < last_step) {
        state_reset();
        last_step = first_scene_step(now) - 1;
    }
    last_step = snapshot_restore(last_step, now);
    Camera camera;
    metaball_camera(scene_frame_at(seconds, nullptr), &camera);
    for (int64_t k = last_step + 1; k <= now; k++) {
        const StepTime t = step_time(k);
        balls_step(t);
        flares_step(t, &camera);
        snapshot_keep(k);
    }
    if (now > last_step)
        last_step = now;
}

const MetaField* metaball_field()
{
    return meta_field;
}

const Mesh* metaball_flares()
{
    return flare_mesh;
}

void metaball_phases(float* a, float* b)
{
    *a = phase_a;
    *b = phase_b;
}

void metaball_free()
{
    field_destroy(meta_field);
    meta_field = nullptr;
    mesh_free(flare_mesh);
    flare_mesh = nullptr;
    background = nullptr;
    envmap = nullptr;
    last_step = -1;
    snapshots_clear();
}

int32_t metaball_load()
{
    flare_mesh = mesh_create(4 * FLARE_QUADS, 2 * FLARE_QUADS);
    meta_field = field_create(FIELD_CELLS);
    if (!flare_mesh || !meta_field) {
        std::fprintf(stderr, "metaball: out of memory for the %s\n", flare_mesh ? "field" : "flare mesh");
        metaball_free();
        return 1;
    }
    field_layout(meta_field, FIELD_SIZE);
    field_scale(meta_field, 0.0f);
    background = texture_get(TEXTURE_HIPHOP);
    envmap = texture_get(TEXTURE_ENVIGOLDEN);
    flare_mesh->flags = 0;
    flare_mesh->texture = texture_get(TEXTURE_CIRCLE_PARTICLE);
    billboard_triangles(flare_mesh, FLARE_QUADS);
    flare_mesh->vertex_count = 0;
    flare_mesh->triangle_count = 0;
    phase_a = 0.0f;
    phase_b = 0.0f;
    last_step = -1;
    return 0;
}

void metaball_render(const SceneFrame& frame)
{
    if (!meta_field || !flare_mesh)
        return;
    const float seconds = static_cast<float>(frame.seconds);
    const int32_t n = frame.beat_index;
    const float b = frame.beat;
    const float fr = frame.beat_fraction;

    // 1. Camera and letterbox; the background picture.
    Camera camera;
    metaball_camera(frame, &camera);
    letterbox_window(frame);
    queued_blit_image(background, 0, LETTERBOX_TOP, BLIT_COPY);

    // 2. The field and flares stepped to this time, the field's placement.
    meta_field->light = {0.0f, 0.0f, 1.0f};
    metaball_advance(frame.seconds);
    metaball_model(&meta_field->model, seconds, n, b, fr);

    // 3. The surface, then the flares.
    field_polygonise(meta_field, ISO_LEVEL, &camera, envmap, FILL_SURFACE);
    draw_flares(&camera);
}

// ---- Snapshots for seeking ---------------------------------------------------------
// The state after every 160th step of the scene (4 beats), kept as the steps
// pass them, so that a seek replays at most 159 steps from the latest one
// before its target. The state after step k is the same however it was
// reached, so a snapshot stays true until the scene is freed.

namespace
{

enum { SNAPSHOT_STEPS = 160, SNAPSHOT_COUNT = 8 };

struct FieldValues {
    float gx, gy, gz, value; // what the steps change in a grid point
};

struct Snapshot {
    int64_t step = -1; // -1: not taken
    std::vector<FieldValues> field;
    float phase_a = 0.0f, phase_b = 0.0f;
    std::vector<MeshVertex> vertices;
    std::vector<MeshTriangle> triangles;
};

Snapshot snapshots[SNAPSHOT_COUNT];
int64_t scene_first_step = -1;

// The snapshot slot of step k, or -1 when k is not a snapshot step.
int32_t snapshot_slot(int64_t k)
{
    if (scene_first_step < 0)
        scene_first_step = first_scene_step(k);
    const int64_t d = k - scene_first_step;
    if (d <= 0 || d % SNAPSHOT_STEPS != 0 || d / SNAPSHOT_STEPS > SNAPSHOT_COUNT)
        return -1;
    return static_cast<int32_t>(d / SNAPSHOT_STEPS - 1);
}

void snapshot_keep(int64_t k)
{
    const int32_t slot = snapshot_slot(k);
    if (slot < 0 || snapshots[slot].step == k)
        return;
    Snapshot& s = snapshots[slot];
    s.field.resize(static_cast<size_t>(meta_field->point_count));
    for (int32_t i = 0; i < meta_field->point_count; i++) {
        const FieldPoint& p = meta_field->grid_points[i];
        s.field[static_cast<size_t>(i)] = {p.gx, p.gy, p.gz, p.value};
    }
    s.phase_a = phase_a;
    s.phase_b = phase_b;
    s.vertices.assign(flare_mesh->vertices, flare_mesh->vertices + flare_mesh->vertex_count);
    s.triangles.assign(flare_mesh->triangles, flare_mesh->triangles + flare_mesh->triangle_count);
    s.step = k;
}

// The latest snapshot after `from` and at or before `now` becomes the state;
// returns the step the state is at.
int64_t snapshot_restore(int64_t from, int64_t now)
{
    const Snapshot* best = nullptr;
    for (const Snapshot& s : snapshots)
        if (s.step > from && s.step <= now && (!best || s.step > best->step))
            best = &s;
    if (!best)
        return from;
    for (int32_t i = 0; i < meta_field->point_count; i++) {
        FieldPoint& p = meta_field->grid_points[i];
        const FieldValues& v = best->field[static_cast<size_t>(i)];
        p.gx = v.gx;
        p.gy = v.gy;
        p.gz = v.gz;
        p.value = v.value;
    }
    phase_a = best->phase_a;
    phase_b = best->phase_b;
    std::copy(best->vertices.begin(), best->vertices.end(), flare_mesh->vertices);
    std::copy(best->triangles.begin(), best->triangles.end(), flare_mesh->triangles);
    flare_mesh->vertex_count = static_cast<int32_t>(best->vertices.size());
    flare_mesh->triangle_count = static_cast<int32_t>(best->triangles.size());
    return best->step;
}

void snapshots_clear()
{
    for (Snapshot& s : snapshots)
        s = Snapshot{};
    scene_first_step = -1;
}

} // namespace
