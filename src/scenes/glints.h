// Flare glints shared by the ribbon, spikeball, collider and twister scenes: a
// mesh of textured quads, each showing one cell of the 4 x 4 flare atlas chosen
// by how strongly its vertex faces the light (the twister's show the whole
// picture), grey by the same weight.
// Relies on the Mesh record (scene/mesh.h).
#pragma once

#include "core/core.h"
#include "scene/mesh.h"

#include <cstdint>

struct Texture;

// Cell origins of the atlas along u and along v.
extern const float flare_cells[4];

// A glint mesh with room for `quads` quads: the triangles of
// billboard_triangles (4q, 4q+1, 4q+2) and (4q, 4q+2, 4q+3), white, visible;
// the atlas as texture, MESH_TWO_SIDED; counts 0 until glint_mesh_set_count.
// Null on failure.
Mesh* glint_mesh_create(int32_t quads, Texture* atlas);
// Sets the mesh's counts to `count` quads (4 vertices, 2 triangles each).
void glint_mesh_set_count(Mesh* mesh, int32_t count);

// Atlas cell of a glint of weight l (0 barely facing, 1 facing straight):
// (int)(16 - 16 l), kept within 0..15 (a weight of 0 or NaN gives 15).
int32_t glint_cell(float l);
// The four corners of an upright square of half-size `half` about centre, in
// the order (+, +), (+, -), (-, -), (-, +) in x and y, all at z.
void glint_square(const Vec3* centre, float half, float z, Vec3 corners[4]);
// Writes the four vertices of quad q: the corners, the texture coordinates
// uv[i] and `colour`; the triangles are left as they are.
void glint_quad(Mesh* mesh, int32_t q, const Vec3 corners[4], const float uv[4][2], uint32_t colour);
// Writes quad q: the four corners, the cell's texture coordinates (cu + 1/4, cv),
// (cu + 1/4, cv + 1/4), (cu, cv + 1/4), (cu, cv), and grey(l * 255) as vertex
// colour and as both triangles' base and lit colour.
void glint_write(Mesh* mesh, int32_t q, const Vec3 corners[4], float l);
