// The rippling water grid both water scenes float their objects over: a
// 33 x 33 vertex grid 128 units wide and 32 deep, swelled every frame by three
// travelling sines, tilted slightly and carried with the camera; its drawing,
// the planar shadow both scenes cast onto it, and the sliding blurred bands
// both scenes smear on alternate beat pairs. Relies on the Mesh record and
// matrices of scene/mesh.h; the drawing on raster/ and the texture table.
#pragma once

#include "scene/mesh.h"

#include <cstdint>

struct Texture;

enum { WATER_GRID_SIDE = 33, WATER_GRID_CELLS = 32 };

// The grid: vertex (i, j) at index 33 i + j with u = j / 32, v = i / 32 at
// (64 (2u - 1), 0, 16 (2v - 1)), texture coordinates (u, v), colour white;
// triangles (a + 1, a, a + 33) and (a + 1, a + 33, a + 34) for a = 33 i + j,
// base colour white, visible. The texture as given, flags 0. Null on failure.
Mesh* water_grid_create(Texture* texture);

// One scene's swell. At vertex (u, v) and time s:
//   c = sin(1.57 s + 7 pi u), e = sin(0.78 s - row_waves pi v),
//   f = sin(2.39 s - cross_waves pi u v),
//   y = height (f e c / 2 + 1/2) + base, texture (4u + drift s, 3v).
struct WaterSwell {
    float row_waves;
    float cross_waves;
    float height;
    float base;
    float drift;
};

// Heights, white colours and texture coordinates of every grid vertex at
// `seconds`, then the vertex normals as mesh_compute_normals makes them (the
// triangle planes are left alone: the grid is lit per vertex). The mesh must
// come from water_grid_create.
void water_grid_swell(Mesh* water, float seconds, const WaterSwell* swell);

// The grid's model: turned by -0.05 about the vertical axis, then moved to
// (-x, y, 5), so that it stays under a camera standing at x.
void water_grid_place(Mesh* water, float x, float y);

// Marks visible only the grid triangles that can show in the clip window:
// a triangle whose three corners, in front of the near plane, project more
// than a pixel beyond the same side of the window is skipped (the clipped
// drawing would leave nothing of it). The vertices must hold camera-space
// positions and the depth clip's near plane must be the camera's.
void water_grid_cull(Mesh* water, const Camera* camera);

// One frame's water: swelled at `seconds` (water_grid_swell), placed under the
// camera at x (water_grid_place), given `flags`, lit per vertex from `light`
// and drawn clipped with the sepia picture over the grey offset map and the
// inverted environment (texture, depth, second texture, offset), skipping
// the triangles water_grid_cull finds outside the window.
void water_grid_draw(Mesh* water, const Camera* camera, Vec3* light, float seconds, float x,
                     const WaterSwell* swell, uint32_t flags);

// The mesh at `model` flattened onto `plane` from the point `light`
// (matrix_planar_shadow, divided by w), every triangle in the shadow's brown,
// multiplied onto what lies there (flat, depth-tested, clipped). Afterwards
// the mesh's model is `model` and its divide flag is clear.
void water_grid_shadow_draw(Mesh* mesh, const Camera* camera, const Matrix* model, const float plane[4],
                            const float light[4]);

// The sky picture both scenes lay over their horizon: the texture blended at
// (0, LETTERBOX_TOP) with alpha 255 (blend_image, BLEND_ALPHA). A wholly
// opaque texel blends with weight 255 * 255 >> 8 = 254, which keeps
// d * 1 >> 8 = 0 of the screen: the leading rows that are opaque throughout
// are blended once, at load, and copied each frame; the rest is blended.
struct WaterSky {
    const Texture* texture;
    uint32_t* opaque;    // opaque_rows rows of blended pixels, or null
    int32_t opaque_rows; // 0 when the texture is not as wide as the screen
};
// Fills `sky` for `texture` (null allowed: then nothing is drawn). 0, or 1
// when memory runs out (then `sky` holds nothing to free).
int32_t water_grid_sky_prepare(WaterSky* sky, const Texture* texture);
// The blend of the whole texture onto the screen, as blend_image would (row
// work of the drawing share: see queued.h).
void water_grid_sky_draw(const WaterSky* sky);
void water_grid_sky_free(WaterSky* sky);

// How far the outer blurred bands stand from the middle one: 92 (1 - h)^4
// pixels, h the position within the current pair of beats.
int32_t water_grid_band_offset(float b);
// The three blurred bands, each 20 pixels wide, blurred in this order: the
// outer one before `middle` moved out by w = water_grid_band_offset(b), 64
// passes; [middle, middle + 20), 32 passes; the outer one after it moved out
// by w, 64 passes. `blur` is blur_rows or blur_columns.
void water_grid_bands_blur(float b, int32_t middle, void (*blur)(int32_t from, int32_t to, int32_t passes));
