// The shared water grid: its layout and triangles, the swell against the plain
// three-sines-per-vertex form for both water scenes' settings, its placement
// under the camera, and the sliding blur bands (offset and band placement).
#include "scenes/water_grid.h"

#include "core/core.h"

#include <gtest/gtest.h>

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
            // Normals of a gentle swell point up.
            for (int32_t k = 0; k < water->vertex_count; ++k)
                ASSERT_GT(water->normals[6 * k + 1], 0.5f) << k;
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
