// Geometry chunks of an LWO2 layer (LAYR, PNTS, BBOX, POLS, PTAG, TAGS, VMAP,
// VMAD) and the post-processing run on every layer once the file is read:
// index checks, planes, point normals, tags, projection, map links,
// triangulation, bounding box and the opaque-first order.
// Relies on object_internal.h and core's vector math.
#include "lightwave/object_internal.h"

#include <cstdlib>
#include <cstring>

// ---- Polygon storage ----------------------------------------------------------
// Each polygon's per-corner arrays share one heap block starting at corners:
// corners[n], map_entries[n], then discontinuous[n] (offset 8n, pointer aligned).

static bool polygon_alloc(Polygon* p, uint16_t corners)
{
    *p = Polygon{};
    p->corner_count = corners;
    if (corners == 0)
        return true;
    size_t n = corners;
    uint8_t* block = static_cast<uint8_t*>(std::calloc(1, n * (8 + sizeof(DiscontinuousEntry*))));
    if (!block)
        return false;
    p->corners = reinterpret_cast<uint32_t*>(block);
    p->map_entries = reinterpret_cast<uint32_t*>(block + n * 4);
    p->discontinuous = reinterpret_cast<DiscontinuousEntry**>(block + n * 8);
    return true;
}

// Grows an array of elements to hold at least need of them.
static bool grow(void** array, int32_t* capacity, int32_t need, size_t element)
{
    if (need <= *capacity)
        return true;
    int64_t grown = *capacity ? static_cast<int64_t>(*capacity) * 2 : 64;
    if (grown < need)
        grown = need;
    if (grown > INT32_MAX)
        grown = INT32_MAX;
    if (grown < need)
        return false;
    void* p = std::realloc(*array, static_cast<size_t>(grown) * element);
    if (!p)
        return false;
    *array = p;
    *capacity = static_cast<int32_t>(grown);
    return true;
}

// ---- Chunk readers ---------------------------------------------------------------

int32_t lwo_read_layr(LwoReader* r, ObjectLayer* layer)
{
    if (!r || !layer)
        return LWO_GENERIC_FAILURE;
    lwo_get_u2(r, &layer->number);
    lwo_get_u2(r, &layer->flags);
    lwo_get_f4(r, &layer->pivot.x);
    lwo_get_f4(r, &layer->pivot.y);
    lwo_get_f4(r, &layer->pivot.z);
    char* name = nullptr;
    if (lwo_get_s0(r, &name)) {
        if (name[0])
            lwo_replace_string(&layer->name, name);
        else
            std::free(name);
    }
    lwo_get_u2(r, &layer->parent);
    return *r->status == LWO_OK ? LWO_OK : *r->status;
}

int32_t lwo_read_pnts(LwoReader* r, ObjectLayer* layer)
{
    if (!r || !layer)
        return LWO_GENERIC_FAILURE;
    size_t count = lwo_remaining(r) / 12;
    if (layer->points) {
        std::free(layer->points->positions);
        std::free(layer->points->normals);
        std::free(layer->points);
        layer->points = nullptr;
    }
    if (count == 0 || count > INT32_MAX)
        return LWO_OK;
    PointSet* set = static_cast<PointSet*>(std::calloc(1, sizeof(PointSet)));
    if (!set)
        return LWO_NO_MEMORY;
    set->positions = static_cast<Vec3*>(std::calloc(count, sizeof(Vec3)));
    set->normals = static_cast<Vec3*>(std::calloc(count, sizeof(Vec3)));
    if (!set->positions || !set->normals) {
        std::free(set->positions);
        std::free(set->normals);
        std::free(set);
        return LWO_NO_MEMORY;
    }
    set->count = static_cast<int32_t>(count);
    for (size_t i = 0; i < count; ++i) {
        set->positions[i].x = lwo_f4(r);
        set->positions[i].y = lwo_f4(r);
        set->positions[i].z = lwo_f4(r);
    }
    layer->points = set;
    return LWO_OK;
}

