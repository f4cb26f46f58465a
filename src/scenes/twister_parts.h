// The twister scene's geometry on its own, so that it can be checked without
// drawing: the winding centre line, the tube's rings, the horizontal slices,
// the sparkle quads shed by the lit vertices, the sway and the odd-beat rule.
// Relies on the Mesh record of scene/mesh.h.
#pragma once

#include "scene/mesh.h"

#include <cstdint>

enum {
    TWISTER_RINGS = 48,
    TWISTER_RING_VERTICES = 65, // 64 segments, the seam vertex repeated
    TWISTER_TUBE_VERTICES = TWISTER_RINGS * TWISTER_RING_VERTICES,
    TWISTER_TUBE_TRIANGLES = (TWISTER_RINGS - 1) * 64 * 2,
    TWISTER_SPARKLES = 1024,
    TWISTER_SLICES = 28,
};

struct TwisterPoint {
    float x, z;
};

// The centre line at path parameter t (a height plus the scroll distance).
TwisterPoint twister_path(float t);

// The tube with its triangle list (47 bands of 64 quads), texture unset;
// null when out of memory. The slices and sparkles are glint meshes (glints.h).
Mesh* twister_tube_create();

// Tube positions, texture coordinates, colours and normals for music time
// `seconds` and scroll distance a; the rings run from y = 150 down to -143.75.
void twister_build(Mesh* tube, float seconds, float a);
// The slices' corners: quad c a 128 x 128 square at the centre line's height.
void twister_rings(Mesh* rings, float seconds, float a);
// Writes a sparkle quad for every tube vertex whose transformed normal faces
// the light by more than 0.75 (at most TWISTER_SPARKLES: the mesh must have
// room for them) and sets the sparkle mesh's counts to them; returns the
// number of quads.
int32_t twister_sparkles(Mesh* sparkles, const Mesh* tube, const Vec3* light);

// Sideways sway of the whole column at beat b.
float twister_sway(float b);
// 1 on the beats that show the slices instead of the tube.
int32_t twister_slice_beat(int32_t n);
