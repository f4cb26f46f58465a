// The light tunnel's rules, on their own so that they can be checked without
// the whole scene: the centre line, the two moving lights and their falloff,
// the sphere's flight depth and wobble phases, and the sphere's per-frame
// pose (deform, light, map). Relies on the Mesh and Camera of scene/mesh.h.
#pragma once

#include "scene/mesh.h"

#include <cstdint>

// A point light: intensity at squared distance d2 is 1 - k * d2.
struct TunnelLight {
    float x, y, z;
    float k;
};

// The tunnel's centre line (x, y) at depth parameter z.
void tunnel_path(float z, float* x, float* y);

// The two lights at music time seconds, a = 32 * seconds flown.
void tunnel_lights(float seconds, float a, TunnelLight lights[2]);

// Grey light colour at (x, y, z): each light's intensity raised to its floor
// when below it, the two greys added with per-byte saturation.
uint32_t tunnel_light_colour(const TunnelLight lights[2], float x, float y, float z, float floor0,
                             float floor1);

// Depth of the sphere at beat b (whole beat n): from 320 at beat 80 to 24 at
// beat 84, then bobbing between 24 and 56.
float tunnel_sphere_depth(int32_t n, float b, float seconds);

// The wobble of the four-beat cycle: the ripple half (bulge = 0) or the
// bulge half (bulge = 1), and its envelope 0..1.
struct TunnelWobble {
    int32_t bulge;
    float envelope;
};
TunnelWobble tunnel_wobble(float b);

// Puts the sphere (uv planes, saved vertices and tangents made at load) in
// its pose for this frame: rest pose, wobble, texture coordinates, model
// matrix, camera-space transform, tangent-space light and the second set.
void tunnel_sphere_pose(Mesh* sphere, float seconds, int32_t n, float b, const Camera* camera);
