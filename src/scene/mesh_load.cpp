// Meshes from LightWave objects: converts a post-processed object layer
// (points with smoothed normals, triangle fans with planes and surfaces, the
// layer's TXUV map) into a Mesh.
// Relies on lightwave (object_load) and the Mesh record.
#include "scene/mesh_load.h"

#include "platform/paths.h"

#include <cstdio>
#include <cstdlib>

// A surface colour component (0..1) as an 8-bit channel: x 255, truncated
// toward zero, clamped (NaN gives 0).
static uint32_t channel(float c)
{
    double v = static_cast<double>(c) * 255.0;
    if (!(v > 0.0))
        return 0;
    if (v >= 255.0)
        return 255;
    return static_cast<uint32_t>(v);
}

static uint32_t surface_colour(const Surface* s)
{
    if (!s)
        return 0xFF000000u;
    return 0xFF000000u | channel(s->colour[0]) << 16 | channel(s->colour[1]) << 8 | channel(s->colour[2]);
}

// Why a layer gives no mesh, for the failure record (platform/paths.h).
static const char* const LAYER_FAILURE = "a layer without points or triangles, or out of memory";

Mesh* mesh_build_from_layer(const ObjectLayer* layer, const char* message)
{
    const PointSet* set = layer ? layer->points : nullptr;
    if (!set || set->count <= 0)
        return nullptr;

    int64_t triangles = 0;
    for (int32_t i = 0; i < layer->polygon_count; ++i) {
        uint16_t n = layer->polygons[i].corner_count;
        if (n == 3)
            triangles += 1;
        else if (n > 3)
            triangles += n - 1;
    }
    if (triangles <= 0 || triangles > INT32_MAX)
        return nullptr;

    Mesh* mesh = mesh_create(set->count, static_cast<int32_t>(triangles));
    if (!mesh)
        return nullptr;

    for (int32_t j = 0; j < set->count; ++j) {
        MeshVertex* v = &mesh->vertices[j];
        v->x = set->positions[j].x;
        v->y = set->positions[j].y;
        v->z = set->positions[j].z;
        float* n = &mesh->normals[static_cast<size_t>(j) * 6];
        n[0] = set->normals[j].x;
        n[1] = set->normals[j].y;
        n[2] = set->normals[j].z;
    }

    const VertexMap* uv = set->txuv;
    if (uv && uv->dimension >= 2) {
        for (int32_t k = 0; k < uv->entry_count; ++k) {
            uint32_t p = uv->points[k];
            if (p >= static_cast<uint32_t>(set->count))
                continue;
            mesh->vertices[p].u = uv->values[static_cast<size_t>(k) * uv->dimension];
            mesh->vertices[p].v = uv->values[static_cast<size_t>(k) * uv->dimension + 1];
        }
    }

    int32_t next = 0;
    for (int32_t i = 0; i < layer->polygon_count; ++i) {
        const Polygon* p = &layer->polygons[i];
        if (p->corner_count > 3) {
            std::fputs(message, stdout);
            continue;
        }
        if (p->corner_count != 3)
            continue;
        MeshTriangle* t = &mesh->triangles[next++];
        t->a = static_cast<int32_t>(p->corners[0]);
        t->b = static_cast<int32_t>(p->corners[1]);
        t->c = static_cast<int32_t>(p->corners[2]);
        t->nx = p->normal.x;
        t->ny = p->normal.y;
        t->nz = p->normal.z;
        t->d = p->d;
        t->colour = surface_colour(p->surface);
        t->visible = 1;
    }
    return mesh;
}

Mesh* mesh_load(const char* path)
{
    ObjectLayer* object = object_load(path);
    if (!object)
        return nullptr;
    Mesh* mesh = mesh_build_from_layer(object, "error\n");
    object_free(object);
    if (!mesh)
        path_fail(path, LAYER_FAILURE);
    return mesh;
}

const char* mesh_load_failure()
{
    return path_failure();
}

int32_t mesh_load_layers(const char* path, Mesh*** meshes, int32_t* count)
{
    if (!meshes || !count)
        return 1;
    ObjectLayer* object = object_load(path);
    if (!object)
        return 1;
    int32_t layers = 0;
    for (ObjectLayer* l = object; l; l = l->next)
        ++layers;
    Mesh** array = static_cast<Mesh**>(std::calloc(static_cast<size_t>(layers), sizeof(Mesh*)));
    if (!array) {
        object_free(object);
        path_fail(path, "out of memory");
        return 1;
    }
    int32_t built = 0;
    for (ObjectLayer* l = object; l; l = l->next) {
        array[built] = mesh_build_from_layer(l, "layered error\n");
        if (!array[built]) {
            object_free(object);
            mesh_free_layers(&array, &built);
            *meshes = nullptr;
            *count = 0;
            path_fail(path, LAYER_FAILURE);
            return 1;
        }
        ++built;
    }
    object_free(object);
    *meshes = array;
    *count = layers;
    return 0;
}

void mesh_free_layers(Mesh*** meshes, int32_t* count)
{
    if (!meshes || !count)
        return;
    for (int32_t i = 0; i < *count; ++i)
        mesh_free((*meshes)[i]);
    std::free(*meshes);
    *meshes = nullptr;
    *count = 0;
}
