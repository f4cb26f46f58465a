// The metaball field: a scalar value and an accumulated gradient sampled on a
// regular cubic grid, balls added into it, and its isosurface built by
// marching cubes and drawn through the clipper and the fill dispatch.
// Relies on scene/ (Matrix, Camera, MeshVertex) and raster/ (drawing).
#pragma once

#include "core/core.h"
#include "raster/raster.h"
#include "scene/mesh.h"

#include <cstdint>

struct Texture;
struct FieldScratch;

// One sample: position, gradient, value (seven floats, in this order).
struct FieldPoint {
    float x, y, z;
    float gx, gy, gz;
    float value;
};
static_assert(sizeof(FieldPoint) == 28, "FieldPoint is seven 32-bit floats");

struct MetaField {
    int32_t cells;           // N cells per axis
    int32_t point_count;     // (N + 1)^3; point (i, j, k) at (i (N + 1) + j) (N + 1) + k
    FieldPoint* grid_points; // i along x, j along y, k along z
    // N^3 cubes, numbered with k fastest, then j, then i. Corner n of the cube
    // with lowest point (i, j, k) is, for n = 0..7: (i,j,k), (i,j,k+1),
    // (i,j+1,k+1), (i,j+1,k), (i+1,j,k), (i+1,j,k+1), (i+1,j+1,k+1), (i+1,j+1,k).
    int32_t cube_count;
    Vec3 light;            // light direction, normalised by every polygonisation
    Matrix model;          // set by the owner every frame
    float size;            // the edge given to field_layout; 0 before it (no grid to bound by)
    FieldScratch* scratch; // the surface walk's own: below-iso flags, edge vertices
};

enum { FIELD_MAX_CELLS = 1024 };

// The classic marching-cubes tables: the edges cut for each of the 256 cube
// indices (bit n: corner n below the iso level), and up to five triangles of
// edge numbers per index, ended by -1. Edge e joins field_edge_corners[e].
extern const uint16_t field_edge_table[256];
extern const int8_t field_triangle_table[256][16];
extern const uint8_t field_edge_corners[12][2];

// A field of `cells` (1..FIELD_MAX_CELLS) per axis with every point zero and
// light (0, 0, 1); null when cells is out of range or memory runs out.
MetaField* field_create(int32_t cells);
// Frees the field; accepts null.
void field_destroy(MetaField* field);
// Places the points on a cube of edge `size` centred on the origin
// (size * index / N - size / 2 per axis), zeroes gradients and values and
// fills the cube corners.
void field_layout(MetaField* field, float size);
// Multiplies every value and gradient by factor and clears the cube flags.
void field_scale(MetaField* field, float factor);
// Adds a ball of strength r at centre: every point with squared distance
// d2 <= r^3 gains r^2 / d2 in value and D * (r / d2^2) in gradient (D the
// offset from the centre, d2 = 0 taken as 0.0001). An increment that would
// leave a value or gradient non-finite is skipped. Only the points within
// the bounding box of the reach are visited.
void field_add_ball(MetaField* field, const Vec3* centre, float r);

// The surface of one cube: 3 * triangle_count camera-space vertices, three per
// triangle, in drawing order.
typedef void (*FieldSurfaceSink)(const MeshVertex* vertices, int32_t triangle_count, void* context);
// Builds the isosurface cube by cube (in cube order, skipping cubes that no
// surface crosses) and hands each cube's triangles to sink. Positions are
// model.view-transformed, normals interpolated from the gradients, lit
// against the light (grey in all four bytes) and sphere-mapped into both
// coordinate sets; each table triangle (a, b, c) is emitted as a, c, b.
void field_surface(MetaField* field, float iso, const Camera* camera, FieldSurfaceSink sink, void* context);
// Builds and draws the isosurface at `iso` with the texture and fill mode:
// near-plane and window clipping, back faces culled.
void field_polygonise(MetaField* field, float iso, const Camera* camera, const Texture* texture,
                      FillMode fill_mode);
