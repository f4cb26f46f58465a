// Sphere collider (beats 308-371): two chrome spheres orbit each other; on
// fourteen beats the small twisting one strikes the large one, which keeps a
// growing dent from every strike and throws a burst of glowing debris. Flare
// glints cling to the silhouettes, the camera orbits with beat-timed kicks,
// a background picture and a film strip slide in and out, and from beat 358
// the large sphere splits into four spinning copies. Relies on the clock,
// the texture table, meshes from objects, deformers, lighting, mesh drawing,
// the 2D blends and the shared billboard and glint modules.
#include "scenes/kit.h"
#include "scenes/collider_parts.h"
#include "scenes/queued.h"
#include "scenes/scenes.h"
#include "scene/billboard.h"
#include "scenes/glints.h"

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
#include <cstdlib>
#include <cstring>

const int32_t collider_hit_beats[COLLIDER_HIT_COUNT] = {308, 310, 314, 318, 323, 326, 330,
                                                        334, 338, 342, 346, 350, 354, 358};

namespace
{

const char* const SPHERE_PATH = "data\\sphere.lwo";
const char* const FILM_PATH = "data\\filmstrip.png";

const FillMode SPHERE_FILL = FILL_TEXTURE | FILL_DEPTH;
const FillMode DEBRIS_FILL = FILL_TEXTURE | FILL_DEPTH | FILL_ADD;
const FillMode GLINT_FILL = FILL_FLAT | FILL_TEXTURE | FILL_DEPTH | FILL_ADD;

enum { FILM_COLUMNS = 3, FILM_ROWS = 5, FILM_FRAMES = 15, LETTERBOX_FROM = 361, COPIES_FROM = 358 };

// The scene's first beat is step 12320 of the whole track (308 beats of 40
// steps), so steps fall on the frames of a 60 Hz run.
constexpr int64_t FIRST_STEP = static_cast<int64_t>(COLLIDER_FIRST_BEAT) * SCENE_STEPS_PER_BEAT;
constexpr int64_t MOST_STEPS = static_cast<int64_t>(COLLIDER_END_BEAT - COLLIDER_FIRST_BEAT) * SCENE_STEPS_PER_BEAT;
constexpr float STEP_SECONDS = 1.0f / COLLIDER_STEPS_PER_SECOND;

struct Debris {
    Vec3 position;
    Vec3 velocity;
};

Mesh* big_sphere = nullptr;
Mesh* small_sphere = nullptr;
Mesh* debris_mesh = nullptr; // triangle_count 0 until the first burst: the debris-alive flag
Mesh* glint_mesh = nullptr;
Texture* film = nullptr;
MeshVertex* big_start = nullptr; // the large sphere as loaded, where a replay starts
Debris debris[COLLIDER_DEBRIS_COUNT];
int64_t steps_done = -1;  // steps of the dents and debris taken; -1: none yet
int64_t dented_step = -1; // the last step that froze a dent into the rest shape

// ---- Loading ------------------------------------------------------------------

Mesh* load_sphere()
{
    Mesh* mesh = mesh_load(SPHERE_PATH);
    if (!mesh) {
        std::fprintf(stderr, "collider: cannot load %s\n", mesh_load_failure());
        return nullptr;
    }
    mesh->texture = texture_get(TEXTURE_ANGEL_ENVMAP);
    return mesh;
}

void debris_build()
{
    debris_mesh->texture = texture_get(TEXTURE_POINTLIGHT);
    debris_mesh->flags = MESH_TWO_SIDED;
    billboard_triangles(debris_mesh, COLLIDER_DEBRIS_COUNT);
    for (int32_t i = 0; i < debris_mesh->vertex_count; ++i) {
        MeshVertex& v = debris_mesh->vertices[i];
        v.u = BILLBOARD_UV[i % 4][0];
        v.v = BILLBOARD_UV[i % 4][1];
        v.colour = 0xffffffffu;
    }
    debris_mesh->triangle_count = 0;
}

// ---- Dents and debris, in fixed steps of music time -----------------------------

// Back to the scene's first beat: the large sphere undented, no debris.
void restart()
{
    std::memcpy(big_sphere->saved_vertices, big_start,
                static_cast<size_t>(big_sphere->vertex_count) * sizeof(MeshVertex));
    std::memset(debris, 0, sizeof debris);
    debris_mesh->triangle_count = 0;
    steps_done = 0;
    dented_step = -1;
}

void dent(const Vec3* p)
{
    BulgeParams bulge;
    bulge.centre = *p;
    vec3_normalize(p, &bulge.direction);
    bulge.radius = 1.25f;
    bulge.amount = -1.0f;
    deform_bulge(big_sphere, &bulge);
}

// The burst's own random state at step k: a scrambled odd number, so the
// spread of a burst depends on its music time only, not on how many numbers
// the overlays drew in the frames before it (their count follows the frame rate).
uint32_t debris_seed(int64_t k)
{
    uint32_t x = static_cast<uint32_t>(k) * 0x9E3779B9u;
    x ^= x >> 16;
    x *= 0x85EBCA6Bu;
    x ^= x >> 13;
    return x | 1u;
}

// The burst starts from the impact point; it restarts on every step of the
// strike's last tenth of a beat.
void debris_start(const Vec3* p, int64_t k)
{
    Vec3 d;
    vec3_normalize(p, &d);
    uint32_t state = debris_seed(k);
    for (Debris& e : debris) {
        const float r = next_random_from(&state);
        const float s = 0.25f * r + 0.25f;
        e.position = {d.x * s + p->x / 2.0f, d.y * s + p->y / 2.0f, d.z * s + p->z / 2.0f};
        const float r1 = next_random_from(&state), r2 = next_random_from(&state),
                    r3 = next_random_from(&state);
        const Vec3 v = {d.x + 0.5f * r1, d.y + 0.5f * r2, d.z + 0.5f * r3};
        vec3_normalize(&v, &e.velocity);
    }
}

// One step at music time k / 60: past nine tenths of a strike the dent is
// frozen into the rest shape and the debris come alive (the burst itself in
// the strike beat's last tenth); living debris fly on by 1/60 s.
void step(int64_t k)
{
    const double t = collider_step_seconds(k);
    const float b = beat_at(t).beat;
    const float whole = static_cast<float>(std::floor(static_cast<double>(b)));
    const int32_t n = float_to_int(b);
    float q;
    if (collider_strike(n, b, &q) && q > 0.9f) {
        Vec3 p;
        collider_small_position(static_cast<float>(t), q, &p);
        mesh_restore_vertices(big_sphere);
        dent(&p);
        mesh_save_vertices(big_sphere);
        dented_step = k;
        debris_mesh->triangle_count = 2 * COLLIDER_DEBRIS_COUNT;
        if (b - whole >= 0.9f)
            debris_start(&p, k);
    }
    if (debris_mesh->triangle_count == 0)
        return;
    for (Debris& e : debris) {
        e.position.x += e.velocity.x * STEP_SECONDS;
        e.position.y += e.velocity.y * STEP_SECONDS;
        e.position.z += e.velocity.z * STEP_SECONDS;
    }
}

// Brings the dents and debris to the music time; a jump back (or a first
// frame anywhere in the scene) replays them from the scene's first beat.
void steps_to(double seconds)
{
    const int64_t target = collider_steps(seconds);
    if (steps_done < 0 || target < steps_done)
        restart();
    for (int64_t k = steps_done + 1; k <= target; ++k)
        step(k);
    steps_done = target;
}

// ---- The spheres ------------------------------------------------------------------

// The large sphere's shape this frame: its rest shape, dented by a running
// strike unless this very step froze the dent into it already.
void big_shape(int32_t strike, const Vec3* p)
{
    mesh_restore_vertices(big_sphere);
    if (strike && dented_step != steps_done)
        dent(p);
    mesh_compute_normals(big_sphere);
    matrix_identity(&big_sphere->model);
}

// Three twists about points turning around the small sphere, unwinding as
// the strike comes in.
void small_shape(float seconds, float b, float q, const Vec3* p)
{
    mesh_restore_vertices(small_sphere);
    const float k = core_sin(0.5f * CORE_PI * b);
    for (int32_t r = 0; r < 3; ++r) {
        const float a = seconds + 2.0943952f * static_cast<float>(r);
        Matrix turn;
        matrix_rotation_yxz(&turn, a, a / CORE_PI, 0.0f);
        const Vec3 out = {0.0f, 0.0f, 1.25f};
        TwistParams twist;
        twist.mode = 3;
        transform_point(&turn, &out, &twist.centre);
        twist.size = 1.0f;
        twist.amount = CORE_PI * k * (1.0f - q);
        deform_twist(small_sphere, &twist);
    }
    mesh_compute_normals(small_sphere);
    matrix_translation(&small_sphere->model, p->x, p->y, p->z);
}

// The camera's right and up axes and its z axis, in the world.
struct ViewAxes {
    Vec3 right, up, back;
};

ViewAxes view_axes(const Camera* camera)
{
    const float* m = camera->view.m;
    return {{m[0], m[4], m[8]}, {m[1], m[5], m[9]}, {m[2], m[6], m[10]}};
}

// Debris quads facing the camera at their positions.
void debris_quads(const ViewAxes& axes)
{
    if (debris_mesh->triangle_count == 0)
        return;
    for (int32_t i = 0; i < COLLIDER_DEBRIS_COUNT; ++i)
        billboard_quad(&axes.right, &axes.up, &debris[i].position, 0.25f, debris_mesh->vertices + 4 * i);
}

// A glint on every vertex of the sphere whose camera-space normal barely
// faces the viewer (0 <= n.z < 0.25): the silhouette's rim, pulled 0.25
// towards the camera, larger and brighter the more it faces it. The sphere
// must have been transformed with its normals.
void rim_glints(const Mesh* sphere, const ViewAxes& axes, const Camera* camera)
{
    const Vec3 pull = {0.25f * axes.back.x, 0.25f * axes.back.y, 0.25f * axes.back.z};
    int32_t count = 0;
    for (int32_t i = 0; i < sphere->vertex_count && count < COLLIDER_GLINT_MAX; ++i) {
        const float d = sphere->normals[6 * i + 5];
        if (!(d >= 0.0f && d < 0.25f))
            continue;
        const float l = d / 0.25f;
        const MeshVertex& v = sphere->vertices[i];
        const Vec3 position = {v.x, v.y, v.z};
        Vec3 centre;
        transform_point(&sphere->model, &position, &centre);
        vec3_add(&centre, &pull, &centre);
        MeshVertex quad[4];
        billboard_quad(&axes.right, &axes.up, &centre, 0.125f + 0.25f * 0.45f * l, quad);
        Vec3 corners[4];
        for (int32_t c = 0; c < 4; ++c)
            corners[c] = {quad[c].x, quad[c].y, quad[c].z};
        glint_write(glint_mesh, count, corners, l);
        ++count;
    }
    glint_mesh_set_count(glint_mesh, count);
    matrix_identity(&glint_mesh->model);
    mesh_transform_view(glint_mesh, camera, 0);
}

void draw_sphere_map(Mesh* sphere, const Camera* camera, uint32_t clip_flags)
{
    mesh_transform_view(sphere, camera, TRANSFORM_NORMALS);
    mesh_sphere_map(sphere);
    draw_mesh(sphere, camera, SPHERE_FILL, clip_flags);
}

// Up to beat 357: the large sphere, the small one, the debris and the glints
// of both.
void draw_pair(const Camera* camera, const ViewAxes& axes)
{
    draw_sphere_map(big_sphere, camera, 0);

    mesh_transform_view(small_sphere, camera, TRANSFORM_NORMALS);
    mesh_reflection_map(small_sphere);
    draw_mesh_clipped(small_sphere, camera, SPHERE_FILL);

    matrix_identity(&debris_mesh->model);
    mesh_transform_view(debris_mesh, camera, 0);
    draw_mesh_clipped(debris_mesh, camera, DEBRIS_FILL);

    rim_glints(big_sphere, axes, camera);
    draw_mesh(glint_mesh, camera, GLINT_FILL, 0);
    rim_glints(small_sphere, axes, camera);
    draw_mesh(glint_mesh, camera, GLINT_FILL, CLIP_WINDOW);
}

// From beat 358: four copies of the large sphere flying apart, each with its
// glints, clipped (they fly past the window and behind the camera).
void draw_copies(const Camera* camera, const ViewAxes& axes, float b)
{
    for (int32_t i = 0; i < 4; ++i) {
        collider_copy_model(i, b, &big_sphere->model);
        draw_sphere_map(big_sphere, camera, CLIP_NEAR | CLIP_WINDOW);
        rim_glints(big_sphere, axes, camera);
        draw_mesh_clipped(glint_mesh, camera, GLINT_FILL);
    }
}

// ---- Background and film strip --------------------------------------------------

// Three rows of film frames, each row three frames ahead of the one above.
// Frame i is laid down whole and frame i + 1 blended over it by the weight,
// so the frames cross-fade at a steady brightness.
void film_strip(int32_t n, float b)
{
    const int32_t w = film->width / FILM_COLUMNS, h = film->height / FILM_ROWS;
    const int32_t x = collider_film_x(n, b, w);
    const ColliderFilmFrame frame = collider_film_frame(b);
    int32_t i = frame.first;
    for (int32_t r = 0; r < 3; ++r) {
        const int32_t j = (i + 1) % FILM_FRAMES;
        queued_blend_rect(film, x, r * h, w * (i % FILM_COLUMNS), h * (i / FILM_COLUMNS), w, h, 255,
                        BLEND_ALPHA);
        queued_blend_rect(film, x, r * h, w * (j % FILM_COLUMNS), h * (j / FILM_COLUMNS), w, h, frame.weight,
                        BLEND_ALPHA);
        i = (i + 3) % FILM_FRAMES;
    }
}

void background(int32_t n, float b)
{
    queued_blit_image(texture_get(TEXTURE_COLLIDER_BG), collider_background_x(n, b), LETTERBOX_TOP, BLIT_COPY);
    if (n < LETTERBOX_FROM)
        film_strip(n, b);
}

} // namespace

