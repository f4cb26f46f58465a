// Benchmarks of the metaball field and scene at the state the scene carries
// at beats 52, 60 and 68: one swell (field_scale), one refill (scale and
// nine balls), the surface walk alone, the surface drawn, the flare rebuild
// and one whole scene frame. Relies on the field module, the scene's rules
// (metaball_parts.h), the rasterizer and Google Benchmark; no data files
// (textures null: the surface is drawn Gouraud-shaded instead of mapped).
#include "core/frame.h"
#include "raster/raster.h"
#include "runtime/clock.h"
#include "scenes/field.h"
#include "scenes/metaball_parts.h"
#include "scenes/scenes.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace
{

std::vector<uint32_t> pixels(SCREEN_WIDTH* SCREEN_HEIGHT);
FrameSurface surface = {SCREEN_WIDTH, SCREEN_HEIGHT, SCREEN_WIDTH * 4, nullptr};

// A copy of the scene's field at beat b (the scene advanced from its start).
MetaField* field_at(double beat, Matrix* model)
{
    clock_set_tempo(90.0f);
    metaball_free();
    metaball_load();
    const double seconds = beat / 1.5;
    clock_set_time(seconds, 1.0 / 60.0);
    metaball_advance(seconds);
    const MetaField* scene = metaball_field();
    MetaField* copy = field_create(scene->cells);
    field_layout(copy, 256.0f);
    std::memcpy(copy->grid_points, scene->grid_points, sizeof(FieldPoint) * scene->point_count);
    metaball_model(model, static_cast<float>(seconds), clock_beat_index(), clock_beat(),
                   clock_beat_fraction());
    copy->model = *model;
    return copy;
}

void count_triangles(const MeshVertex*, int32_t triangle_count, void* context)
{
    *static_cast<int64_t*>(context) += triangle_count;
}

void BM_field_scale(benchmark::State& state)
{
    Matrix model;
    MetaField* field = field_at(static_cast<double>(state.range(0)), &model);
    for (auto _ : state) {
        field_scale(field, 1.0f); // keeps the values, costs the same
        benchmark::DoNotOptimize(field->grid_points[0].value);
    }
    field_destroy(field);
}

void BM_field_refill(benchmark::State& state)
{
    Matrix model;
    MetaField* field = field_at(static_cast<double>(state.range(0)), &model);
    const float strengths[9] = {6, 8, 5, 8, 6, 8, 7, 5, 6};
    for (auto _ : state) {
        field_scale(field, 0.85f);
        for (int j = 0; j < 9; j++) {
            const Vec3 c = {40.0f * static_cast<float>(j % 3 - 1), 30.0f * static_cast<float>(j / 3 - 1),
                            10.0f};
            field_add_ball(field, &c, 1.5f * strengths[j]);
        }
        field_scale(field, 1.0f / 0.85f);
        benchmark::DoNotOptimize(field->grid_points[0].value);
    }
    field_destroy(field);
}

void BM_field_surface(benchmark::State& state)
{
    Matrix model;
    MetaField* field = field_at(static_cast<double>(state.range(0)), &model);
    Camera camera;
    metaball_camera(scene_frame_at(0.0, nullptr), &camera);
    int64_t triangles = 0;
    for (auto _ : state) {
        triangles = 0;
        field_surface(field, 1.0f, &camera, count_triangles, &triangles);
    }
    state.counters["triangles"] = static_cast<double>(triangles);
    field_destroy(field);
}

void BM_field_polygonise(benchmark::State& state)
{
    Matrix model;
    MetaField* field = field_at(static_cast<double>(state.range(0)), &model);
    Camera camera;
    metaball_camera(scene_frame_at(0.0, nullptr), &camera);
    set_depth_clip(10.0f, 512.0f);
    set_clip_window(0.0f, 39.0f, 640.0f, 400.0f);
    for (auto _ : state) {
        depth_buffer_fill(depth_buffer, DEPTH_CLEAR);
        field_polygonise(field, 1.0f, &camera, nullptr, FILL_GOURAUD | FILL_DEPTH);
    }
    set_clip_window(0.0f, 0.0f, 640.0f, 480.0f);
    field_destroy(field);
}

void BM_flares_build(benchmark::State& state)
{
    Matrix model;
    MetaField* field = field_at(static_cast<double>(state.range(0)), &model);
    Camera camera;
    metaball_camera(scene_frame_at(0.0, nullptr), &camera);
    Mesh* flares = mesh_create(4096, 2048);
    for (auto _ : state)
        metaball_flares_build(field, &model, &camera, flares, 1024);
    state.counters["quads"] = flares->vertex_count / 4;
    mesh_free(flares);
    field_destroy(field);
}

// Frames of the scene at 60 frames a second from beat b on (one step each;
// a fixed count, since time must not run backwards).
void BM_scene_frame(benchmark::State& state)
{
    clock_set_tempo(90.0f);
    metaball_free();
    metaball_load();
    int64_t k = static_cast<int64_t>(static_cast<double>(state.range(0)) / 1.5 * 60.0);
    clock_set_time(static_cast<double>(k) / 60.0, 1.0 / 60.0);
    metaball_advance(music_seconds);
    for (auto _ : state) {
        clock_set_time(static_cast<double>(++k) / 60.0, 1.0 / 60.0);
        depth_buffer_fill(depth_buffer, DEPTH_CLEAR);
        metaball_render(clock_scene_frame());
    }
}

} // namespace

BENCHMARK(BM_field_scale)->Arg(60);
BENCHMARK(BM_field_refill)->Arg(60);
BENCHMARK(BM_field_surface)->Arg(52)->Arg(60)->Arg(68);
BENCHMARK(BM_field_polygonise)->Arg(52)->Arg(60)->Arg(68);
BENCHMARK(BM_flares_build)->Arg(52)->Arg(60);
BENCHMARK(BM_scene_frame)->Arg(52)->Arg(60)->Arg(68)->Iterations(120);

int main(int argc, char** argv)
{
    surface.pixels = pixels.data();
    screen = &surface;
    depth_buffer = depth_buffer_create(SCREEN_WIDTH, SCREEN_HEIGHT);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    metaball_free();
    depth_buffer_free(depth_buffer);
    return 0;
}
