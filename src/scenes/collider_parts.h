// The sphere collider's timing rules, on their own so that they can be
// checked without drawing: the strikes and how far each has come, the
// camera's distance, orbit and kicks, the background and film strip sliding
// in and out, the film frames, the four copies flying apart, and the fixed
// 1/60 s steps the dents and debris advance in. Relies on scene/mesh.h.
#pragma once

#include "scene/mesh.h"
#include "scene/scene_frame.h"
#include "scene/show_beats.h"

#include <cstdint>

enum {
    COLLIDER_FIRST_BEAT = COLLIDER_BEATS.first,
    COLLIDER_END_BEAT = COLLIDER_BEATS.end,
    COLLIDER_HIT_COUNT = 14,
    COLLIDER_DEBRIS_COUNT = 64,
    COLLIDER_GLINT_MAX = 512,
    COLLIDER_BACKGROUND_X = 205, // where the background stands while the film strip is in
};

constexpr int32_t COLLIDER_STEPS_PER_SECOND = SCENE_STEPS_PER_SECOND;

// The beats on which the small sphere strikes, in order.
extern const int32_t collider_hit_beats[COLLIDER_HIT_COUNT];

// 1 while a strike runs: beat n is a strike beat H or the beat after it (the
// first match in table order); *q is then (b - H) / 2, rising from 0 to 1
// over the two beats. Otherwise 0 with *q = 0.
int32_t collider_strike(int32_t n, float b, float* q);
// Where the small sphere stands: 2.5 units from the centre, 1.8 when the
// strike has come all the way (q = 1), turned by the music time.
void collider_small_position(float seconds, float q, Vec3* out);

// The camera's distance: about 4, pulled in by the kicks of beats 317, 327,
// 335, 343 and 355 and easing back out; 4 from beat 360.
float collider_distance(int32_t n, float b);
// The orbit angle: a step on every beat with an eased half before beat 360,
// turning evenly with the beat from then on.
float collider_orbit_angle(int32_t n, float b);
// The orbiting camera at beat b (eye, target, near 1, far 64, 50 degrees,
// the full 640 x 480 viewport), completed by camera_update.
void collider_camera(const SceneFrame& frame, int32_t n, float b, Camera* camera);

// Left edge of the background picture: sliding in from 0 to 205 over beats
// 308-311, back to 0 over beats 357-360, 0 from beat 361.
int32_t collider_background_x(int32_t n, float b);
// Left edge of the film strip of frame width w: from -w to 0 over beats
// 308-311, back out to -w over beats 357-360.
int32_t collider_film_x(int32_t n, float b, int32_t w);
// The film frames of the top row at beat b: `first` (0..14) blending into
// first + 1 by `weight` (0..254), four frames a beat.
struct ColliderFilmFrame {
    int32_t first;
    int32_t weight;
};
ColliderFilmFrame collider_film_frame(float b);

// Model matrix of copy i (0..3) of the large sphere at beat b (from beat 358):
// spinning, copy i (i + 1) times as fast, the copies flying apart left,
// right, down and up.
void collider_copy_model(int32_t i, float b, Matrix* out);

// Steps of 1/60 s of music time from the scene's first beat to `seconds`
// (0 before it, at most the scene's 64 beats): the dents and debris at a
// music time have advanced exactly this often, at any frame rate.
int64_t collider_steps(double seconds);
// The music time of step k.
double collider_step_seconds(int64_t k);

// Read-backs of the carried state after the last frame drawn: the large
// sphere's rest shape (its saved vertices; null before loading) and whether
// the debris fly.
const MeshVertex* collider_rest_shape(int32_t* count);
int32_t collider_debris_alive();
// Debris i's position (the origin for i out of range).
void collider_debris_position(int32_t i, Vec3* out);