// ---- Timing rules -----------------------------------------------------------------

int32_t collider_strike(int32_t n, float b, float* q)
{
    for (int32_t h : collider_hit_beats)
        if (n == h || n == h + 1) {
            *q = (b - static_cast<float>(h)) / 2.0f;
            return 1;
        }
    *q = 0.0f;
    return 0;
}

void collider_small_position(float seconds, float q, Vec3* out)
{
    Matrix turn;
    matrix_rotation_yxz(&turn, 0.29f * seconds - 1.57f, 0.5f * seconds + 0.78f, 0.7f * seconds + 0.39f);
    const Vec3 p = {0.0f, 0.0f, 0.7f * q - 2.5f};
    transform_point(&turn, &p, out);
}

float collider_distance(int32_t n, float b)
{
    if (n >= 360)
        return 4.0f;
    if (n >= 317 && n <= 319)
        return 3.5f + core_pow((b - 317.0f) / 3.0f, 16.0f);
    if (n == 327 || n == 328)
        return 2.5f + 2.0f * core_pow((b - 327.0f) / 2.0f, 16.0f);
    if (n == 335 || n == 336)
        return 1.5f + 3.0f * core_pow((b - 335.0f) / 2.0f, 16.0f);
    if (n <= 340)
        return 4.0f - 0.25f * core_pow(0.5f * core_sin(0.5f * CORE_PI * b) + 0.5f, 64.0f);
    if (n == 343 || n == 344)
        return 1.5f + 3.0f * core_pow((b - 343.0f) / 2.0f, 16.0f);
    if (n == 355 || n == 356)
        return 2.5f + 2.0f * core_pow((b - 355.0f) / 2.0f, 16.0f);
    return 4.0f - 0.25f * core_pow(0.5f * core_sin(CORE_PI * b) + 0.5f, 32.0f);
}

