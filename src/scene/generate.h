// Meshes built procedurally: a flat ring in the XZ plane (the loading screen)
// and a capped tube with texture coordinates. Relies on the Mesh record.
#pragma once

#include "scene/mesh.h"

#include <cstdint>

// 2*segments vertices and triangles; the last segment closes on the first
// point pair. None when segments < 2 or the mesh cannot be allocated.
Mesh* mesh_create_ring(int32_t segments, float outer_radius, float inner_radius, uint32_t colour);
// segments*rings vertices, 2*segments*rings triangles (caps, then sides).
// None when segments < 1, rings < 2 or the mesh cannot be allocated.
Mesh* mesh_create_tube(int32_t segments, int32_t rings, float radius, float height);
