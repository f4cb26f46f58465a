// Helpers for the LightWave tests: loading objects built by the LWO2 writer
// from memory, owning pointers for loaded objects, and file paths in the
// build folder.
#pragma once

#include "common/lwo_writer.h"
#include "lightwave/lightwave.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct ObjectDeleter {
    void operator()(ObjectLayer* l) const { object_free(l); }
};
using ObjectPtr = std::unique_ptr<ObjectLayer, ObjectDeleter>;

inline ObjectPtr load_bytes(const std::vector<uint8_t>& bytes, int32_t* code = nullptr,
                            const char* name = "mem")
{
    int32_t c = 99;
    ObjectLayer* l = object_load_memory(bytes.data(), bytes.size(), name, &c);
    if (code)
        *code = c;
    return ObjectPtr(l);
}

inline int32_t load_code(const std::vector<uint8_t>& bytes)
{
    int32_t c = 99;
    ObjectPtr l = load_bytes(bytes, &c);
    return c;
}

inline std::string build_path(const std::string& name)
{
    return std::string(DUNRAVEL_BINARY_DIR) + "/" + name;
}

// One layer holding the given points and polygons (surface -1: none).
inline LwoLayer make_layer(const std::vector<float>& points,
                           const std::vector<std::vector<uint32_t>>& polygons, int32_t surface = -1)
{
    LwoLayer layer;
    layer.points = points;
    for (const auto& corners : polygons) {
        LwoPolygon p;
        p.corners = corners;
        p.surface = surface;
        layer.polygons.push_back(p);
    }
    return layer;
}

inline int32_t layer_count(const ObjectLayer* l)
{
    int32_t n = 0;
    for (; l; l = l->next)
        ++n;
    return n;
}

inline const VertexMap* find_map(const ObjectLayer* l, const char* name)
{
    for (const VertexMap* m = l->vertex_maps; m; m = m->next)
        if (m->name && std::string(m->name) == name)
            return m;
    return nullptr;
}