float collider_orbit_angle(int32_t n, float b)
{
    if (n >= 360)
        return b;
    const float half = b / 2.0f - core_floor(b / 2.0f);
    return static_cast<float>(n) + core_pow(half, 4.0f);
}

void collider_camera(const SceneFrame& frame, int32_t n, float b, Camera* camera)
{
    const float d = collider_distance(n, b);
    const float c = -collider_orbit_angle(n, b) / 2.0f;
    const float cs = core_cos(c), sn = core_sin(c);
    const Vec3 eye = {(cs + sn) * d, 4.0f * core_sin(c / 2.0f + 0.39f), (sn - cs) * d};
    // The target swings in from three units left of the spheres over the first four beats.
    const float shift = n >= 312 ? 1.0f : -(4.0f * (1.0f - (b - 308.0f) / 4.0f) - 1.0f);
    const Vec3 target = {0.3f * core_sin(2.0f * c + 0.78f) + shift, 0.0f, 0.0f};
    camera_look(camera, frame, eye, target, 1.0f, 64.0f, 50.0f);
}

int32_t collider_background_x(int32_t n, float b)
{
    if (n >= LETTERBOX_FROM)
        return 0;
    if (n <= 311)
        return float_to_int(core_floor(205.0f * (b - 308.0f) / 4.0f));
    if (n >= 357)
        return 205 - float_to_int(core_floor(205.0f * (b - 357.0f) / 4.0f));
    return COLLIDER_BACKGROUND_X;
}

