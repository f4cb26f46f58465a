// The terrain scene's rules, on their own so that they can be checked without
// drawing: the scene time, the length of the prism chain, the circling
// camera, the light that turns with the view and each prism's tumble along
// its looping path. Relies on the Mesh, Matrix and Camera of scene/mesh.h.
#pragma once

#include "scene/mesh.h"
#include "scene/scene_frame.h"

#include <cstdint>

enum { TERRAIN_PRISMS = 240 };

// Seconds since the scene's first beat (beat 268, at 178.66667 s).
float terrain_scene_time(float seconds);
// Prisms in the chain s seconds into the scene: one more every 1/32 s, none
// before the start (or for a time that is not a number), at most 240.
int32_t terrain_prism_count(float s);
// The camera circling the terrain at a breathing distance and looking at a
// point that circles too; completed with camera_update.
void terrain_camera(const SceneFrame& frame, float s, Camera* camera);
// The camera-space light: the direction (0, 0.5, -1) through the transpose of
// the inverse of the camera's view, normalised.
void terrain_light(const Camera* camera, Vec3* light);
// Model matrix of the prism at chain time t: tumbling about three axes while
// it follows the loop around the visualiser.
void terrain_prism_model(float t, Matrix* out);
