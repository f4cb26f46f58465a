// Lighting passes (flat, Gouraud, tangent-space, inverted, specular) and the
// generated texture coordinates. Every pass reads the transformed normals that
// mesh_transform wrote and the Mesh's normal matrix; the per-vertex passes run
// four vertices at a time in SSE2. Relies on core vector math and lane helpers.
#include "scene/lighting.h"

#include "core/lanes.h"

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

// ---- Four vertices at a time ----------------------------------------------
// Each lane does the scalar pass's operations in their order (single
// precision, no contraction), so each lane's colour is the scalar colour.

struct Lanes3 {
    __m128 x, y, z;
};

// rotate() on four directions.
Lanes3 lanes_rotate(const Matrix& m, const Lanes4& d)
{
    auto row = [&d, &m](int k) {
        const __m128 s =
            _mm_add_ps(_mm_mul_ps(d.x, _mm_set1_ps(m.m[k])), _mm_mul_ps(d.y, _mm_set1_ps(m.m[k + 4])));
        return _mm_add_ps(s, _mm_mul_ps(d.z, _mm_set1_ps(m.m[k + 8])));
    };
    return Lanes3{row(0), row(1), row(2)};
}

Lanes3 lanes_cross(const Lanes3& a, const Lanes3& b)
{
    return Lanes3{_mm_sub_ps(_mm_mul_ps(a.y, b.z), _mm_mul_ps(a.z, b.y)),
                  _mm_sub_ps(_mm_mul_ps(a.z, b.x), _mm_mul_ps(a.x, b.z)),
                  _mm_sub_ps(_mm_mul_ps(a.x, b.y), _mm_mul_ps(a.y, b.x))};
}

__m128 lanes_dot3(const Lanes3& a, const Lanes3& b)
{
    return lanes_dot(a.x, a.y, a.z, b.x, b.y, b.z);
}

// trunc of v clamped to 0..255, NaN giving 0: max() returns its second
// operand for NaN, and below 1 or from 255 on the clamp gives what the
// comparisons of scaled_byte and light_encode_component give.
__m128i lanes_byte(__m128 v)
{
    return _mm_cvttps_epi32(_mm_min_ps(_mm_max_ps(v, _mm_setzero_ps()), _mm_set1_ps(255.0f)));
}

// light_encode_component on four components: floor equals trunc on the
// clamped range, and NaN takes 127.
__m128i lanes_encode(__m128 x)
{
    const __m128 v =
        _mm_mul_ps(_mm_add_ps(_mm_mul_ps(x, _mm_set1_ps(0.5f)), _mm_set1_ps(0.5f)), _mm_set1_ps(255.0f));
    const __m128i nan = _mm_castps_si128(_mm_cmpunord_ps(v, v));
    return _mm_or_si128(_mm_andnot_si128(nan, lanes_byte(v)), _mm_and_si128(nan, _mm_set1_epi32(127)));
}

void store_colours(MeshVertex* v, __m128i colours)
{
    alignas(16) uint32_t c[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(c), colours);
    for (int k = 0; k < 4; ++k)
        v[k].colour = c[k];
}

// encode_vector(to_tangent_space(v, t, b, n)) on four vertices.
__m128i lanes_tangent_colour(const Lanes3& v, const Lanes3& t, const Lanes3& b, const Lanes3& n)
{
    __m128 x = lanes_dot3(v, t), y = lanes_dot3(v, b), z = lanes_dot3(v, n);
    lanes_normalize(&x, &y, &z);
    const __m128i r = _mm_slli_epi32(lanes_encode(x), 16), g = _mm_slli_epi32(lanes_encode(y), 8);
    return _mm_or_si128(_mm_or_si128(r, g), lanes_encode(z));
}

// tangent_frame on vertices i..i+3.
void lanes_tangent_frame(const Mesh* mesh, int32_t i, Lanes3* t, Lanes3* b, Lanes3* n)
{
    const float* tg = mesh->tangents + 7 * i;
    const float* on = mesh->normals + 6 * i;
    *t = lanes_rotate(mesh->normal_matrix, lanes_gather(tg, tg + 7, tg + 14, tg + 21));
    *n = lanes_rotate(mesh->normal_matrix, lanes_gather(on, on + 6, on + 12, on + 18));
    const __m128 handedness = lanes_gather(tg + 3, tg + 10, tg + 17, tg + 24).w;
    const Lanes3 cross = lanes_cross(*n, *t);
    *b = Lanes3{_mm_mul_ps(cross.x, handedness), _mm_mul_ps(cross.y, handedness),
                _mm_mul_ps(cross.z, handedness)};
}