int32_t collider_film_x(int32_t n, float b, int32_t w)
{
    const float width = static_cast<float>(w);
    if (n <= 311)
        return float_to_int(core_floor(width * (b - 308.0f) / 4.0f)) - w;
    if (n >= 357)
        return -float_to_int(core_floor(width * (b - 357.0f) / 4.0f));
    return 0;
}

ColliderFilmFrame collider_film_frame(float b)
{
    const float c = 4.0f * b;
    const float whole = core_floor(c);
    int32_t first = float_to_int(whole) % FILM_FRAMES;
    if (first < 0)
        first += FILM_FRAMES;
    return {first, float_to_int(core_floor(255.0f * (c - whole)))};
}

void collider_copy_model(int32_t i, float b, Matrix* out)
{
    const float w = b - static_cast<float>(COPIES_FROM);
    const float m = static_cast<float>(i + 1) * w;
    matrix_rotation_yxz(out, m, 0.5f * m + 0.3f, 0.25f * m + 0.1f);
    const float apart[4][2] = {{-0.5f, 0.0f}, {0.5f, 0.0f}, {0.0f, -0.4f}, {0.0f, 0.4f}};
    const int32_t k = i < 0 ? 0 : (i > 3 ? 3 : i);
    out->m[12] = apart[k][0] * w;
    out->m[13] = apart[k][1] * w;
    out->m[14] = 0.0f;
}

