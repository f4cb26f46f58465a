// Lighting passes (flat, Gouraud, tangent-space, inverted, specular) and the
// generated texture coordinates. Every pass reads the transformed normals that
// mesh_transform wrote and the Mesh's normal matrix; relies on core vector math.
#include "scene/lighting.h"

#include <cmath>

namespace
{

// The normal matrix's upper 3x3 applied to a direction (row vector on the left).
Vec3 rotate(const Matrix& m, const float* d)
{
    Vec3 out;
    out.x = d[0] * m.m[0] + d[1] * m.m[4] + d[2] * m.m[8];
    out.y = d[0] * m.m[1] + d[1] * m.m[5] + d[2] * m.m[9];
    out.z = d[0] * m.m[2] + d[1] * m.m[6] + d[2] * m.m[10];
    return out;
}

// trunc(byte * f) clamped to 0..255 (NaN gives 0), so a factor above 1 or a
// long light never carries into the neighbouring byte.
uint32_t scaled_byte(uint32_t byte, float f)
{
    float v = static_cast<float>(byte) * f;
    if (!(v > 0.0f))
        return 0;
    if (v >= 255.0f)
        return 255;
    return static_cast<uint32_t>(v);
}

uint32_t scale_colour(uint32_t colour, float f)
{
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8)
        out |= scaled_byte((colour >> shift) & 0xFFu, f) << shift;
    return out;
}

uint32_t grey_of(float f)
{
    return scaled_byte(255, f) * 0x01010101u;
}

const float* object_normal(const Mesh* mesh, int32_t i)
{
    return mesh->normals + 6 * i;
}
Vec3 transformed_normal(const Mesh* mesh, int32_t i)
{
    const float* n = mesh->normals + 6 * i + 3;
    return Vec3{n[0], n[1], n[2]};
}
Vec3 triangle_normal(const MeshTriangle& t)
{
    return Vec3{t.tnx, t.tny, t.tnz};
}

uint32_t encode_vector(const Vec3& t)
{
    return light_encode_component(t.x) << 16 | light_encode_component(t.y) << 8 | light_encode_component(t.z);
}

// Tangent space of vertex i: T and N rotated into camera space,
// B = (N x T) * handedness.
void tangent_frame(const Mesh* mesh, int32_t i, Vec3* t, Vec3* b, Vec3* n)
{
    const float* tangent = mesh->tangents + 7 * i;
    *t = rotate(mesh->normal_matrix, tangent);
    *n = rotate(mesh->normal_matrix, object_normal(mesh, i));
    Vec3 cross;
    vec3_cross(n, t, &cross);
    vec3_scale(&cross, tangent[6], b);
}

// v expressed in the frame (T, B, N), normalised.
Vec3 to_tangent_space(const Vec3& v, const Vec3& t, const Vec3& b, const Vec3& n)
{
    Vec3 local{vec3_dot(&v, &t), vec3_dot(&v, &b), vec3_dot(&v, &n)};
    Vec3 out;
    vec3_normalize(&local, &out);
    return out;
}

bool valid(const Mesh* mesh)
{
    return mesh && mesh->vertices && mesh->normals && mesh->triangles;
}

} // namespace

uint32_t light_encode_component(float x)
{
    float v = std::floor((x * 0.5f + 0.5f) * 255.0f);
    if (std::isnan(v))
        return 127;
    if (v <= 0.0f)
        return 0;
    if (v >= 255.0f)
        return 255;
    return static_cast<uint32_t>(v);
}

uint32_t colour_add_saturate(uint32_t a, uint32_t b)
{
    // c marks the bytes whose sum overflows (top bit of the halved sum);
    // m widens each mark to 0xFF.
    uint32_t c = ((a & b) + (((a ^ b) & 0xFEFEFEFEu) >> 1)) & 0x80808080u;
    uint32_t m = (c << 1) - (c >> 7);
    return (a | m) + (b & ~m);
}

void mesh_light(Mesh* mesh, Vec3* light, int32_t mode)
{
    if (!valid(mesh) || !light)
        return;
    bool two_sided = (mesh->flags & MESH_TWO_SIDED) != 0;
    if (mode == LIGHT_PER_TRIANGLE) {
        for (int32_t i = 0; i < mesh->triangle_count; ++i) {
            MeshTriangle& tri = mesh->triangles[i];
            Vec3 n = triangle_normal(tri);
            float d = vec3_dot(&n, light);
            if (two_sided)
                d = std::fabs(d);
            if (d < 0.0f)
                d = 0.0f;
            tri.lit_colour = scale_colour(tri.colour, d);
        }
    } else if (mode == LIGHT_PER_VERTEX) {
        for (int32_t i = 0; i < mesh->vertex_count; ++i) {
            Vec3 n = transformed_normal(mesh, i);
            float d = vec3_dot(&n, light);
            if (two_sided)
                d = std::fabs(d);
            if (d < 0.0f)
                d = 0.0f;
            mesh->vertices[i].colour = grey_of(d);
        }
    } else if (mode == LIGHT_TANGENT) {
        vec3_normalize(light, light);
        if (!mesh->tangents)
            return;
        for (int32_t i = 0; i < mesh->vertex_count; ++i) {
            Vec3 t, b, n;
            tangent_frame(mesh, i, &t, &b, &n);
            vec3_normalize(&t, &t);
            vec3_normalize(&n, &n);
            vec3_normalize(&b, &b);
            mesh->vertices[i].colour = encode_vector(to_tangent_space(*light, t, b, n));
        }
    }
}

