// The scene kit: what every mesh scene sets up the same way, written once.
// The camera from eye, target, depth planes and field of view over the whole
// frame (with the clipper's depth planes to match), the letterbox as the clip
// window, and a mesh's planar shadow. Relies on scene/ and raster/.
#pragma once

#include "raster/raster.h"
#include "scene/mesh.h"
#include "scene/scene_frame.h"

#include <cstdint>

// Clears the camera, looks from eye at target with planes at near and far and
// a vertical field of view of fov degrees over the frame's whole size, updates
// its matrices and sets the clipper's depth planes to the same near and far.
void camera_look(Camera* camera, const SceneFrame& frame, const Vec3& eye, const Vec3& target, float near,
                 float far, float fov);

// The letterbox as the clip window: edges inclusive, so from the row above the
// picture (LETTERBOX_TOP - 1) to its last row, over the frame's width.
void letterbox_window(const SceneFrame& frame);
// Only the picture's rows, LETTERBOX_TOP to LETTERBOX_BOTTOM - 1: the fill rule
// keeps a horizontal edge for one winding only, so two-sided additive meshes
// then never light the black bars.
void letterbox_window_inside(const SceneFrame& frame);

// A mesh flattened onto the plane (a, b, c, d: ax + by + cz + d = 0) from the
// light (x, y, z, w; w = 0 for a direction) after its model matrix, every
// triangle in `colour`, drawn with `mode` and `clip_flags` (draw_mesh). The
// mesh's model matrix is left as `model`, its triangles' lit colours as the
// shadow's.
void planar_shadow_draw(Mesh* mesh, const Camera* camera, const Matrix* model, const float plane[4],
                        const float light[4], uint32_t colour, FillMode mode, uint32_t clip_flags);
