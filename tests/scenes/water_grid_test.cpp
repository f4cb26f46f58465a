// The shared water grid: its layout and triangles, the swell against the plain
// three-sines-per-vertex form for both water scenes' settings, its placement
// under the camera, the sky copied where it is opaque against the plain blend,
// the skipping of triangles outside the window against the
// plain clipped drawing, and the sliding blur bands (offset and band placement).
#include "scenes/water_grid.h"

#include "core/core.h"
#include "core/frame.h"
#include "image/image.h"
#include "raster/raster.h"
#include "scenes/kit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace
{

TEST(WaterGrid, VerticesSpanTheSheetAndTrianglesCoverEveryCell)
{
    Mesh* water = water_grid_create(nullptr);
    ASSERT_NE(water, nullptr);
    EXPECT_EQ(water->vertex_count, 1089);
    EXPECT_EQ(water->triangle_count, 2048);
    EXPECT_EQ(water->flags, 0u);
    const MeshVertex& first = water->vertices[0];
    const MeshVertex& last = water->vertices[1088];
    EXPECT_FLOAT_EQ(first.x, -64.0f);
    EXPECT_FLOAT_EQ(first.z, -16.0f);
    EXPECT_FLOAT_EQ(last.x, 64.0f);
    EXPECT_FLOAT_EQ(last.z, 16.0f);
    EXPECT_FLOAT_EQ(water->vertices[33 * 2 + 5].u, 5.0f / 32.0f); // row 2, column 5
    EXPECT_FLOAT_EQ(water->vertices[33 * 2 + 5].v, 2.0f / 32.0f);
    // Every cell's two triangles share the diagonal (a + 1, a + 33) and use its four corners.
    int uses[1089] = {};
    for (int32_t k = 0; k < water->triangle_count; ++k) {
        const MeshTriangle& t = water->triangles[k];
        ASSERT_EQ(t.visible, 1u);
        ASSERT_EQ(t.colour, 0xffffffffu);
        for (int32_t i : {t.a, t.b, t.c}) {
            ASSERT_GE(i, 0);
            ASSERT_LT(i, 1089);
            ++uses[i];
        }
    }
    EXPECT_EQ(uses[0], 1);                                      // a corner: one triangle
    EXPECT_EQ(uses[33 + 1], 6);                                 // inside: six triangles
    const MeshTriangle& t = water->triangles[2 * (32 * 3 + 4)]; // cell (3, 4)
    EXPECT_EQ(t.a, 33 * 3 + 4 + 1);
    EXPECT_EQ(t.b, 33 * 3 + 4);
    EXPECT_EQ(t.c, 33 * 4 + 4);
    mesh_free(water);
}

TEST(WaterGrid, SwellMatchesThreeSinesPerVertexForBothScenes)
{
    Mesh* water = water_grid_create(nullptr);
    ASSERT_NE(water, nullptr);
    const WaterSwell swells[2] = {{3.0f, 5.0f, 1.5f, -13.5f, -0.1f}, {5.0f, 3.0f, 2.5f, -15.0f, 0.1f}};
    for (const WaterSwell& s : swells)
        for (float seconds : {0.0f, 67.25f, 105.9f}) {
            water_grid_swell(water, seconds, &s);
            for (int i = 0; i < 33; ++i)
                for (int j = 0; j < 33; ++j) {
                    const float u = static_cast<float>(j) / 32.0f, v = static_cast<float>(i) / 32.0f;
                    const float c = core_sin(1.57f * seconds + 7.0f * CORE_PI * u);
                    const float e = core_sin(0.78f * seconds - s.row_waves * CORE_PI * v);
                    const float f = core_sin(2.39f * seconds - s.cross_waves * CORE_PI * u * v);
                    const MeshVertex& m = water->vertices[33 * i + j];
                    ASSERT_EQ(m.y, s.height * (f * e * 0.5f * c + 0.5f) + s.base) << i << ", " << j;
                    ASSERT_EQ(m.u, 4.0f * u + s.drift * seconds);
                    ASSERT_EQ(m.v, 3.0f * v);
                    ASSERT_EQ(m.colour, 0xffffffffu);
                    ASSERT_GE(m.y, s.base);
                    ASSERT_LE(m.y, s.base + s.height);
                }
            // Normals of a gentle swell point up, exactly as the general
            // normal pass makes them.
            for (int32_t k = 0; k < water->vertex_count; ++k)
                ASSERT_GT(water->normals[6 * k + 1], 0.5f) << k;
            const std::vector<float> swelled(water->normals, water->normals + 6 * water->vertex_count);
            mesh_compute_normals(water);
            for (int32_t k = 0; k < water->vertex_count; ++k)
                ASSERT_EQ(std::memcmp(&swelled[6 * k], water->normals + 6 * k, 3 * sizeof(float)), 0) << k;
        }
    // A negative drift subtracts exactly: the sphere scene's 4u - 0.1 s.
    water_grid_swell(water, 3.3f, &swells[0]);
    EXPECT_EQ(water->vertices[7].u, 4.0f * (7.0f / 32.0f) - 0.1f * 3.3f);
    mesh_free(water);
}

TEST(WaterGrid, PlacementFollowsTheCameraAndBandsSlideInWithinTheBeatPair)
{
    Mesh* water = water_grid_create(nullptr);
    ASSERT_NE(water, nullptr);
    water_grid_place(water, 6.5f, 0.95f);
    Matrix turn;
    matrix_rotation_yxz(&turn, -0.05f, 0.0f, 0.0f);
    EXPECT_EQ(std::memcmp(turn.m, water->model.m, 12 * sizeof(float)), 0);
    EXPECT_EQ(water->model.m[12], -6.5f);
    EXPECT_EQ(water->model.m[13], 0.95f);
    EXPECT_EQ(water->model.m[14], 5.0f);
    mesh_free(water);

    EXPECT_EQ(water_grid_band_offset(150.0f), 92);
    EXPECT_EQ(water_grid_band_offset(151.0f), 5); // 92 / 16 = 5.75, truncated
    EXPECT_EQ(water_grid_band_offset(151.99f), 0);
    int previous = 93;
    for (float b = 146.0f; b < 148.0f; b += 0.05f) {
        const int w = water_grid_band_offset(b);
        EXPECT_LE(w, previous) << b;
        previous = w;
    }
}

// The grid drawn clipped into a private frame, flat and depth-tested in a
// colour per triangle, once with every triangle and once after
// water_grid_cull: frames and depth must agree exactly, for cameras that see
// the grid from above, across and through it, and windows cut on each side.
TEST(WaterGrid, CullingSkipsOnlyTrianglesTheClippedDrawingLeavesOut)
{
    Mesh* water = water_grid_create(nullptr);
    ASSERT_NE(water, nullptr);
    std::vector<uint32_t> pixels(SCREEN_WIDTH * SCREEN_HEIGHT);
    FrameSurface surface = {SCREEN_WIDTH, SCREEN_HEIGHT, SCREEN_WIDTH * 4, pixels.data()};
    FrameSurface* saved_screen = screen;
    DepthBuffer* saved_depth = depth_buffer;
    screen = &surface;
    depth_buffer = depth_buffer_create(SCREEN_WIDTH, SCREEN_HEIGHT);
    ASSERT_NE(depth_buffer, nullptr);
    for (int32_t t = 0; t < water->triangle_count; ++t)
        water->triangles[t].lit_colour = 0xff000000u | static_cast<uint32_t>(t * 2654435761u >> 8);

    struct View {
        float x, y, fov, eye_y, window[4];
    };
    const WaterSwell swell = {5.0f, 3.0f, 2.5f, -15.0f, 0.1f};
    const View views[] = {
        {5.0f, 0.0f, 90.0f, 0.0f, {0.0f, 39.0f, 640.0f, 400.0f}},     // the ribbon's water
        {-2.5f, 0.95f, 90.0f, 0.0f, {0.0f, 39.0f, 640.0f, 400.0f}},   // its reflection
        {-1.5f, 0.0f, 45.0f, 0.0f, {0.0f, 0.0f, 640.0f, 480.0f}},     // zoomed in
        {0.0f, 0.0f, 90.0f, -5.0f, {150.0f, 200.0f, 300.0f, 200.0f}}, // lower, a small window
        {0.0f, 0.0f, 90.0f, -9.0f, {150.0f, 200.0f, 300.0f, 200.0f}}, // nearer the crests
        {0.0f, 0.0f, 90.0f, 5.0f, {150.0f, 300.0f, 300.0f, 100.0f}},  // higher, a strip
        {45.0f, 0.0f, 90.0f, -5.0f, {0.0f, 0.0f, 640.0f, 480.0f}},    // off to the side
    };
    int32_t skipped_total = 0;
    for (const View& view : views) {
        Camera camera;
        camera_look(&camera, scene_frame_at(0.0, nullptr), {view.x, view.eye_y, 18.0f},
                    {view.x, view.eye_y, 17.0f}, 1.0f, 256.0f, view.fov);
        set_clip_window(view.window[0], view.window[1], view.window[2], view.window[3]);
        water_grid_swell(water, 41.5f, &swell);
        water_grid_place(water, view.x, view.y);
        mesh_transform_view(water, &camera, 0);

        std::vector<uint32_t> frames[2];
        std::vector<int32_t> depths[2];
        for (int pass = 0; pass < 2; ++pass) {
            std::fill(pixels.begin(), pixels.end(), 0xff102030u);
            depth_buffer_fill(depth_buffer, DEPTH_CLEAR);
            for (int32_t t = 0; t < water->triangle_count; ++t)
                water->triangles[t].visible = 1;
            if (pass == 1) {
                water_grid_cull(water, &camera);
                for (int32_t t = 0; t < water->triangle_count; ++t)
                    skipped_total += water->triangles[t].visible ? 0 : 1;
            }
            draw_mesh_clipped(water, &camera, FILL_FLAT | FILL_DEPTH);
            frames[pass] = pixels;
            depths[pass].assign(depth_buffer->values, depth_buffer->values + SCREEN_WIDTH * SCREEN_HEIGHT);
        }
        int32_t drawn = 0;
        for (uint32_t p : frames[0])
            drawn += p != 0xff102030u ? 1 : 0;
        EXPECT_GT(drawn, 1000) << view.x;
        EXPECT_TRUE(frames[0] == frames[1]) << "view at x " << view.x;
        EXPECT_TRUE(depths[0] == depths[1]) << "view at x " << view.x;
    }
    // Most of the grid lies beside or below the picture.
    EXPECT_GT(skipped_total, 4000);
    set_clip_window(0.0f, 0.0f, 640.0f, 480.0f);
    depth_buffer_free(depth_buffer);
    depth_buffer = saved_depth;
    screen = saved_screen;
    mesh_free(water);
}

// The prepared sky against blend_image on a busy screen: a screen-wide
// picture opaque in its first 120 rows (a single texel of alpha 254 in row
// 120 ends them), one opaque throughout, one narrower than the screen and none.
TEST(WaterGrid, SkyDrawsExactlyWhatTheAlphaBlendDraws)
{
    std::vector<uint32_t> pixels(SCREEN_WIDTH * SCREEN_HEIGHT);
    FrameSurface surface = {SCREEN_WIDTH, SCREEN_HEIGHT, SCREEN_WIDTH * 4, pixels.data()};
    FrameSurface* saved_screen = screen;
    screen = &surface;
    uint32_t seed = 12345u;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed;
    };
    struct Case {
        int32_t width, height, opaque, expected_rows;
    };
    const Case cases[] = {
        {640, 400, 120, 120}, {640, 400, 400, 400}, {320, 200, 200, 0}, {640, 480, 480, 440}};
    for (const Case& c : cases) {
        Texture* texture = texture_create(c.width, c.height);
        ASSERT_NE(texture, nullptr);
        for (int32_t i = 0; i < c.width * c.height; ++i) {
            const uint32_t alpha = i < c.opaque * c.width ? 255u : next() >> 24;
            texture->pixels[i] = alpha << 24 | (next() & 0xffffffu);
        }
        if (c.opaque < c.height)
            texture->pixels[c.opaque * c.width + 77] = 0xfe000000u | (next() & 0xffffffu);
        WaterSky sky;
        ASSERT_EQ(water_grid_sky_prepare(&sky, texture), 0);
        EXPECT_EQ(sky.opaque_rows, c.expected_rows) << c.width << " x " << c.height;
        std::vector<uint32_t> background(pixels.size());
        for (uint32_t& p : background)
            p = next();
        pixels = background;
        blend_image(texture, 0, LETTERBOX_TOP, 255, BLEND_ALPHA);
        const std::vector<uint32_t> expected = pixels;
        pixels = background;
        water_grid_sky_draw(&sky);
        for (size_t i = 0; i < pixels.size(); ++i)
            ASSERT_EQ(pixels[i], expected[i]) << "pixel " << i % 640 << ", " << i / 640 << " of the "
                                              << c.width << " x " << c.height << " sky";
        water_grid_sky_free(&sky);
        EXPECT_EQ(sky.opaque, nullptr);
        texture_free(texture);
    }
    WaterSky none;
    ASSERT_EQ(water_grid_sky_prepare(&none, nullptr), 0);
    std::fill(pixels.begin(), pixels.end(), 0x12345678u);
    water_grid_sky_draw(&none);
    EXPECT_TRUE(std::all_of(pixels.begin(), pixels.end(), [](uint32_t p) { return p == 0x12345678u; }));
    screen = saved_screen;
}

std::vector<std::vector<int32_t>> blurs_seen;

void record_blur(int32_t from, int32_t to, int32_t passes)
{
    blurs_seen.push_back({from, to, passes});
}

TEST(WaterGrid, OuterBandsSlideOutFromTheMiddleBandInOrder)
{
    blurs_seen.clear();
    water_grid_bands_blur(150.0f, 420, record_blur);  // the ribbon's columns, w = 92
    water_grid_bands_blur(151.99f, 230, record_blur); // the water's rows, w = 0: bands touch
    const std::vector<std::vector<int32_t>> expected = {{308, 328, 64}, {420, 440, 32}, {532, 552, 64},
                                                        {210, 230, 64}, {230, 250, 32}, {250, 270, 64}};
    EXPECT_EQ(blurs_seen, expected);
}

} // namespace
