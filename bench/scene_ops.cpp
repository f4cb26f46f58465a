// Benchmarks of the scene-side vertex passes and the multi-texture fillers:
// each deformer and mesh_compute_normals on a 2,000-vertex tube, and fill
// modes 3092, 4116 and 5140 against plain textured mode 20 on the medium
// raster workload (2,000 random triangles with a half box of 81 pixels, seed 2),
// with the offset map shaped like the scenes' (a cosine ramp) and smooth bumps.
// Relies on the scene and raster libraries and Google Benchmark.
#include "core/frame.h"
#include "image/texture.h"
#include "raster/raster.h"
#include "scene/scene.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace
{

// ---- Vertex passes ------------------------------------------------------------

// 40 points around, 50 rings: 2,000 vertices, 4,000 triangles.
Mesh* bench_tube()
{
    static Mesh* tube = nullptr;
    if (!tube) {
        tube = mesh_create_tube(40, 50, 1.0f, 4.0f);
        mesh_save_vertices(tube);
    }
    return tube;
}

template <typename Deform> void run_deformer(benchmark::State& state, Deform deform)
{
    Mesh* mesh = bench_tube();
    for (auto _ : state) {
        mesh_restore_vertices(mesh);
        deform(mesh);
        benchmark::DoNotOptimize(mesh->vertices[0].x);
    }
    mesh_restore_vertices(mesh);
    state.SetItemsProcessed(state.iterations() * mesh->vertex_count);
}

void BM_deform_bulge(benchmark::State& state)
{
    BulgeParams p{{0.5f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}, 1.5f, 0.4f};
    run_deformer(state, [&](Mesh* m) { deform_bulge(m, &p); });
}

void BM_deform_lattice(benchmark::State& state)
{
    Lattice lattice;
    lattice_reset(&lattice);
    lattice.minimum = Vec3{-1.5f, -2.0f, -1.5f};
    lattice.maximum = Vec3{1.5f, 2.0f, 1.5f};
    lattice.points[21].x += 0.3f;
    run_deformer(state, [&](Mesh* m) { deform_lattice(m, &lattice); });
}

void BM_deform_ripple(benchmark::State& state)
{
    RippleParams p{DEFORM_AXIS_Y, {0, 0, 0}, 0.2f, 1.0f, 2.0f, 0.3f, 0.5f, 0.2f, 0.1f};
    run_deformer(state, [&](Mesh* m) { deform_ripple(m, &p); });
}

void BM_deform_wave(benchmark::State& state)
{
    WaveParams p{DEFORM_AXIS_Y, 6, {0, 0, 0}, 0.2f, 1.5f, 0.3f, 3.0f};
    run_deformer(state, [&](Mesh* m) { deform_wave(m, &p); });
}

void BM_deform_twist(benchmark::State& state)
{
    TwistParams p{static_cast<int32_t>(state.range(0)), {0, 0, 0}, 3.0f, 1.2f};
    run_deformer(state, [&](Mesh* m) { deform_twist(m, &p); });
}

void BM_mesh_compute_normals(benchmark::State& state)
{
    Mesh* mesh = bench_tube();
    for (auto _ : state) {
        mesh_compute_normals(mesh);
        benchmark::DoNotOptimize(mesh->normals[0]);
    }
    state.SetItemsProcessed(state.iterations() * mesh->vertex_count);
}

BENCHMARK(BM_deform_bulge);
BENCHMARK(BM_deform_lattice);
BENCHMARK(BM_deform_ripple);
BENCHMARK(BM_deform_wave);
BENCHMARK(BM_deform_twist)->Arg(0)->Arg(3);
BENCHMARK(BM_mesh_compute_normals);

// ---- Fill modes on the medium workload ----------------------------------------

struct Lcg {
    uint32_t s;
    uint32_t next() { return s = s * 1664525u + 1013904223u; }
    uint32_t below(uint32_t n) { return static_cast<uint32_t>((static_cast<uint64_t>(next()) * n) >> 32); }
};

// The medium workload's triangles (seed 2, 2,000 triangles, half box 81 px in
// 1/32 pixel), mapped onto RasterTriangles; the second texture set repeats
// the first.
std::vector<RasterTriangle> medium_workload()
{
    const uint32_t r = 81 * 32;
    Lcg rng{2};
    std::vector<RasterTriangle> out(2000);
    for (RasterTriangle& t : out) {
        std::memset(&t, 0, sizeof t);
        int64_t x[3], y[3];
        uint32_t z[3], argb[3], u[3], v[3];
        uint32_t cx = r + rng.below(20480 - 2 * r + 1);
        uint32_t cy = r + rng.below(15360 - 2 * r + 1);
        for (int k = 0; k < 3; ++k) {
            uint32_t dx = rng.below(2 * r + 1);
            uint32_t dy = rng.below(2 * r + 1);
            x[k] = static_cast<int64_t>(cx) - r + dx;
            y[k] = static_cast<int64_t>(cy) - r + dy;
        }
        for (int k = 0; k < 3; ++k)
            z[k] = rng.below(1u << 24);
        for (int k = 0; k < 3; ++k)
            argb[k] = 0xFF000000u | rng.below(1u << 24);
        uint32_t ub = rng.below(8192);
        uint32_t vb = rng.below(8192);
        for (int k = 0; k < 3; ++k) {
            uint32_t du = rng.below(2 * r + 1);
            uint32_t dv = rng.below(2 * r + 1);
            u[k] = ub + du;
            v[k] = vb + dv;
        }
        int order[3] = {0, 1, 2};
        if ((x[1] - x[0]) * (y[2] - y[0]) - (x[2] - x[0]) * (y[1] - y[0]) < 0)
            std::swap(order[1], order[2]);
        for (int k = 0; k < 3; ++k) {
            int j = order[k];
            ScreenVertex& sv = t.v[k];
            sv.x = static_cast<float>(x[j]) / 32.0f;
            sv.y = static_cast<float>(y[j]) / 32.0f;
            sv.z = static_cast<float>(z[j]) / 16777216.0f;
            sv.rhw = 1.0f;
            sv.colour = argb[j];
            sv.u = static_cast<float>(u[j]) / 32.0f / 256.0f;
            sv.v = static_cast<float>(v[j]) / 32.0f / 256.0f;
            sv.u2 = sv.u;
            sv.v2 = sv.v;
        }
        t.flat_colour = t.v[0].colour;
    }
    return out;
}

struct FillBench {
    std::vector<uint32_t> pixels;
    FrameSurface surface;
    std::vector<RasterTriangle> triangles;
    Texture* texture;
    Texture* environment;
    Texture* bump;
    Texture* offset;

    FillBench()
    {
        pixels.assign(SCREEN_WIDTH * SCREEN_HEIGHT, 0xFF000000u);
        surface = FrameSurface{SCREEN_WIDTH, SCREEN_HEIGHT, SCREEN_WIDTH * 4, pixels.data()};
        screen = &surface;
        depth_buffer = depth_buffer_create(SCREEN_WIDTH, SCREEN_HEIGHT);
        specular_ramp_build(); // as the video output builds it: mode 5140 reads it
        triangles = medium_workload();
        texture = texture_create(256, 256);
        environment = texture_create(256, 256);
        bump = texture_create(256, 256);
        offset = texture_create(256, 256);
        Lcg rng{99};
        for (uint32_t v = 0; v < 256; ++v) {
            for (uint32_t u = 0; u < 256; ++u) {
                uint32_t i = v * 256 + u;
                texture->pixels[i] = 0xFF000000u | ((u ^ v) << 16) | (u << 8) | v;
                environment->pixels[i] = rng.next();
                // Bumps: smooth normals in 32-texel cells (random normals would
                // only add noise, the access pattern is the same).
                float cx = static_cast<float>(u & 31u) - 15.5f, cy = static_cast<float>(v & 31u) - 15.5f;
                bump->pixels[i] = static_cast<uint32_t>(cx * 4.0f + 128.0f) << 16 |
                                  static_cast<uint32_t>(cy * 4.0f + 128.0f) << 8 | 0xC0u;
                // The offset map the scenes use: a cosine ramp across, the row down.
                float t = static_cast<float>(u) / 255.0f;
                float ramp = std::sin(t * 3.1415927f - 1.5707964f);
                offset->pixels[i] = static_cast<uint32_t>(ramp * 127.0f + 127.0f) << 16 | v << 8;
            }
        }
        set_environment_texture(environment);
        set_bump_texture(bump);
        set_offset_texture(offset);
    }
};

FillBench& fill_bench()
{
    static FillBench bench;
    return bench;
}

void BM_fill_medium(benchmark::State& state)
{
    FillBench& b = fill_bench();
    FillMode mode = static_cast<FillMode>(state.range(0));
    for (auto _ : state) {
        std::fill(b.pixels.begin(), b.pixels.end(), 0xFF000000u);
        depth_buffer_fill(depth_buffer, DEPTH_CLEAR);
        draw_triangles(b.triangles.data(), static_cast<int32_t>(b.triangles.size()), b.texture, mode);
        benchmark::DoNotOptimize(b.pixels[0]);
    }
    state.SetLabel(fill_mode_name(mode) ? fill_mode_name(mode) : "?");
}

BENCHMARK(BM_fill_medium)->Arg(20)->Arg(1044)->Arg(3092)->Arg(4116)->Arg(5140)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
