// Projection mapping: a surface whose image block projects (planar, cubic,
// cylindrical, spherical) gets a generated TXUV map over the layer's points,
// which the block then names, so it wins over the file's own UV maps.
// Relies on object_internal.h and core's precision helpers.
#include "lightwave/object_internal.h"

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// The program's single-precision constants, each slightly below its exact
// multiple of pi.
static const float TWO_PI = std::bit_cast<float>(0x40C90FDAu);  // 6.283185
static const float PI = std::bit_cast<float>(0x40490FDAu);      // 3.1415925
static const float HALF_PI = std::bit_cast<float>(0x3FC90FDAu); // 1.5707963

namespace
{

struct Frame {
    Vec3 centre;
    Vec3 size;
};

struct UV {
    float u, v;
};

} // namespace

static float normalised(float p, float o, float s)
{
    return (p - o) / s + 0.5f;
}

static UV planar(const Frame* f, const Vec3* p, uint16_t axis)
{
    float x = normalised(p->x, f->centre.x, f->size.x);
    float y = normalised(p->y, f->centre.y, f->size.y);
    float z = normalised(p->z, f->centre.z, f->size.z);
    switch (axis) {
    case 1:
        return {z, y};
    case 2:
        return {x, z};
    case 3:
        return {x, y};
    default:
        return {0.0f, 0.0f};
    }
}

// Dominant axis of a polygon's normal from its first three corners:
// 1 X, 2 Y, 3 Z (ties with Z go to Z, an X-Y tie above Z to X).
static int cubic_axis(const Vec3* p0, const Vec3* p1, const Vec3* p2)
{
    Vec3 e1, e2, n;
    vec3_sub(p1, p0, &e1);
    vec3_sub(p2, p0, &e2);
    vec3_cross(&e1, &e2, &n);
    float ax = std::fabs(n.x), ay = std::fabs(n.y), az = std::fabs(n.z);
    if (ax >= ay && ax > az)
        return 1;
    if (ay > ax && ay > az)
        return 2;
    return 3;
}

static UV cubic(const Frame* f, const Vec3* p, int dominant)
{
    float x = normalised(p->x, f->centre.x, f->size.x);
    float y = normalised(p->y, f->centre.y, f->size.y);
    float z = normalised(p->z, f->centre.z, f->size.z);
    if (dominant == 1)
        return {z, y};
    if (dominant == 2)
        return {x, z};
    return {x, y};
}

static float cyl(float a, float b)
{
    float angle;
    if (a == 0.0f && b == 0.0f)
        return 0.0f;
    if (b == 0.0f)
        angle = a >= 0.0f ? -HALF_PI : HALF_PI;
    else
        angle = -core_atan2(a, b);
    if (angle < 0.0f)
        angle += TWO_PI;
    return angle;
}

static UV cylindrical(const Frame* f, const Vec3* p, uint16_t axis)
{
    Vec3 d;
    vec3_sub(p, &f->centre, &d);
    float angle, v;
    if (axis == 1) {
        angle = cyl(d.x, d.z);
        v = d.x / f->size.x + 0.5f;
    } else if (axis == 2) {
        angle = cyl(-d.x, d.z);
        v = d.y / f->size.y + 0.5f;
    } else {
        angle = cyl(-d.x, -d.y);
        v = d.z / f->size.z + 0.5f;
    }
    // Negative v is moved up by whole units into [0, 1); for -inf it becomes NaN.
    if (v < 0.0f)
        v += std::ceil(-v);
    return {1.0f - angle / TWO_PI, v};
}

static void sph(float a, float b, float c, float* lon, float* lat)
{
    if (a == 0.0f && c == 0.0f) {
        *lon = 0.0f;
        *lat = b == 0.0f ? 0.0f : (b > 0.0f ? HALF_PI : -HALF_PI);
        return;
    }
    *lon = -core_atan2(a, c);
    if (*lon < 0.0f)
        *lon += TWO_PI;
    float r = core_sqrt(c * c + a * a);
    if (r == 0.0f)
        *lat = b >= 0.0f ? HALF_PI : -HALF_PI;
    else
        *lat = static_cast<float>(std::atan(static_cast<double>(b / r)));
}

static UV spherical(const Frame* f, const Vec3* p, uint16_t axis)
{
    Vec3 d;
    vec3_sub(p, &f->centre, &d);
    float lon, lat;
    if (axis == 1)
        sph(-d.z, -d.x, -d.y, &lon, &lat);
    else if (axis == 2)
        sph(-d.x, -d.y, -d.z, &lon, &lat);
    else
        sph(-d.x, d.z, -d.y, &lon, &lat);
    return {1.0f - lon / TWO_PI, 0.5f - lat / PI};
}