int32_t lwo_read_bbox(LwoReader* r, ObjectLayer* layer)
{
    if (!r || !layer)
        return LWO_GENERIC_FAILURE;
    lwo_get_f4(r, &layer->bbox_min.x);
    lwo_get_f4(r, &layer->bbox_min.y);
    lwo_get_f4(r, &layer->bbox_min.z);
    lwo_get_f4(r, &layer->bbox_max.x);
    lwo_get_f4(r, &layer->bbox_max.y);
    lwo_get_f4(r, &layer->bbox_max.z);
    return LWO_OK;
}

int32_t lwo_read_pols(LwoReader* r, ObjectLayer* layer)
{
    if (!r || !layer)
        return LWO_GENERIC_FAILURE;
    uint32_t type = lwo_u4(r);
    if (*r->status != LWO_OK)
        return *r->status;
    if (type != lwo_id("FACE"))
        return LWO_OK; // other polygon types are skipped whole
    while (lwo_remaining(r) > 0) {
        uint16_t corners = lwo_u2(r) & 0x3FF; // the top six bits are flags
        // Each corner takes at least two bytes: a count the chunk cannot hold
        // fails before anything is allocated.
        if (*r->status != LWO_OK || lwo_remaining(r) < 2u * corners)
            return LWO_END_OF_FILE;
        if (!grow(reinterpret_cast<void**>(&layer->polygons), &layer->polygon_capacity,
                  layer->polygon_count + 1, sizeof(Polygon)))
            return LWO_NO_MEMORY;
        Polygon* p = &layer->polygons[layer->polygon_count];
        if (!polygon_alloc(p, corners))
            return LWO_NO_MEMORY;
        layer->polygon_count++;
        layer->face_polygon_count++;
        for (uint16_t c = 0; c < corners; ++c)
            p->corners[c] = lwo_vx(r);
        if (*r->status != LWO_OK)
            return *r->status;
    }
    return LWO_OK;
}

int32_t lwo_read_ptag(LwoReader* r, ObjectLayer* layer)
{
    if (!r || !layer)
        return LWO_GENERIC_FAILURE;
    uint32_t type = lwo_u4(r);
    while (*r->status == LWO_OK && lwo_remaining(r) > 0) {
        if (!grow(reinterpret_cast<void**>(&layer->polygon_tags), &layer->polygon_tag_capacity,
                  layer->polygon_tag_count + 1, sizeof(PolygonTag)))
            return LWO_NO_MEMORY;
        PolygonTag* t = &layer->polygon_tags[layer->polygon_tag_count];
        t->type = type;
        t->polygon = lwo_vx(r);
        t->tag = lwo_u2(r);
        if (*r->status != LWO_OK)
            break;
        layer->polygon_tag_count++;
    }
    return *r->status;
}

int32_t lwo_read_tags(LwoReader* r, LwoLoad* load)
{
    if (!r || !load)
        return LWO_GENERIC_FAILURE;
    while (lwo_remaining(r) > 0) {
        char* s = lwo_s0(r);
        if (!s)
            return *r->status;
        if (!grow(reinterpret_cast<void**>(&load->tags), &load->tag_capacity, load->tag_count + 1,
                  sizeof(char*))) {
            std::free(s);
            return LWO_NO_MEMORY;
        }
        load->tags[load->tag_count++] = s;
    }
    return LWO_OK;
}

