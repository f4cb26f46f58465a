// Benchmarks of the LightWave readers: mesh_load of a 50,000-polygon object
// (quads, a UV map and a surface; goal under 50 ms), the object reader alone,
// and envelope evaluation.
// Relies on lightwave, scene (mesh_load) and the tools' LWO2/LWMO writer.
#include "common/lwo_writer.h"
#include "lightwave/lightwave.h"
#include "scene/mesh_load.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

namespace
{

// A 250 x 200 grid of quads: 50,000 polygons, 50,451 points.
const std::string& grid_object(bool projected)
{
    static std::string paths[2];
    std::string& path = paths[projected ? 1 : 0];
    if (!path.empty())
        return path;
    const int nx = 250, ny = 200;
    LwoObject obj;
    LwoSurface s;
    s.name = "Ground";
    LwoImageBlock b;
    if (projected) {
        b.projection = 4;
        b.axis = 2;
    } else {
        b.vmap_name = "uv";
    }
    s.blocks.push_back(b);
    obj.surfaces.push_back(s);
    LwoLayer layer;
    LwoVertexMap uv;
    uv.name = "uv";
    for (int y = 0; y <= ny; ++y)
        for (int x = 0; x <= nx; ++x) {
            layer.points.push_back(static_cast<float>(x) * 0.1f);
            layer.points.push_back(static_cast<float>((x * 7 + y * 13) % 17) * 0.01f);
            layer.points.push_back(static_cast<float>(y) * 0.1f);
            uv.points.push_back(static_cast<uint32_t>(y * (nx + 1) + x));
            uv.values.push_back(static_cast<float>(x) / nx);
            uv.values.push_back(static_cast<float>(y) / ny);
        }
    for (int y = 0; y < ny; ++y)
        for (int x = 0; x < nx; ++x) {
            uint32_t a = static_cast<uint32_t>(y * (nx + 1) + x);
            LwoPolygon p;
            p.corners = {a, a + nx + 1, a + nx + 2, a + 1};
            p.surface = 0;
            layer.polygons.push_back(p);
        }
    layer.vertex_maps.push_back(uv);
    obj.layers.push_back(layer);
    path = projected ? "bench_lightwave_grid_projected.lwo" : "bench_lightwave_grid.lwo";
    lwo_write_file(path, lwo_build(obj));
    return path;
}

void BM_mesh_load_50k_quads(benchmark::State& state)
{
    const std::string& path = grid_object(state.range(0) != 0);
    for (auto _ : state) {
        Mesh* mesh = mesh_load(path.c_str());
        benchmark::DoNotOptimize(mesh);
        if (!mesh || mesh->triangle_count != 100000)
            state.SkipWithError("mesh_load failed");
        mesh_free(mesh);
    }
}
BENCHMARK(BM_mesh_load_50k_quads)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_object_load_50k_quads(benchmark::State& state)
{
    const std::string& path = grid_object(false);
    for (auto _ : state) {
        ObjectLayer* object = object_load(path.c_str());
        benchmark::DoNotOptimize(object);
        object_free(object);
    }
}
BENCHMARK(BM_object_load_50k_quads)->Unit(benchmark::kMillisecond);

void BM_envelope_evaluate(benchmark::State& state)
{
    LwmoChannel c;
    for (int k = 0; k < 16; ++k) {
        LwmoKey key;
        key.time = static_cast<float>(k);
        key.value = static_cast<float>(k % 5);
        key.shape = static_cast<int16_t>(k % 6);
        key.p2 = 0.3f;
        c.keys.push_back(key);
    }
    c.post = 3;
    std::string path = "bench_lightwave.mo";
    lwmo_write_file(path, {c});
    MotionEnvelope** env = nullptr;
    int32_t count = 0;
    if (motion_load(path.c_str(), &env, &count) != 0) {
        state.SkipWithError("motion_load failed");
        return;
    }
    float t = 0.0f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(envelope_evaluate(env[0], t));
        t += 0.01f;
        if (t > 40.0f)
            t = 0.0f;
    }
    motion_free_all(env, count);
}
BENCHMARK(BM_envelope_evaluate);

} // namespace

BENCHMARK_MAIN();
