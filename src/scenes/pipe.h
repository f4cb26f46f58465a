// Motion-path pipe: a tube that grows along a path given by three envelopes
// (x, y and z over time, from a motion file) with a superformula cross-section.
// The pipe owns its Mesh and rebuilds it completely on every grow.
// Relies on the motion envelopes (lightwave/) and the Mesh record (scene/).
#pragma once

#include "lightwave/lightwave.h"
#include "scene/mesh.h"

#include <cstdint>

// Limits pipe_create accepts: vertices per ring, and vertices in all.
enum { PIPE_MAX_SIDES = 1024, PIPE_MAX_VERTICES = 1 << 22 };

struct PipeSectionPoint {
    float x, y;
};

struct Pipe {
    int32_t caps;                         // 0: no end caps are built
    int32_t u_repeat;                     // texture repeats around the tube
    float v_repeat;                       // texture repeats along the whole tube
    int32_t vertex_count, triangle_count; // written into the mesh by the last grow
    int32_t ring_count;                   // rings built by the last grow
    int32_t samples_per_second;           // rings per second of path time
    int32_t sides;                        // vertices per ring
    PipeSectionPoint* section;            // sides points
    float start_time, end_time;
    float shape[7]; // a, b, m, n1, n2, n3, scale
    MotionEnvelope* path_x;
    MotionEnvelope* path_y;
    MotionEnvelope* path_z;
    int32_t ring_capacity; // rings of the whole path: ceil((end - start) * samples_per_second)
    Mesh* mesh;            // room for sides * (ring_capacity + 2) vertices
};

// A pipe over path time start..end with the three path envelopes, or null
// when an argument is unusable (no envelope, fewer than 3 or more than
// PIPE_MAX_SIDES sides, no samples, end not after start, too many vertices)
// or memory runs out. On success the pipe owns the envelopes; on failure the
// caller still does. Counts 0, caps 0, u_repeat 1, v_repeat 1, shape a circle
// of radius 1.
Pipe* pipe_create(float start_time, float end_time, int32_t samples_per_second, int32_t sides,
                  MotionEnvelope* path_x, MotionEnvelope* path_y, MotionEnvelope* path_z);
// Stores the superformula parameters and fills the cross-section: side k at
// angle phi = 2 pi k / sides, r = (|cos(m phi/4)/a|^n2 + |sin(m phi/4)/b|^n3)^(1/n1),
// point (cos phi / r, sin phi / r) * scale, or (0, 0) when r is 0 or not finite.
void pipe_set_shape(Pipe* pipe, float a, float b, float m, float n1, float n2, float n3, float scale);
// Rebuilds the mesh for the path from start_time to t (clamped to end_time);
// empty before start_time or with fewer than two rings.
void pipe_grow(Pipe* pipe, float t);
// Frees the mesh, the section, the three envelopes and the record; null is allowed.
void pipe_free(Pipe* pipe);