int32_t lwo_read_vmap(LwoReader* r, ObjectLayer* layer)
{
    if (!r || !layer)
        return LWO_GENERIC_FAILURE;
    VertexMap* map = static_cast<VertexMap*>(std::calloc(1, sizeof(VertexMap)));
    if (!map)
        return LWO_NO_MEMORY;
    VertexMap** tail = &layer->vertex_maps;
    while (*tail)
        tail = &(*tail)->next;
    *tail = map;
    map->type = lwo_u4(r);
    map->dimension = lwo_u2(r);
    map->name = lwo_s0(r);
    if (*r->status != LWO_OK)
        return *r->status;
    // Every entry takes at least a 2-byte index and its values.
    size_t entry_size = 2 + 4 * static_cast<size_t>(map->dimension);
    size_t capacity = lwo_remaining(r) / entry_size;
    map->points = static_cast<uint32_t*>(std::malloc((capacity ? capacity : 1) * sizeof(uint32_t)));
    size_t value_count = capacity * map->dimension;
    map->values = static_cast<float*>(std::malloc((value_count > 0 ? value_count : 1) * sizeof(float)));
    if (!map->points || !map->values)
        return LWO_NO_MEMORY;
    size_t count = 0;
    while (lwo_remaining(r) > 0 && count < capacity) {
        map->points[count] = lwo_vx(r);
        for (uint16_t d = 0; d < map->dimension; ++d)
            map->values[count * map->dimension + d] = lwo_f4(r);
        if (*r->status != LWO_OK)
            return *r->status;
        ++count;
    }
    map->entry_count = static_cast<int32_t>(count);
    return LWO_OK;
}

int32_t lwo_read_vmad(LwoReader* r, ObjectLayer* layer)
{
    if (!r || !layer)
        return LWO_GENERIC_FAILURE;
    DiscontinuousMap* map = static_cast<DiscontinuousMap*>(std::calloc(1, sizeof(DiscontinuousMap)));
    if (!map)
        return LWO_NO_MEMORY;
    map->next = layer->discontinuous_maps;
    layer->discontinuous_maps = map;
    map->type = lwo_u4(r);
    map->dimension = lwo_u2(r);
    map->name = lwo_s0(r);
    if (*r->status != LWO_OK)
        return *r->status;
    size_t entry_size = 4 + 4 * static_cast<size_t>(map->dimension);
    size_t capacity = lwo_remaining(r) / entry_size;
    if (capacity > INT32_MAX)
        return LWO_NO_MEMORY;
    map->entries =
        static_cast<DiscontinuousEntry*>(std::calloc(capacity ? capacity : 1, sizeof(DiscontinuousEntry)));
    if (!map->entries)
        return LWO_NO_MEMORY;
    size_t count = 0;
    while (lwo_remaining(r) > 0 && count < capacity) {
        DiscontinuousEntry* e = &map->entries[count];
        e->point = lwo_vx(r);
        e->polygon = lwo_vx(r);
        for (uint16_t d = 0; d < map->dimension; ++d) {
            float v = lwo_f4(r);
            if (d < 4)
                e->values[d] = v;
        }
        if (*r->status != LWO_OK)
            return *r->status;
        ++count;
    }
    map->entry_count = static_cast<int32_t>(count);
    return LWO_OK;
}

// ---- Post-processing -------------------------------------------------------------

