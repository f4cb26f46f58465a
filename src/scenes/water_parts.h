// The sphere-over-water scene's rules on their own, so that they can be
// checked without drawing: the camera's sideways sway and its zoom before
// beat 108, the sphere's bounce and pulse, the sparkles shed by the faces
// that look at the viewer, and the sliding row-blur bands.
// Relies on the Mesh record and matrices of scene/mesh.h and the shared
// water grid (scenes/water_grid.h).
#pragma once

#include "scene/mesh.h"
#include "scenes/water_grid.h"

#include <cstdint>

enum { WATER_SPARKLE_MAX = 3072, WATER_ZOOM_END = 108 };

// The camera's x: sin(pi b / 4)^5 - 1.5.
float water_camera_x(float b);

// The camera the sphere, its shadow and the sparkles are seen with: before
// beat 108 it zooms out from 45 to 90 degrees while its x swings in from 0;
// from 108 on it is the water's camera (90 degrees at water_camera_x).
struct WaterZoom {
    float fov;
    float eye_x;
};
WaterZoom water_zoom(int32_t n, float b);

// The water grid's swell in this scene: three row waves, five cross waves,
// 1.5 high from -13.5, the texture drifting back along u by 0.1 a second.
extern const WaterSwell WATER_SWELL;

// The sphere's deformation at `seconds` from its rest shape: two opposed
// twists trading places every two seconds, a wave and a ripple following a
// triangle wave; then its normals.
void water_sphere_deform(Mesh* sphere, float seconds);

// The sphere's model matrix: turning, bouncing at each half beat and drifting
// in depth; on odd beats scaled by a pulse at the half beat.
void water_sphere_model(float seconds, int32_t n, float b, Matrix* out);

// Quads for the sphere vertices whose transformed normal has z > 0.75, in
// vertex order, at most WATER_SPARKLE_MAX; positions through sparkles->model
// (the sphere's model at this moment), then sparkles->model becomes the
// identity. Sets the sparkle mesh's counts and returns the number of quads;
// the mesh must have been made with room for WATER_SPARKLE_MAX quads.
int32_t water_sparkles_build(const Mesh* sphere, Mesh* sparkles);

// Row blurs: 1 when the bands are blurred at beat index n (bit 1 set); the
// outer bands slide in by water_grid_band_offset.
int32_t water_blur_beat(int32_t n);