static UV project_point(uint16_t projection, const Frame* f, const Vec3* p, uint16_t axis, int dominant)
{
    switch (projection) {
    case LWO_PROJECTION_CUBIC:
        return cubic(f, p, dominant);
    case LWO_PROJECTION_CYLINDRICAL:
        return cylindrical(f, p, axis);
    default:
        return spherical(f, p, axis);
    }
}

// Builds the map of one projecting block over the whole layer.
static int32_t run_projection(ObjectLayer* layer, Block* block)
{
    PointSet* set = layer->points;
    const ImageMap* im = block->image_map;
    if (!set || set->count <= 0 || !block->texture_map)
        return LWO_OK; // nothing to project, or no centre and size to project with
    Frame frame;
    frame.centre = {block->texture_map->centre[0], block->texture_map->centre[1],
                    block->texture_map->centre[2]};
    frame.size = {block->texture_map->size[0], block->texture_map->size[1], block->texture_map->size[2]};

    int32_t before = 0;
    VertexMap** tail = &layer->vertex_maps;
    while (*tail) {
        ++before;
        tail = &(*tail)->next;
    }
    static const char* const formats[] = {"planar_uv_%d", "cubic_uv_%d", "cylinder_uv_%d", "sphere_uv_%d"};
    char name[32];
    std::snprintf(name, sizeof name, formats[im->projection - 1], before + 1);

    size_t n = static_cast<size_t>(set->count);
    VertexMap* map = static_cast<VertexMap*>(std::calloc(1, sizeof(VertexMap)));
    char* block_name = static_cast<char*>(std::malloc(std::strlen(name) + 1));
    uint8_t* written = nullptr;
    if (map) {
        map->name = static_cast<char*>(std::malloc(std::strlen(name) + 1));
        map->points = static_cast<uint32_t*>(std::malloc(n * sizeof(uint32_t)));
        map->values = static_cast<float*>(std::calloc(n * 2, sizeof(float)));
    }
    if (im->projection != LWO_PROJECTION_PLANAR)
        written = static_cast<uint8_t*>(std::calloc(n, 1));
    if (!map || !map->name || !map->points || !map->values || !block_name ||
        (im->projection != LWO_PROJECTION_PLANAR && !written)) {
        lwo_free_vertex_map(map);
        std::free(block_name);
        std::free(written);
        return LWO_NO_MEMORY;
    }
    std::strcpy(map->name, name);
    std::strcpy(block_name, name);
    map->type = lwo_id("TXUV");
    map->dimension = 2;
    map->entry_count = set->count;
    for (size_t k = 0; k < n; ++k)
        map->points[k] = static_cast<uint32_t>(k);
    float* uv = map->values;
    const Vec3* pos = set->positions;

    if (im->projection == LWO_PROJECTION_PLANAR) {
        for (size_t k = 0; k < n; ++k) {
            UV t = planar(&frame, &pos[k], im->axis);
            uv[2 * k] = t.u;
            uv[2 * k + 1] = t.v;
        }
    } else {
        // The specified pass writes corners 0, 1 and 2 of every polygon (the
        // last polygon to write a point wins); a point reached only as corner 3
        // or later is filled afterwards from the polygons that use it.
        for (int pass = 0; pass < 2; ++pass) {
            for (int32_t i = 0; i < layer->polygon_count; ++i) {
                const Polygon* p = &layer->polygons[i];
                uint16_t corners = p->corner_count;
                if (corners == 0)
                    continue;
                int dominant = 3;
                if (im->projection == LWO_PROJECTION_CUBIC) {
                    const Vec3* p0 = &pos[p->corners[0]];
                    const Vec3* p1 = corners > 1 ? &pos[p->corners[1]] : p0;
                    const Vec3* p2 = corners > 2 ? &pos[p->corners[2]] : p0;
                    dominant = cubic_axis(p0, p1, p2);
                }
                uint16_t from = pass == 0 ? 0 : 3;
                uint16_t to = pass == 0 ? (corners < 3 ? corners : 3) : corners;
                for (uint16_t c = from; c < to; ++c) {
                    uint32_t k = p->corners[c];
                    if (pass == 1 && written[k] == 1)
                        continue;
                    UV t = project_point(im->projection, &frame, &pos[k], im->axis, dominant);
                    uv[2 * k] = t.u;
                    uv[2 * k + 1] = t.v;
                    if (pass == 0)
                        written[k] = 1;
                }
            }
        }
    }
    std::free(written);
    *tail = map;
    lwo_replace_string(&block->image_map->vmap_name, block_name);
    return LWO_OK;
}

int32_t lwo_project(ObjectLayer* layer, Surface* surfaces)
{
    for (Surface* s = surfaces; s; s = s->next) {
        for (Block* b = s->blocks; b; b = b->next) {
            if (!b->image_map || b->image_map->projection < 1 || b->image_map->projection > 4)
                continue;
            int32_t code = run_projection(layer, b);
            if (code != LWO_OK)
                return code;
            break;
        }
    }
    return LWO_OK;
}