// Drops polygons with a corner beyond the points and map entries with a point
// beyond them; polygon positions held by PTAG and VMAD entries follow the
// polygons that stay (those of dropped polygons become unreachable).
static int32_t drop_bad_indices(ObjectLayer* layer)
{
    uint32_t points = layer->points ? static_cast<uint32_t>(layer->points->count) : 0;

    for (VertexMap* m = layer->vertex_maps; m; m = m->next) {
        int32_t kept = 0;
        for (int32_t k = 0; k < m->entry_count; ++k) {
            if (m->points[k] >= points)
                continue;
            if (kept != k) {
                m->points[kept] = m->points[k];
                std::memmove(&m->values[static_cast<size_t>(kept) * m->dimension],
                             &m->values[static_cast<size_t>(k) * m->dimension],
                             static_cast<size_t>(m->dimension) * 4);
            }
            ++kept;
        }
        m->entry_count = kept;
    }
    for (DiscontinuousMap* m = layer->discontinuous_maps; m; m = m->next) {
        int32_t kept = 0;
        for (int32_t k = 0; k < m->entry_count; ++k)
            if (m->entries[k].point < points)
                m->entries[kept++] = m->entries[k];
        m->entry_count = kept;
    }

    int32_t bad = 0;
    for (int32_t i = 0; i < layer->polygon_count; ++i) {
        const Polygon* p = &layer->polygons[i];
        for (uint16_t c = 0; c < p->corner_count; ++c) {
            if (p->corners[c] >= points) {
                ++bad;
                break;
            }
        }
    }
    if (bad == 0)
        return LWO_OK;

    uint32_t* remap = static_cast<uint32_t*>(std::malloc(static_cast<size_t>(layer->polygon_count) * 4));
    if (!remap)
        return LWO_NO_MEMORY;
    int32_t kept = 0;
    for (int32_t i = 0; i < layer->polygon_count; ++i) {
        Polygon* p = &layer->polygons[i];
        bool ok = true;
        for (uint16_t c = 0; c < p->corner_count && ok; ++c)
            ok = p->corners[c] < points;
        if (!ok) {
            std::free(p->corners);
            remap[i] = UINT32_MAX;
            continue;
        }
        remap[i] = static_cast<uint32_t>(kept);
        layer->polygons[kept++] = *p;
    }
    uint32_t old_count = static_cast<uint32_t>(layer->polygon_count);
    layer->polygon_count = kept;
    for (int32_t t = 0; t < layer->polygon_tag_count; ++t) {
        PolygonTag* tag = &layer->polygon_tags[t];
        tag->polygon = tag->polygon < old_count ? remap[tag->polygon] : UINT32_MAX;
    }
    for (DiscontinuousMap* m = layer->discontinuous_maps; m; m = m->next)
        for (int32_t k = 0; k < m->entry_count; ++k)
            m->entries[k].polygon =
                m->entries[k].polygon < old_count ? remap[m->entries[k].polygon] : UINT32_MAX;
    std::free(remap);
    return LWO_OK;
}

// Step 1: n = (P1 - P0) x (PL - P0) with PL the last corner; the plane keeps
// the unit normal, d = -(n . P0) and the length of the unnormalised n.
static void polygon_planes(ObjectLayer* layer)
{
    const Vec3* pos = layer->points ? layer->points->positions : nullptr;
    for (int32_t i = 0; i < layer->polygon_count; ++i) {
        Polygon* p = &layer->polygons[i];
        if (p->corner_count <= 2 || !pos)
            continue;
        const Vec3* p0 = &pos[p->corners[0]];
        Vec3 e1, e2, n;
        vec3_sub(&pos[p->corners[1]], p0, &e1);
        vec3_sub(&pos[p->corners[p->corner_count - 1]], p0, &e2);
        vec3_cross(&e1, &e2, &n);
        float length = vec3_length(&n);
        p->normal_length = length;
        if (length != 0.0f) {
            n.x = n.x / length;
            n.y = n.y / length;
            n.z = n.z / length;
        }
        p->normal = n;
        p->d = -vec3_dot(&n, p0);
    }
}

// Step 2: each polygon adds its unnormalised normal (unit normal times length)
// to its corners' points, so larger polygons weigh more.
static void point_normals(ObjectLayer* layer)
{
    PointSet* set = layer->points;
    if (!set)
        return;
    std::memset(set->normals, 0, static_cast<size_t>(set->count) * sizeof(Vec3));
    for (int32_t i = 0; i < layer->polygon_count; ++i) {
        const Polygon* p = &layer->polygons[i];
        Vec3 w;
        vec3_scale(&p->normal, p->normal_length, &w);
        for (uint16_t c = 0; c < p->corner_count; ++c) {
            Vec3* n = &set->normals[p->corners[c]];
            vec3_add(n, &w, n);
        }
    }
    for (int32_t j = 0; j < set->count; ++j)
        vec3_normalize(&set->normals[j], &set->normals[j]);
}

static Surface* surface_named(Surface* list, const char* name)
{
    for (Surface* s = list; s; s = s->next)
        if (s->name && std::strcmp(s->name, name) == 0)
            return s;
    return nullptr;
}

