// The ribbon-over-water scene's rules on their own, so that they can be
// checked without drawing: the space curve and the ribbon strip built along
// it, the camera's sway, the ribbon's entrance, kicks, swings and final
// flattening, the glints on its facing vertex pairs, the reflection's level
// and the column-blur beats. Relies on the Mesh record and matrices of scene/mesh.h.
#pragma once

#include "core/core.h"
#include "scene/mesh.h"

#include <cstdint>

enum {
    RIBBON_PAIRS = 385,
    RIBBON_GLINT_MAX = 3072,
    RIBBON_SLIDE_END = 136, // the ribbon has slid into place; the camera starts to sway
    RIBBON_TURN_START = 161 // the ribbon turns and flattens
};

// The space curve at phase p and parameter t: radius r1 = 3 (sin 5t + 2)
// blended towards a radius r2 modulated by p and back every two units of t,
// at (r cos 4t, r cos 3t, r sin 4t).
Vec3 ribbon_curve(float p, float t);

// The strip's mesh: 770 vertices and 768 triangles (a, a + 2, a + 3) and
// (a, a + 3, a + 1) for a = 2i, base and lit colour white, visible;
// MESH_TWO_SIDED. Null on failure.
Mesh* ribbon_mesh_create();

// The strip for a = seconds / 4: 385 vertex pairs along the turning curve,
// each pair across the curve's direction and as wide as a travelling swell,
// texture (32 m, 0.25) and (32 m, 0.5) with m running from 1 to 0; then the
// normals. The mesh must have 770 vertices.
void ribbon_build(Mesh* ribbon, float a);

// The camera's x: 5 before beat 136, then 5 + 3 sin(pi b / 4)^3.
float ribbon_camera_x(int32_t n, float b);

// The ribbon's model at beat index n, beat b and beat fraction fr: sliding in
// from x = 18 over beats 132-135, squashed in height on beats 4k + 1, kicked
// back in depth on beats 4k and sideways on beats 4k + 3, swung from -45
// degrees on beats 143 and 159, turned and flattened from beat 161.
void ribbon_model(int32_t n, float b, float fr, Matrix* out);

// Glints on the vertex pairs whose first vertex's transformed normal has
// |z| > 0.75, in order, at most RIBBON_GLINT_MAX: a square about the pair's
// middle (object space), 0.25 nearer the viewer, growing and brightening with
// the facing. Sets the glint mesh's counts and returns the number of quads.
int32_t ribbon_glints_build(const Mesh* ribbon, Mesh* glints);

// Grey level of the reflection pass: floor(127 (sin(pi s / 2 + 0.39) / 4 + 3/4)).
int32_t ribbon_reflection_level(float seconds);

// Column blurs: 1 when the bands are smeared at beat index n (bit 1 set).
int32_t ribbon_blur_beat(int32_t n);
