// Camera-facing quads shared by the particle meshes of several scenes.
// Relies on the Mesh record (scene/mesh.h) and core's Vec3.
#include "scene/billboard.h"

const float BILLBOARD_UV[4][2] = {{1.0f, 0.0f}, {1.0f, 1.0f}, {0.0f, 1.0f}, {0.0f, 0.0f}};

void billboard_quad(const Vec3* a, const Vec3* b, const Vec3* centre, float s, MeshVertex* out)
{
    // The corners in order around the quad: +a+b, -a+b, -a-b, +a-b.
    const float signs[4][2] = {{1.0f, 1.0f}, {-1.0f, 1.0f}, {-1.0f, -1.0f}, {1.0f, -1.0f}};
    for (int32_t k = 0; k < 4; ++k) {
        const float sa = signs[k][0], sb = signs[k][1];
        out[k].x = centre->x + (sa * a->x + sb * b->x) * s;
        out[k].y = centre->y + (sa * a->y + sb * b->y) * s;
        out[k].z = centre->z + (sa * a->z + sb * b->z) * s;
    }
}

int32_t billboard_triangles(Mesh* mesh, int32_t quad_count)
{
    if (!mesh || quad_count < 0 || quad_count > mesh->triangle_count / 2 ||
        quad_count > mesh->vertex_count / 4)
        return 0;
    for (int32_t q = 0; q < quad_count; ++q) {
        MeshTriangle* t = mesh->triangles + 2 * q;
        const int32_t a = 4 * q;
        t[0].a = a;
        t[0].b = a + 1;
        t[0].c = a + 2;
        t[1].a = a;
        t[1].b = a + 2;
        t[1].c = a + 3;
        for (int32_t k = 0; k < 2; ++k) {
            t[k].colour = 0xffffffffu;
            t[k].lit_colour = 0xffffffffu;
            t[k].visible = 1;
        }
    }
    return 1;
}