// Step 3.
static int32_t resolve_tags(ObjectLayer* layer, LwoLoad* load)
{
    if (layer->polygon_tag_count == 0)
        return LWO_OK;
    // The surface of each tag string, looked up once per load.
    if (!load->surface_by_tag && load->tag_count > 0) {
        load->surface_by_tag =
            static_cast<Surface**>(std::malloc(static_cast<size_t>(load->tag_count) * sizeof(Surface*)));
        if (!load->surface_by_tag)
            return LWO_NO_MEMORY;
        for (int32_t t = 0; t < load->tag_count; ++t)
            load->surface_by_tag[t] = surface_named(load->surfaces, load->tags[t]);
    }
    Surface** by_tag = load->surface_by_tag;
    for (int32_t i = 0; i < layer->polygon_tag_count; ++i) {
        const PolygonTag* t = &layer->polygon_tags[i];
        if (t->polygon >= static_cast<uint32_t>(layer->polygon_count) || t->tag >= load->tag_count)
            continue;
        Polygon* p = &layer->polygons[t->polygon];
        if (t->type == lwo_id("SURF"))
            p->surface = by_tag[t->tag];
        else if (t->type == lwo_id("SMGP"))
            p->smoothing_group = t->tag;
        else if (t->type == lwo_id("PART"))
            p->part = t->tag;
    }
    return LWO_OK;
}

static const char* first_imap_name(const Surface* s)
{
    for (const Block* b = s->blocks; b; b = b->next)
        if (b->type == lwo_id("IMAP"))
            return b->image_map ? b->image_map->vmap_name : nullptr;
    return nullptr;
}

// Step 5: each polygon finds the vertex map its surface's image block names;
// then the point set links the last map of each type.
static int32_t link_image_maps(ObjectLayer* layer, int32_t surface_count)
{
    PointSet* set = layer->points;
    if (!set || !layer->vertex_maps)
        return LWO_OK;
    int32_t map_count = 0;
    for (VertexMap* m = layer->vertex_maps; m; m = m->next)
        m->ordinal = map_count++;

    // Per surface: the chosen map (resolved lazily); per map: the first entry
    // of each point (built lazily), so corners find their entry in O(1).
    VertexMap** chosen =
        static_cast<VertexMap**>(std::calloc(static_cast<size_t>(surface_count) + 1, sizeof(VertexMap*)));
    uint8_t* resolved = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(surface_count) + 1, 1));
    int32_t** first_entry =
        static_cast<int32_t**>(std::calloc(static_cast<size_t>(map_count), sizeof(int32_t*)));
    int32_t code = LWO_OK;
    if (!chosen || !resolved || !first_entry)
        code = LWO_NO_MEMORY;

    for (int32_t i = 0; i < layer->polygon_count && code == LWO_OK; ++i) {
        Polygon* p = &layer->polygons[i];
        Surface* s = p->surface;
        if (!s)
            continue;
        if (!resolved[s->ordinal]) {
            resolved[s->ordinal] = 1;
            for (Block* b = s->blocks; b && !chosen[s->ordinal]; b = b->next) {
                if (b->type != lwo_id("IMAP") || !b->image_map || !b->image_map->vmap_name)
                    continue;
                for (VertexMap* m = layer->vertex_maps; m; m = m->next) {
                    if (m->name && std::strcmp(m->name, b->image_map->vmap_name) == 0) {
                        chosen[s->ordinal] = m;
                        break;
                    }
                }
            }
        }
        VertexMap* map = chosen[s->ordinal];
        if (!map)
            continue;
        p->image_map = map;
        int32_t*& table = first_entry[map->ordinal];
        if (!table) {
            table = static_cast<int32_t*>(std::malloc(static_cast<size_t>(set->count) * sizeof(int32_t)));
            if (!table) {
                code = LWO_NO_MEMORY;
                break;
            }
            for (int32_t j = 0; j < set->count; ++j)
                table[j] = -1;
            for (int32_t k = map->entry_count - 1; k >= 0; --k)
                table[map->points[k]] = k;
        }
        for (uint16_t c = 0; c < p->corner_count; ++c) {
            int32_t k = table[p->corners[c]];
            p->map_entries[c] = k >= 0 ? static_cast<uint32_t>(k) : 0;
        }
    }
    if (first_entry)
        for (int32_t m = 0; m < map_count; ++m)
            std::free(first_entry[m]);
    std::free(first_entry);
    std::free(resolved);
    std::free(chosen);
    if (code != LWO_OK)
        return code;

    for (VertexMap* m = layer->vertex_maps; m; m = m->next) {
        switch (m->type) {
        case lwo_id("RGB "):
            set->rgb = m;
            break;
        case lwo_id("RGBA"):
            set->rgba = m;
            break;
        case lwo_id("MORF"):
            set->morph = m;
            break;
        case lwo_id("PICK"):
            set->pick = m;
            break;
        case lwo_id("WGHT"):
            set->weight = m;
            break;
        case lwo_id("SPOT"):
            set->spot = m;
            break;
        case lwo_id("TXUV"):
            set->txuv = m;
            break;
        case lwo_id("MNVW"):
            set->mnvw = m;
            break;
        default:
            break;
        }
    }
    return LWO_OK;
}

