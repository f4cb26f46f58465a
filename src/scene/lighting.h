// Per-frame lighting of a transformed Mesh (flat, Gouraud and tangent-space
// light vectors for the bump-mapping fill modes) and the passes that generate
// texture coordinates (planar, scrolled second set, sphere and reflection maps).
// Relies on the Mesh record and its transformed normals (scene/mesh.h).
#pragma once

#include "core/core.h"
#include "scene/mesh.h"

#include <cstdint>

// Light modes of mesh_light, mesh_light_inverted and mesh_light_specular.
enum : int32_t {
    LIGHT_PER_TRIANGLE = 0, // writes each triangle's lit colour
    LIGHT_PER_VERTEX = 1,   // writes each vertex colour (grey)
    LIGHT_TANGENT = 2,      // writes each vertex colour as an encoded tangent-space vector
};

// Diffuse lighting with a camera-space light pointing towards the light.
// In mode 2 the light is normalised in place (callers rely on it); mode 2 on
// a mesh without tangents leaves the mesh untouched.
void mesh_light(Mesh* mesh, Vec3* light, int32_t mode);
// The complementary variant: the factor is 1 - N.L (dark where lit); mode 2
// encodes the reflected light. Also normalises the light in place in mode 2.
void mesh_light_inverted(Mesh* mesh, Vec3* light, int32_t mode);
// Adds a grey highlight pow(k * N.h, exponent) with a per-byte saturating add
// (modes 0 and 1 only).
void mesh_light_specular(Mesh* mesh, const Vec3* light, float exponent, int32_t mode);
// Per-byte sum of two colours, each byte clamped at 255.
uint32_t colour_add_saturate(uint32_t a, uint32_t b);

// First texture set from two planes (a, b, c, d): u = (a, b, c) . P + d.
void mesh_uv_from_planes(Mesh* mesh, const float plane_u[4], const float plane_v[4]);
// Second set = first set shifted in u by *offset (read once per call).
void mesh_offset_second_uv(Mesh* mesh, const float* offset);
// Environment coordinates from the transformed normals: u = (n.x + 1) / 2,
// v = (1 - n.y) / 2, into the first or the second set.
void mesh_sphere_map(Mesh* mesh);
void mesh_sphere_map_second(Mesh* mesh);
// Environment coordinates from the view direction reflected about the
// transformed normal, into the first set.
void mesh_reflection_map(Mesh* mesh);

// Tangent-space encoding of one unit-vector component: floor((x / 2 + 1/2) * 255),
// clamped to 0..255, NaN gives 127.
uint32_t light_encode_component(float x);
