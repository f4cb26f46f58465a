// The metaball scene's rules on their own, so that they can be checked
// without drawing: what each 1/60-s step does to the field and the phases,
// when flares are rebuilt and how fast they drift, the blob's travel and
// model matrix, the step grid, and read access to the carried state.
// Relies on scene/mesh.h and the field module.
#pragma once

#include "scene/mesh.h"
#include "scene/scene_frame.h"
#include "scenes/field.h"

#include <cstdint>

// What one step at beat b (whole beat n) does: refill (scale by 0.85 and add
// the nine balls) or swell (scale by 1.01), and whether the phases jump.
struct MetaballStep {
    int32_t refill;
    int32_t jump;
};
MetaballStep metaball_step_rule(int32_t n, float b);

// Whether a step at (n, fr) rebuilds the flares, and the drift otherwise in
// units per second along -z.
int32_t metaball_flares_shown(int32_t n, float fr);
float metaball_flare_speed(int32_t n);

// The blob's travel e: 0 -> 1 over the first sixteen beats, 1, then out
// from beat 74 (0 at 74.8, -1.5 at 76).
float metaball_travel(int32_t n, float b);
// The field's model matrix at a music time: kick x base rotation and travel.
void metaball_model(Matrix* out, float seconds, int32_t n, float b, float fr);

// Carried state advances in steps of 1/60 s of music time: step k is at k / 60.
constexpr int32_t METABALL_STEPS_PER_SECOND = SCENE_STEPS_PER_SECOND;
// The last step at or before the music time (the largest k with k / 60.0 <= seconds).
int64_t metaball_step_at(double seconds);
// Brings the field, phases and flares to the music time: runs every step
// since the last one run, or, the first time and after time went backwards,
// every step from the scene's first beat on a fresh state.
void metaball_advance(double seconds);

// The carried state (null before a successful load).
const MetaField* metaball_field();
const Mesh* metaball_flares();
void metaball_phases(float* phase_a, float* phase_b);

// The flare rebuild: quads for the points with 0.75 < value < 0.95 whose
// gradient, in camera space, faces the camera (z component c > 0.5), at most
// max_quads, into flares (4 vertices and 2 triangles a quad); sets the
// counts. Grey (c - 0.75) / 0.25 * 255, 0 below c = 0.75 (those quads are
// not visible). model places the field in the world.
void metaball_flares_build(const MetaField* field, const Matrix* model, const Camera* camera, Mesh* flares,
                           int32_t max_quads);
// The camera every frame of the scene uses.
void metaball_camera(const SceneFrame& frame, Camera* camera);