// Step 6: entries of the discontinuous map named by a polygon's surface attach
// to the corners holding their point. The list of entries runs in reverse file
// order, so the first entry in the file is the one that stays.
static int32_t link_discontinuous_maps(ObjectLayer* layer, int32_t surface_count)
{
    if (!layer->discontinuous_maps)
        return LWO_OK;
    DiscontinuousMap** chosen = static_cast<DiscontinuousMap**>(
        std::calloc(static_cast<size_t>(surface_count) + 1, sizeof(DiscontinuousMap*)));
    uint8_t* resolved = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(surface_count) + 1, 1));
    if (!chosen || !resolved) {
        std::free(chosen);
        std::free(resolved);
        return LWO_NO_MEMORY;
    }
    auto map_of = [&](const Polygon* p) -> DiscontinuousMap* {
        Surface* s = p->surface;
        if (!s)
            return nullptr;
        if (!resolved[s->ordinal]) {
            resolved[s->ordinal] = 1;
            const char* name = first_imap_name(s);
            for (DiscontinuousMap* m = layer->discontinuous_maps; m && name; m = m->next) {
                if (m->name && std::strcmp(m->name, name) == 0) {
                    chosen[s->ordinal] = m;
                    break;
                }
            }
        }
        return chosen[s->ordinal];
    };
    for (DiscontinuousMap* m = layer->discontinuous_maps; m; m = m->next) {
        for (int32_t k = m->entry_count - 1; k >= 0; --k) {
            DiscontinuousEntry* e = &m->entries[k];
            if (e->polygon >= static_cast<uint32_t>(layer->polygon_count))
                continue;
            Polygon* p = &layer->polygons[e->polygon];
            if (map_of(p) != m)
                continue;
            for (uint16_t c = 0; c < p->corner_count; ++c)
                if (p->corners[c] == e->point)
                    p->discontinuous[c] = e;
        }
    }
    std::free(chosen);
    std::free(resolved);
    return LWO_OK;
}

// Step 7: a polygon of n > 3 corners becomes the fan (c0, ci, ci+1), i = 1 .. n-2,
// in its place in the list.
static int32_t triangulate(ObjectLayer* layer)
{
    int64_t total = 0;
    bool any = false;
    for (int32_t i = 0; i < layer->polygon_count; ++i) {
        uint16_t n = layer->polygons[i].corner_count;
        total += n > 3 ? n - 2 : 1;
        any = any || n > 3;
    }
    if (!any)
        return LWO_OK;
    if (total > INT32_MAX)
        return LWO_NO_MEMORY;
    Polygon* out = static_cast<Polygon*>(std::calloc(static_cast<size_t>(total), sizeof(Polygon)));
    if (!out)
        return LWO_NO_MEMORY;
    int32_t at = 0;
    for (int32_t i = 0; i < layer->polygon_count; ++i) {
        Polygon* p = &layer->polygons[i];
        if (p->corner_count <= 3) {
            out[at++] = *p;
            p->corners = nullptr;
            continue;
        }
        for (uint16_t c = 1; c + 1 < p->corner_count; ++c) {
            Polygon* t = &out[at];
            if (!polygon_alloc(t, 3)) {
                // Release what the new list holds and what the old still owns.
                for (int32_t k = 0; k < at; ++k)
                    std::free(out[k].corners);
                std::free(out);
                return LWO_NO_MEMORY;
            }
            const uint16_t from[3] = {0, c, static_cast<uint16_t>(c + 1)};
            for (int k = 0; k < 3; ++k) {
                t->corners[k] = p->corners[from[k]];
                t->discontinuous[k] = p->discontinuous[from[k]];
                if (t->discontinuous[k])
                    t->discontinuous[k]->polygon = static_cast<uint32_t>(at);
            }
            t->surface = p->surface;
            t->part = p->part;
            t->smoothing_group = p->smoothing_group;
            t->normal = p->normal;
            t->d = p->d;
            ++at;
        }
    }
    for (int32_t i = 0; i < layer->polygon_count; ++i)
        std::free(layer->polygons[i].corners);
    std::free(layer->polygons);
    layer->polygons = out;
    layer->polygon_count = at;
    layer->polygon_capacity = at;
    return LWO_OK;
}