int64_t collider_steps(double seconds)
{
    const int64_t steps = scene_step_at(seconds) - FIRST_STEP;
    if (steps <= 0)
        return 0;
    return steps < MOST_STEPS ? steps : MOST_STEPS;
}

double collider_step_seconds(int64_t k)
{
    return scene_step_seconds(FIRST_STEP + k);
}

const MeshVertex* collider_rest_shape(int32_t* count)
{
    if (count)
        *count = big_sphere ? big_sphere->vertex_count : 0;
    return big_sphere ? big_sphere->saved_vertices : nullptr;
}

int32_t collider_debris_alive()
{
    return debris_mesh && debris_mesh->triangle_count > 0 ? 1 : 0;
}

void collider_debris_position(int32_t i, Vec3* out)
{
    *out = i >= 0 && i < COLLIDER_DEBRIS_COUNT ? debris[i].position : Vec3{0.0f, 0.0f, 0.0f};
}

// ---- The effect row -----------------------------------------------------------------

void collider_free()
{
    mesh_free(big_sphere);
    big_sphere = nullptr;
    mesh_free(small_sphere);
    small_sphere = nullptr;
    mesh_free(debris_mesh);
    debris_mesh = nullptr;
    mesh_free(glint_mesh);
    glint_mesh = nullptr;
    texture_free(film);
    film = nullptr;
    std::free(big_start);
    big_start = nullptr;
    steps_done = -1;
    dented_step = -1;
}

