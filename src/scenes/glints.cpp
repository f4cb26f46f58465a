// Flare glints: the glint mesh, the atlas cell of a weight and the quad
// writers the ribbon, spikeball, collider and twister scenes share.
// Relies on the Mesh record, the billboard triangles and core's grey and
// float_to_int.
#include "scenes/glints.h"

#include "scene/billboard.h"

const float flare_cells[4] = {0.0f, 0.25f, 0.5f, 0.75f};

Mesh* glint_mesh_create(int32_t quads, Texture* atlas)
{
    if (quads <= 0 || quads > (1 << 28))
        return nullptr;
    Mesh* mesh = mesh_create(4 * quads, 2 * quads);
    if (!mesh)
        return nullptr;
    mesh->texture = atlas;
    mesh->flags = MESH_TWO_SIDED;
    matrix_identity(&mesh->model);
    billboard_triangles(mesh, quads);
    glint_mesh_set_count(mesh, 0);
    return mesh;
}

void glint_mesh_set_count(Mesh* mesh, int32_t count)
{
    if (!mesh)
        return;
    mesh->vertex_count = 4 * count;
    mesh->triangle_count = 2 * count;
}

int32_t glint_cell(float l)
{
    if (l != l)
        return 15;
    const int32_t k = float_to_int(16.0f - 16.0f * l);
    if (k < 0)
        return l > 0.0f ? 0 : 15; // out of range of the conversion: beyond either end
    return k > 15 ? 15 : k;
}

void glint_square(const Vec3* centre, float half, float z, Vec3 corners[4])
{
    corners[0] = {centre->x + half, centre->y + half, z};
    corners[1] = {centre->x + half, centre->y - half, z};
    corners[2] = {centre->x - half, centre->y - half, z};
    corners[3] = {centre->x - half, centre->y + half, z};
}

void glint_quad(Mesh* mesh, int32_t q, const Vec3 corners[4], const float uv[4][2], uint32_t colour)
{
    MeshVertex* v = mesh->vertices + 4 * q;
    for (int32_t i = 0; i < 4; ++i) {
        v[i].x = corners[i].x;
        v[i].y = corners[i].y;
        v[i].z = corners[i].z;
        v[i].u = uv[i][0];
        v[i].v = uv[i][1];
        v[i].colour = colour;
    }
}

void glint_write(Mesh* mesh, int32_t q, const Vec3 corners[4], float l)
{
    const int32_t k = glint_cell(l);
    const float cu = flare_cells[k % 4];
    const float cv = flare_cells[(k / 4) % 4];
    const float uv[4][2] = {{cu + 0.25f, cv}, {cu + 0.25f, cv + 0.25f}, {cu, cv + 0.25f}, {cu, cv}};
    const uint32_t colour = grey(float_to_int(l * 255.0f));
    glint_quad(mesh, q, corners, uv, colour);
    MeshTriangle* t = mesh->triangles + 2 * q;
    for (int32_t i = 0; i < 2; ++i) {
        t[i].colour = colour;
        t[i].lit_colour = colour;
    }
}
