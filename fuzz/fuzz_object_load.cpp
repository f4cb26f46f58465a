// libFuzzer target: the LWO2 object reader and the Mesh built from each layer.
// Relies on lightwave (object_load_memory) and scene (mesh_build_from_layer).
#include "lightwave/lightwave.h"
#include "scene/mesh_load.h"

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Polygons the Mesh builder skips print a line each; keep the output quiet.
    std::freopen("/dev/null", "w", stdout);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    int32_t code = 0;
    ObjectLayer* object = object_load_memory(data, size, "fuzz.lwo", &code);
    for (ObjectLayer* layer = object; layer; layer = layer->next)
        mesh_free(mesh_build_from_layer(layer, "error\n"));
    object_free(object);
    return 0;
}