int32_t collider_load()
{
    big_sphere = load_sphere();
    if (!big_sphere) {
        collider_free();
        return 1;
    }
    small_sphere = load_sphere();
    if (!small_sphere) {
        collider_free();
        return 1;
    }
    debris_mesh = mesh_create(4 * COLLIDER_DEBRIS_COUNT, 2 * COLLIDER_DEBRIS_COUNT);
    glint_mesh = glint_mesh_create(COLLIDER_GLINT_MAX, texture_get(TEXTURE_FLARES));
    const size_t rest_bytes = static_cast<size_t>(big_sphere->vertex_count) * sizeof(MeshVertex);
    big_start = static_cast<MeshVertex*>(std::malloc(rest_bytes));
    if (!debris_mesh || !glint_mesh || !big_start || mesh_save_vertices(big_sphere) != 0 ||
        mesh_save_vertices(small_sphere) != 0) {
        std::fprintf(stderr, "collider: out of memory for the meshes of the spheres made from %s\n",
                     SPHERE_PATH);
        collider_free();
        return 1;
    }
    film = texture_load_png(FILM_PATH, 0);
    if (!film) {
        std::fprintf(stderr, "collider: cannot load %s\n", texture_load_failure());
        collider_free();
        return 1;
    }
    std::memcpy(big_start, big_sphere->saved_vertices, rest_bytes);
    debris_build();
    steps_done = -1;
    dented_step = -1;
    return 0;
}

void collider_render(const SceneFrame& frame)
{
    if (!big_sphere || !film)
        return;
    const float seconds = static_cast<float>(frame.seconds);
    const int32_t n = frame.beat_index;
    const float b = frame.beat;

    // 1. The background goes first into the share, so that the helper draws
    // its rows while the spheres take their shapes.
    background(n, b);

    // 2. Camera; the letterbox once the end scene fades in.
    Camera camera;
    collider_camera(frame, n, b, &camera);
    if (n >= LETTERBOX_FROM)
        letterbox_window(frame);
    const ViewAxes axes = view_axes(&camera);

    // 3. Dents and debris stepped to this time; the spheres' shapes.
    steps_to(frame.seconds);
    float q;
    const int32_t strike = collider_strike(n, b, &q);
    Vec3 p;
    collider_small_position(seconds, q, &p);
    big_shape(strike, &p);
    small_shape(seconds, b, q, &p);
    debris_quads(axes);

    // 4. The pair, or its copies near the end.
    if (n < COPIES_FROM)
        draw_pair(&camera, axes);
    else
        draw_copies(&camera, axes, b);
}

void collider_advance(double seconds)
{
    if (!big_sphere || !debris_mesh || !big_start)
        return;
    steps_to(seconds);
}
