// Generated meshes: the loading-screen ring and the capped tube, with their
// fixed vertex and triangle order. Relies on mesh_create and
// mesh_compute_normals (scene/mesh.h).
#include "scene/generate.h"

#include "core/core.h"

#include <cstdint>

namespace
{


void set_triangle(MeshTriangle* t, int32_t a, int32_t b, int32_t c, uint32_t colour)
{
    t->a = a;
    t->b = b;
    t->c = c;
    t->colour = colour;
    t->visible = 1;
}

} // namespace

Mesh* mesh_create_ring(int32_t segments, float outer_radius, float inner_radius, uint32_t colour)
{
    if (segments < 2 || segments > INT32_MAX / 2)
        return nullptr;
    const int32_t s = segments;
    Mesh* mesh = mesh_create(2 * s, 2 * s);
    if (!mesh)
        return nullptr;
    for (int32_t i = 0; i < s; ++i) {
        // i / (s - 1) spans 0..1, so the last point repeats the first at 2*pi.
        float theta = static_cast<float>(i) / static_cast<float>(s - 1) * CORE_TWO_PI;
        float c = core_cos(theta);
        float n = core_sin(theta);
        // (c + n, c - n) is the unit circle turned by 45 degrees and scaled by sqrt 2.
        MeshVertex& inner = mesh->vertices[i];
        inner.x = (c + n) * inner_radius;
        inner.y = 0.0f;
        inner.z = (c - n) * inner_radius;
        inner.colour = colour;
        MeshVertex& outer = mesh->vertices[s + i];
        outer.x = (c + n) * outer_radius;
        outer.y = 0.0f;
        outer.z = (c - n) * outer_radius;
        outer.colour = colour;
    }
    for (int32_t i = 0; i < s; ++i) {
        int32_t j = (i + 1) % s;
        set_triangle(&mesh->triangles[2 * i], i, s + i, s + j, colour);
        set_triangle(&mesh->triangles[2 * i + 1], i, s + j, j, colour);
        mesh->triangles[2 * i].lit_colour = colour;
        mesh->triangles[2 * i + 1].lit_colour = colour;
    }
    mesh_compute_normals(mesh);
    return mesh;
}

Mesh* mesh_create_tube(int32_t segments, int32_t rings, float radius, float height)
{
    if (segments < 1 || rings < 2 || segments > INT32_MAX / 2 / rings)
        return nullptr;
    const int32_t s = segments;
    const int32_t r = rings;
    Mesh* mesh = mesh_create(s * r, 2 * s * r);
    if (!mesh)
        return nullptr;
    const float step = CORE_TWO_PI / static_cast<float>(s);
    for (int32_t i = 0; i < r; ++i) {
        float y = -height / 2.0f + static_cast<float>(i) * height / static_cast<float>(r - 1);
        float theta = 0.0f; // accumulated by repeated addition, restarting on every ring
        for (int32_t j = 0; j < s; ++j) {
            float c = core_cos(theta);
            float n = core_sin(theta);
            MeshVertex& v = mesh->vertices[s * i + j];
            v.x = (c + n) * radius;
            v.y = y;
            v.z = (n - c) * radius;
            v.u = static_cast<float>(j) / static_cast<float>(s);
            v.v = static_cast<float>(i) / static_cast<float>(r - 1);
            theta += step;
        }
    }
    MeshTriangle* t = mesh->triangles;
    const uint32_t white = 0xFFFFFFFFu;
    for (int32_t i = 0; i < s; ++i) // bottom cap: a fan over ring 0 from its vertex 0
        set_triangle(t++, 0, i, (i + 1) % s, white);
    const int32_t o = s * (r - 1);
    for (int32_t j = 0; j < s; ++j) // top cap, wound the other way
        set_triangle(t++, o + (j + 1) % s, o + j, o, white);
    for (int32_t k = 0; k < r - 1; ++k) {
        for (int32_t l = 0; l < s; ++l) {
            int32_t a = s * (k + 1) + (l + 1) % s;
            int32_t b = s * k + (l + 1) % s;
            int32_t c = s * k + l;
            int32_t d = s * (k + 1) + l;
            set_triangle(t++, a, b, c, white);
            set_triangle(t++, a, c, d, white);
        }
    }
    mesh_compute_normals(mesh);
    return mesh;
}