// Step 8.
static void bounding_box(ObjectLayer* layer)
{
    const PointSet* set = layer->points;
    if (!set || set->count <= 0)
        return;
    Vec3 lo = set->positions[0], hi = set->positions[0];
    for (int32_t j = 1; j < set->count; ++j) {
        const Vec3* p = &set->positions[j];
        if (p->x < lo.x)
            lo.x = p->x;
        if (p->y < lo.y)
            lo.y = p->y;
        if (p->z < lo.z)
            lo.z = p->z;
        if (p->x > hi.x)
            hi.x = p->x;
        if (p->y > hi.y)
            hi.y = p->y;
        if (p->z > hi.z)
            hi.z = p->z;
    }
    layer->bbox_min = lo;
    layer->bbox_max = hi;
}

static bool opaque(const Polygon* p)
{
    return !p->surface ||
           (p->surface->transparency.value == 0.0f && p->surface->additive_transparency.value == 0.0f);
}

// Step 9: stable partition, opaque polygons first.
static int32_t opaque_first(ObjectLayer* layer)
{
    int32_t n = layer->polygon_count;
    bool sorted = true;
    bool seen_transparent = false;
    for (int32_t i = 0; i < n && sorted; ++i) {
        bool o = opaque(&layer->polygons[i]);
        sorted = !(o && seen_transparent);
        seen_transparent = seen_transparent || !o;
    }
    if (sorted)
        return LWO_OK;
    Polygon* out = static_cast<Polygon*>(std::malloc(static_cast<size_t>(n) * sizeof(Polygon)));
    if (!out)
        return LWO_NO_MEMORY;
    int32_t at = 0;
    for (int32_t i = 0; i < n; ++i)
        if (opaque(&layer->polygons[i]))
            out[at++] = layer->polygons[i];
    for (int32_t i = 0; i < n; ++i)
        if (!opaque(&layer->polygons[i]))
            out[at++] = layer->polygons[i];
    std::free(layer->polygons);
    layer->polygons = out;
    layer->polygon_capacity = n;
    return LWO_OK;
}

int32_t lwo_postprocess(ObjectLayer* layer, LwoLoad* load)
{
    int32_t surface_count = 0;
    for (Surface* s = load->surfaces; s; s = s->next)
        s->ordinal = surface_count++;

    int32_t code = drop_bad_indices(layer);
    if (code != LWO_OK)
        return code;
    polygon_planes(layer);
    point_normals(layer);
    if ((code = resolve_tags(layer, load)) != LWO_OK)
        return code;
    if ((code = lwo_project(layer, load->surfaces)) != LWO_OK)
        return code;
    if ((code = link_image_maps(layer, surface_count)) != LWO_OK)
        return code;
    if ((code = link_discontinuous_maps(layer, surface_count)) != LWO_OK)
        return code;
    if ((code = triangulate(layer)) != LWO_OK)
        return code;
    bounding_box(layer);
    return opaque_first(layer);
}