void mesh_light_inverted(Mesh* mesh, Vec3* light, int32_t mode)
{
    if (!valid(mesh) || !light)
        return;
    if (mode == LIGHT_PER_TRIANGLE) {
        for (int32_t i = 0; i < mesh->triangle_count; ++i) {
            MeshTriangle& tri = mesh->triangles[i];
            Vec3 n = triangle_normal(tri);
            float d = vec3_dot(&n, light);
            if (d < 0.0f)
                d = 0.0f;
            tri.lit_colour = scale_colour(tri.colour, 1.0f - d);
        }
    } else if (mode == LIGHT_PER_VERTEX) {
        for (int32_t i = 0; i < mesh->vertex_count; ++i) {
            Vec3 n = transformed_normal(mesh, i);
            float d = vec3_dot(&n, light);
            if (d < 0.0f)
                d = 0.0f;
            mesh->vertices[i].colour = grey_of(1.0f - d);
        }
    } else if (mode == LIGHT_TANGENT) {
        vec3_normalize(light, light);
        if (!mesh->tangents)
            return;
        for (int32_t i = 0; i < mesh->vertex_count; ++i) {
            Vec3 t, b, n;
            tangent_frame(mesh, i, &t, &b, &n);
            vec3_normalize(&b, &b);
            Vec3 r;
            vec3_reflect(&n, light, &r); // N - 2(N.L)L
            vec3_normalize(&r, &r);
            mesh->vertices[i].colour = encode_vector(to_tangent_space(r, t, b, n));
        }
    }
}

void mesh_light_specular(Mesh* mesh, const Vec3* light, float exponent, int32_t mode)
{
    if (!valid(mesh) || !light)
        return;
    // Half vector between the light and the view direction (0, 0, 1); k is
    // the reciprocal of its squared length, not of its length.
    Vec3 h;
    vec3_normalize(light, &h);
    h.z = h.z + 1.0f;
    float k = 1.0f / vec3_dot(&h, &h);
    bool two_sided = (mesh->flags & MESH_TWO_SIDED) != 0;
    auto highlight = [&](const Vec3& n, uint32_t* colour) {
        float d = vec3_dot(&n, &h);
        if (two_sided)
            d = std::fabs(d);
        if (d > 0.0f) {
            float s = core_pow(k * d, exponent);
            *colour = colour_add_saturate(*colour, grey_of(s));
        }
    };
    if (mode == LIGHT_PER_TRIANGLE) {
        for (int32_t i = 0; i < mesh->triangle_count; ++i)
            highlight(triangle_normal(mesh->triangles[i]), &mesh->triangles[i].lit_colour);
    } else if (mode == LIGHT_PER_VERTEX) {
        for (int32_t i = 0; i < mesh->vertex_count; ++i)
            highlight(transformed_normal(mesh, i), &mesh->vertices[i].colour);
    }
}

void mesh_uv_from_planes(Mesh* mesh, const float plane_u[4], const float plane_v[4])
{
    if (!mesh || !mesh->vertices || !plane_u || !plane_v)
        return;
    for (int32_t i = 0; i < mesh->vertex_count; ++i) {
        MeshVertex& v = mesh->vertices[i];
        v.u = plane_u[0] * v.x + plane_u[1] * v.y + plane_u[2] * v.z + plane_u[3];
        v.v = plane_v[0] * v.x + plane_v[1] * v.y + plane_v[2] * v.z + plane_v[3];
    }
}

void mesh_offset_second_uv(Mesh* mesh, const float* offset)
{
    if (!mesh || !mesh->vertices || !offset)
        return;
    float k = *offset;
    for (int32_t i = 0; i < mesh->vertex_count; ++i) {
        MeshVertex& v = mesh->vertices[i];
        v.u2 = v.u + k;
        v.v2 = v.v;
    }
}

namespace
{

// The sphere map of each view-space normal into the coordinate pair (u, v)
// or (u2, v2) of its vertex.
void sphere_map_into(Mesh* mesh, float MeshVertex::*u, float MeshVertex::*v)
{
    if (!mesh || !mesh->vertices || !mesh->normals)
        return;
    for (int32_t i = 0; i < mesh->vertex_count; ++i) {
        Vec3 n = transformed_normal(mesh, i);
        mesh->vertices[i].*u = (n.x + 1.0f) * 0.5f;
        mesh->vertices[i].*v = (1.0f - n.y) * 0.5f;
    }
}

} // namespace

void mesh_sphere_map(Mesh* mesh)
{
    sphere_map_into(mesh, &MeshVertex::u, &MeshVertex::v);
}

void mesh_sphere_map_second(Mesh* mesh)
{
    sphere_map_into(mesh, &MeshVertex::u2, &MeshVertex::v2);
}

void mesh_reflection_map(Mesh* mesh)
{
    if (!mesh || !mesh->vertices || !mesh->normals)
        return;
    for (int32_t i = 0; i < mesh->vertex_count; ++i) {
        Vec3 n = transformed_normal(mesh, i);
        // n - 2(n.V)V with V = (0, 0, -1) only flips z.
        Vec3 r{n.x, n.y, -n.z};
        vec3_normalize(&r, &r);
        MeshVertex& v = mesh->vertices[i];
        v.u = r.z >= 0.0f ? (r.x + 1.0f) * 0.5f : 1.0f - 0.5f * r.x;
        v.v = (r.y + 1.0f) * 0.5f;
    }
}
