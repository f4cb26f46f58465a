// Vertex deformers: bulge, free-form lattice, ripple, wave and twist. Each
// rewrites the object-space position of every vertex of a Mesh in place and
// touches nothing else. Relies on the Mesh record and core vector math.
#pragma once

#include "core/core.h"
#include "scene/mesh.h"

#include <cstdint>

struct BulgeParams {
    Vec3 centre;
    Vec3 direction;
    float radius;
    float amount;
};

// 4 x 4 x 4 control points; point (x, y, z) is at index x + 4y + 16z.
struct Lattice {
    Vec3 minimum;
    Vec3 maximum;
    Vec3 points[64];
};

enum : int32_t { DEFORM_AXIS_X = 0, DEFORM_AXIS_Y = 1, DEFORM_AXIS_Z = 2 };

struct RippleParams {
    int32_t axis;
    Vec3 centre;
    float start_weight;
    float end_weight;
    float frequency;
    float phase;
    float decay;
    float amplitude;
    float angle_offset;
};

struct WaveParams {
    int32_t axis;
    int32_t direction_mode; // 0..2 an axis, 3 (1,1,0), 4 (1,0,1), 5 (0,1,1), 6 radial
    Vec3 centre;
    float amplitude;
    float wavelength;
    float phase;
    float falloff_radius; // 0: no falloff
};

struct TwistParams {
    int32_t mode; // 0 about x, 1 about y, 2 about z, 3 all three
    Vec3 centre;
    float size;
    float amount;
};

void deform_bulge(Mesh* mesh, const BulgeParams* params);
void deform_lattice(Mesh* mesh, const Lattice* lattice);
void deform_ripple(Mesh* mesh, const RippleParams* params);
void deform_wave(Mesh* mesh, const WaveParams* params);
void deform_twist(Mesh* mesh, const TwistParams* params);

// The undeformed lattice: the box (-1,-1,-1)..(1,1,1) with evenly spaced points.
void lattice_reset(Lattice* lattice);
// Coefficients (a, b, c, e) of the cubic ((a t + b) t + c) t + e that passes
// through points[0..3] at t = 0, 1/3, 2/3, 1.
void lattice_curve(const Vec3 points[4], Vec3 coefficients[4]);
