// Camera-facing quads for the scenes' particle meshes (sparkles, debris,
// glints): the four corner positions of a quad spanned by two axes, and the
// two triangles per quad that such meshes are built from.
// Relies on the Mesh record (scene/mesh.h) and core's Vec3.
#pragma once

#include "core/core.h"
#include "scene/mesh.h"

#include <cstdint>

// Writes the positions of out[0..3]: centre + (a + b) s, centre + (b - a) s,
// centre - (a + b) s and centre + (a - b) s. Nothing else of the records changes.
void billboard_quad(const Vec3* a, const Vec3* b, const Vec3* centre, float s, MeshVertex* out);
// The texture's corners (u, v) in that order: the picture upright when a
// points up and b right.
extern const float BILLBOARD_UV[4][2];
// The axes the scenes' flat quads are spanned by.
constexpr Vec3 BILLBOARD_X = {1.0f, 0.0f, 0.0f};
constexpr Vec3 BILLBOARD_Y = {0.0f, 1.0f, 0.0f};
constexpr Vec3 BILLBOARD_Z = {0.0f, 0.0f, 1.0f};

// Triangles (4q, 4q + 1, 4q + 2) and (4q, 4q + 2, 4q + 3) for quads q = 0 ..
// quad_count - 1, base and lit colour 0xffffffff, visible. The mesh needs room
// for 4 quad_count vertices and 2 quad_count triangles; 0 when it has not.
int32_t billboard_triangles(Mesh* mesh, int32_t quad_count);