// The diffuse factor d = N.L of vertices i..i+3 (|N.L| when two-sided), as
// grey_of(d) or, inverted, grey_of(1 - d), d below 0 taken as 0.
__m128i lanes_diffuse_grey(const Mesh* mesh, int32_t i, const Vec3& light, bool two_sided, bool inverted)
{
    // Gathered from the last object component on, so that the four floats
    // read stay inside each vertex's six: lanes y, z, w hold the normal.
    const float* p = mesh->normals + 6 * i + 2;
    const Lanes4 n = lanes_gather(p, p + 6, p + 12, p + 18);
    __m128 d = lanes_dot(n.y, n.z, n.w, _mm_set1_ps(light.x), _mm_set1_ps(light.y), _mm_set1_ps(light.z));
    if (two_sided)
        d = _mm_andnot_ps(_mm_set1_ps(-0.0f), d);
    // d < 0 becomes +0; NaN stays NaN (the comparison is false for it).
    d = _mm_andnot_ps(_mm_cmplt_ps(d, _mm_setzero_ps()), d);
    if (inverted)
        d = _mm_sub_ps(_mm_set1_ps(1.0f), d);
    const __m128i byte = lanes_byte(_mm_mul_ps(_mm_set1_ps(255.0f), d));
    return _mm_or_si128(_mm_or_si128(byte, _mm_slli_epi32(byte, 8)),
                        _mm_or_si128(_mm_slli_epi32(byte, 16), _mm_slli_epi32(byte, 24)));
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
        int32_t i = 0;
        for (; i + 4 <= mesh->vertex_count; i += 4)
            store_colours(&mesh->vertices[i], lanes_diffuse_grey(mesh, i, *light, two_sided, false));
        for (; i < mesh->vertex_count; ++i) {
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
        const Lanes3 l{_mm_set1_ps(light->x), _mm_set1_ps(light->y), _mm_set1_ps(light->z)};
        int32_t i = 0;
        for (; i + 4 <= mesh->vertex_count; i += 4) {
            Lanes3 t, b, n;
            lanes_tangent_frame(mesh, i, &t, &b, &n);
            lanes_normalize(&t.x, &t.y, &t.z);
            lanes_normalize(&n.x, &n.y, &n.z);
            lanes_normalize(&b.x, &b.y, &b.z);
            store_colours(&mesh->vertices[i], lanes_tangent_colour(l, t, b, n));
        }
        for (; i < mesh->vertex_count; ++i) {
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
        int32_t i = 0;
        for (; i + 4 <= mesh->vertex_count; i += 4)
            store_colours(&mesh->vertices[i], lanes_diffuse_grey(mesh, i, *light, false, true));
        for (; i < mesh->vertex_count; ++i) {
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
        // The reflection N - 2 (N.L) L per lane as vec3_reflect forms it.
        const Lanes3 l{_mm_set1_ps(light->x), _mm_set1_ps(light->y), _mm_set1_ps(light->z)};
        int32_t i = 0;
        for (; i + 4 <= mesh->vertex_count; i += 4) {
            Lanes3 t, b, n;
            lanes_tangent_frame(mesh, i, &t, &b, &n);
            lanes_normalize(&b.x, &b.y, &b.z);
            const __m128 k = _mm_mul_ps(_mm_set1_ps(2.0f), lanes_dot3(n, l));
            Lanes3 r{_mm_sub_ps(n.x, _mm_mul_ps(k, l.x)), _mm_sub_ps(n.y, _mm_mul_ps(k, l.y)),
                     _mm_sub_ps(n.z, _mm_mul_ps(k, l.z))};
            lanes_normalize(&r.x, &r.y, &r.z);
            store_colours(&mesh->vertices[i], lanes_tangent_colour(r, t, b, n));
        }
        for (; i < mesh->vertex_count; ++i) {
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
