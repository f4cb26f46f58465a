// Costs of the light tunnel on a 640 x 480 frame, from the generated data set
// (data/ in the working directory, or $DUNRAVEL_DATA): whole tunnel frames at
// beats spread over 76-100, and the sphere's per-frame pose alone.
// Relies on the tunnel scene and the scene benchmarks' harness.
#include "scene_harness.h"

#include "core/frame.h"
#include "platform/paths.h"
#include "scene/lighting.h"
#include "scene/mesh_load.h"
#include "scenes/scenes.h"
#include "scenes/tunnel_parts.h"
#include "scenes/kit.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

namespace
{

// Every 7th frame of beats 76-100 at 60 frames a second.
void BM_TunnelFrame(benchmark::State& state)
{
    specular_ramp_build();
    SceneBench f(state,
                 {"sphere.lwo", tunnel_load, tunnel_free, tunnel_render, "the tunnel's data does not load"});
    if (f.loaded)
        f.run_frames(state, 76.0, 960, 7);
}
BENCHMARK(BM_TunnelFrame)->Unit(benchmark::kMicrosecond);

// The sphere's deform, normals, tangents and light for one frame.
void BM_TunnelSpherePose(benchmark::State& state)
{
    const std::string data = bench_data_folder();
    paths_set_data_dir(data.c_str());
    Mesh* sphere = mesh_load("data\\sphere.lwo");
    paths_set_data_dir(nullptr);
    if (!sphere) {
        state.SkipWithError("no generated data set");
        return;
    }
    const float plane_u[4] = {1.0f, 0.0f, 0.0f, -1.0f};
    const float plane_v[4] = {0.0f, 1.0f, 0.0f, -1.0f};
    mesh_uv_from_planes(sphere, plane_u, plane_v);
    mesh_save_vertices(sphere);
    mesh_compute_tangents(sphere);
    Camera camera;
    camera_look(&camera, scene_frame_at(0.0, nullptr), {0.0f, 0.0f, 8.0f}, {0.0f, 0.0f, 7.0f}, 1.0f, 532.0f,
                90.0f);
    int k = 0;
    for (auto _ : state) {
        const float b = 84.0f + static_cast<float>(k++ % 64) / 16.0f; // both wobble halves
        tunnel_sphere_pose(sphere, b / 1.5f, static_cast<int32_t>(b), b, &camera);
    }
    mesh_free(sphere);
}
BENCHMARK(BM_TunnelSpherePose)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
