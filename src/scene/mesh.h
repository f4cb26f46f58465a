// The Mesh record (indexed triangles with per-vertex and per-triangle data),
// row-vector matrices, the camera and the per-frame transform.
// Relies on core (Vec3).
#pragma once

#include "core/core.h"

#include <cstdint>

struct Texture;

enum : uint32_t {
    MESH_TWO_SIDED = 1u, // lighting uses |N.L|; back faces are drawn
    MESH_DIVIDE_W = 2u,  // the vertex transform divides by w
};

// Sixteen floats, row-major; points are row vectors multiplied on the left,
// translation in the fourth row; A.B applies A first.
struct Matrix {
    float m[16];
};

struct MeshVertex {
    float x, y, z;        // object space
    float tx, ty, tz, tw; // transformed (x/w, y/w, z/w, 1/w with the divide)
    float u, v;           // first texture coordinate set
    float u2, v2;         // second set
    uint32_t colour;      // 0xAARRGGBB, written by lighting
};
static_assert(sizeof(MeshVertex) == 48, "MeshVertex is twelve 32-bit words");

struct MeshTriangle {
    int32_t a, b, c;
    float nx, ny, nz, d; // object-space plane: d = -(n . P(a))
    float tnx, tny, tnz; // transformed normal
    uint32_t colour;     // base colour
    uint32_t lit_colour; // written by lighting
    uint32_t visible;    // 1 = draw, 0 = skip
    float depth_key;     // reserved
};
static_assert(sizeof(MeshTriangle) == 56, "MeshTriangle is fourteen 32-bit words");

struct Mesh {
    uint32_t flags;
    int32_t vertex_count;
    MeshVertex* vertices;
    MeshVertex* saved_vertices; // rest pose, or null
    float* normals;             // vertex_count * 6: object normal, transformed normal
    float* tangents;            // vertex_count * 7: tangent, bitangent, handedness; or null
    int32_t triangle_count;
    MeshTriangle* triangles;
    int32_t* draw_order;
    Texture* texture; // borrowed, never freed through the mesh
    Matrix model;
    Matrix normal_matrix;
};

struct Camera {
    Vec3 eye;
    Vec3 target;
    Vec3 direction; // output
    float near, far;
    float fov; // degrees, vertical
    float viewport_x, viewport_y, viewport_width, viewport_height;
    Matrix view;       // output: world to camera
    Matrix projection; // output
    Matrix viewport;   // output
    Matrix screen;     // output: projection . viewport
};

// ---- Mesh record ----
Mesh* mesh_create(int32_t vertex_count, int32_t triangle_count);
void mesh_free(Mesh* mesh);
int32_t mesh_save_vertices(Mesh* mesh);
void mesh_restore_vertices(Mesh* mesh);
void mesh_compute_normals(Mesh* mesh);
int32_t mesh_compute_tangents(Mesh* mesh);

// ---- Matrices ----
void matrix_identity(Matrix* out);
void matrix_translation(Matrix* out, float x, float y, float z);
void matrix_scale(Matrix* out, float x, float y, float z);
void matrix_rotation_x(Matrix* out, float t);
void matrix_rotation_y(Matrix* out, float t);
void matrix_rotation_z(Matrix* out, float t);
void matrix_rotation_yxz(Matrix* out, float y, float x, float z);
void matrix_multiply(const Matrix* a, const Matrix* b, Matrix* out);
void matrix_transpose(const Matrix* src, Matrix* dst);
void matrix_inverse(const Matrix* src, Matrix* dst);
void matrix_look_at(Matrix* out, const Vec3* eye, const Vec3* target);
void matrix_perspective(Matrix* out, float aspect, float fov_x, float fov_y, float near, float far);
void matrix_viewport(Matrix* out, float x, float y, float width, float height);
void matrix_planar_shadow(Matrix* out, const float plane[4], const float light[4]);
void transform_point(const Matrix* m, const Vec3* p, Vec3* out);
void rotate_direction(const Matrix* m, const Vec3* d, Vec3* out);

// ---- Camera and per-frame set-up ----
void camera_update(Camera* camera);
void mesh_frame_matrices(const Camera* camera, const Matrix* model, Matrix* out_full, Matrix* out_normal);
// What mesh_transform transforms besides the positions.
enum : uint32_t {
    TRANSFORM_NORMALS = 1u,  // vertex normals
    TRANSFORM_TANGENTS = 2u, // tangents, into the bitangent slot (meshes with tangents only)
    TRANSFORM_PLANES = 4u,   // triangle plane normals
};
void mesh_transform(Mesh* mesh, const Matrix* matrix, const Matrix* normal_matrix, uint32_t what);
// The per-mesh step of a scene frame: model.view from mesh->model and the
// camera's view, mesh->normal_matrix from it (as mesh_frame_matrices does),
// then mesh_transform into camera space, ready for lighting and drawing.
void mesh_transform_view(Mesh* mesh, const Camera* camera, uint32_t what);
