// Sphere over water: the zoom, bounce, pulse and band timing; the sparkles
// (facing vertices only, at most 3,072); the billboard quads; the deformation
// and the swell against their plain per-step forms; failed loads naming the
// file; and frames of the real data set: nothing drawn outside the surface at
// the unclipped beats, no dark band where the sky meets the water.
#include "prerequisite.h"
#include "../overlays/overlay_fixture.h"

#include "image/image.h"
#include "raster/raster.h"
#include "scene/deform.h"
#include "scene/generate.h"
#include "scene/billboard.h"
#include "scenes/scenes.h"
#include "scenes/water_parts.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>

namespace
{

float row_length(const Matrix& m, int r)
{
    const float* p = m.m + 4 * r;
    return std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
}

} // namespace

TEST(WaterTiming, ZoomRunsFrom45DegreesCentredTo90OnTheWaterCamera)
{
    const WaterZoom start = water_zoom(100, 100.0f);
    EXPECT_FLOAT_EQ(start.fov, 45.0f);
    EXPECT_FLOAT_EQ(start.eye_x, 0.0f);
    const WaterZoom mid = water_zoom(104, 104.0f);
    EXPECT_GT(mid.fov, 45.0f);
    EXPECT_LT(mid.fov, 46.0f); // (1/2)^6: the zoom holds back, then rushes
    const WaterZoom late = water_zoom(107, 107.999f);
    EXPECT_NEAR(late.fov, 90.0f, 0.1f);
    EXPECT_NEAR(late.eye_x, water_camera_x(107.999f), 0.01f);
    const WaterZoom end = water_zoom(108, 108.0f);
    EXPECT_FLOAT_EQ(end.fov, 90.0f);
    EXPECT_FLOAT_EQ(end.eye_x, water_camera_x(108.0f));
    EXPECT_FLOAT_EQ(water_zoom(131, 131.5f).fov, 90.0f);
    // The sway: -1.5 on even beats, -0.5 and -2.5 at its extremes.
    EXPECT_FLOAT_EQ(water_camera_x(108.0f), -1.5f);
    EXPECT_NEAR(water_camera_x(110.0f), -2.5f, 1e-5f);
    EXPECT_NEAR(water_camera_x(114.0f), -0.5f, 1e-5f);
}

TEST(WaterTiming, SphereBouncesOnTheBeatAndPulsesAtTheHalfBeatOfOddBeats)
{
    Matrix m;
    water_sphere_model(70.0f, 100, 100.0f, &m);
    EXPECT_NEAR(m.m[13], -0.125f, 1e-6f); // down on the beat
    EXPECT_FLOAT_EQ(m.m[12], 0.0f);
    EXPECT_NEAR(row_length(m, 0), 1.0f, 1e-5f);
    water_sphere_model(70.0f, 100, 100.5f, &m);
    EXPECT_NEAR(m.m[13], 0.0f, 1e-6f);          // up between beats
    EXPECT_NEAR(row_length(m, 1), 1.0f, 1e-5f); // even beat: no pulse
    for (float b = 100.0f; b < 132.0f; b += 0.125f) {
        water_sphere_model(b / 1.5f, static_cast<int32_t>(b), b, &m);
        ASSERT_GE(m.m[14], -15.0f) << b;
        ASSERT_LE(m.m[14], -14.0f) << b;
    }
    water_sphere_model(70.0f, 101, 101.25f, &m); // sin(2 pi b) = 1
    for (int r = 0; r < 3; ++r)
        EXPECT_NEAR(row_length(m, r), 1.125f, 1e-5f) << r;
    water_sphere_model(70.0f, 101, 101.0f, &m);
    EXPECT_NEAR(row_length(m, 0), 1.0f, 1e-5f);
}

TEST(WaterTiming, BandsBlurOnBeatsWithBit1AndConvergeOnTheMiddleBand)
{
    EXPECT_EQ(water_blur_beat(100), 0);
    EXPECT_EQ(water_blur_beat(101), 0);
    EXPECT_EQ(water_blur_beat(102), 1);
    EXPECT_EQ(water_blur_beat(103), 1);
    EXPECT_EQ(water_blur_beat(104), 0);
    EXPECT_EQ(water_grid_band_offset(102.0f), 92);
    EXPECT_EQ(water_grid_band_offset(103.999f), 0);
    int32_t previous = 93;
    for (float b = 102.0f; b < 104.0f; b += 0.0625f) {
        const int32_t w = water_grid_band_offset(b);
        EXPECT_LE(w, previous) << b;
        previous = w;
    }
}

TEST(WaterSparkles, FacingVerticesGiveGreyQuadsAtTheirPlaceAndNoMoreThan3072)
{
    Mesh* sphere = mesh_create(4000, 1);
    Mesh* sparkles = mesh_create(4 * WATER_SPARKLE_MAX, 2 * WATER_SPARKLE_MAX);
    ASSERT_NE(sphere, nullptr);
    ASSERT_NE(sparkles, nullptr);
    for (int32_t i = 0; i < sphere->vertex_count; ++i) {
        sphere->vertices[i].x = static_cast<float>(i);
        sphere->normals[6 * i + 5] = 1.0f;
    }
    matrix_identity(&sparkles->model);
    EXPECT_EQ(water_sparkles_build(sphere, sparkles), WATER_SPARKLE_MAX);
    EXPECT_EQ(sparkles->vertex_count, 4 * WATER_SPARKLE_MAX);
    EXPECT_EQ(sparkles->triangle_count, 2 * WATER_SPARKLE_MAX);
    EXPECT_FLOAT_EQ(sparkles->vertices[4 * (WATER_SPARKLE_MAX - 1)].x, 3071.0f + 0.0625f);

    // Normal z 0.875: half way, grey 127; 0.75 and below: nothing.
    const float z[5] = {0.5f, 0.875f, 0.75f, 1.0f, -1.0f};
    for (int32_t i = 0; i < sphere->vertex_count; ++i)
        sphere->normals[6 * i + 5] = i < 5 ? z[i] : 0.0f;
    sphere->vertices[1] = MeshVertex{};
    sphere->vertices[1].x = 1.0f;
    sphere->vertices[1].y = 2.0f;
    sphere->vertices[1].z = 3.0f;
    matrix_translation(&sparkles->model, 10.0f, 0.0f, 0.0f);
    ASSERT_EQ(water_sparkles_build(sphere, sparkles), 2);
    EXPECT_EQ(sparkles->vertex_count, 8);
    EXPECT_EQ(sparkles->triangle_count, 4);
    Matrix identity;
    matrix_identity(&identity);
    EXPECT_EQ(std::memcmp(&sparkles->model, &identity, sizeof identity), 0);
    const MeshVertex* v = sparkles->vertices;
    const float size = 0.03125f * 0.5f + 0.03125f;
    const float corners[4][4] = {{1, 1, 1, 0}, {-1, 1, 1, 1}, {-1, -1, 0, 1}, {1, -1, 0, 0}};
    for (int k = 0; k < 4; ++k) {
        EXPECT_FLOAT_EQ(v[k].x, 11.0f + corners[k][0] * size) << k;
        EXPECT_FLOAT_EQ(v[k].y, 2.0f + corners[k][1] * size) << k;
        EXPECT_FLOAT_EQ(v[k].z, 3.0f - 0.125f) << k;
        EXPECT_EQ(v[k].u, corners[k][2]) << k;
        EXPECT_EQ(v[k].v, corners[k][3]) << k;
        EXPECT_EQ(v[k].colour, 0x7f7f7f7fu) << k;
    }
    EXPECT_EQ(sparkles->triangles[0].lit_colour, 0x7f7f7f7fu);
    EXPECT_EQ(sparkles->triangles[3].lit_colour, 0xffffffffu);
    mesh_free(sphere);
    mesh_free(sparkles);
}

TEST(Billboard, QuadCornersGoRoundTheCentreAndTrianglesPairUp)
{
    MeshVertex out[4] = {};
    out[2].u = 0.5f;
    const Vec3 a = {0.0f, 0.0f, 2.0f}, b = {1.0f, 0.0f, 0.0f}, centre = {1.0f, 2.0f, 3.0f};
    billboard_quad(&a, &b, &centre, 0.5f, out);
    const float expected[4][3] = {
        {1.5f, 2.0f, 4.0f}, {1.5f, 2.0f, 2.0f}, {0.5f, 2.0f, 2.0f}, {0.5f, 2.0f, 4.0f}};
    for (int k = 0; k < 4; ++k) {
        EXPECT_FLOAT_EQ(out[k].x, expected[k][0]) << k;
        EXPECT_FLOAT_EQ(out[k].y, expected[k][1]) << k;
        EXPECT_FLOAT_EQ(out[k].z, expected[k][2]) << k;
    }
    EXPECT_EQ(out[2].u, 0.5f); // only positions are written

    Mesh* mesh = mesh_create(8, 4);
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(billboard_triangles(mesh, 3), 0); // no room: nothing written
    EXPECT_EQ(mesh->triangles[0].visible, 0u);
    ASSERT_EQ(billboard_triangles(mesh, 2), 1);
    const MeshTriangle& t = mesh->triangles[3];
    EXPECT_EQ(t.a, 4);
    EXPECT_EQ(t.b, 6);
    EXPECT_EQ(t.c, 7);
    EXPECT_EQ(t.visible, 1u);
    EXPECT_EQ(t.lit_colour, 0xffffffffu);
    mesh_free(mesh);
}

// The deformation as written step by step, with a normal pass after each
// deformer: the scene's single pass must give the same bits.
TEST(WaterShapes, DeformationMatchesThePlainStepByStepForm)
{
    Mesh* fast = mesh_create_tube(24, 16, 1.0f, 2.0f);
    Mesh* plain = mesh_create_tube(24, 16, 1.0f, 2.0f);
    ASSERT_NE(fast, nullptr);
    ASSERT_NE(plain, nullptr);
    for (float seconds : {66.7f, 67.9f, 71.3f, 87.9f}) {
        water_sphere_deform(fast, seconds);

        const float r = std::fmod(seconds, 2.0f);
        const float q = 0.5f * core_sin(CORE_PI * r / 2.0f) + 0.5f;
        const float d = 0.5f * CORE_PI * seconds, f = 0.25f * CORE_PI * seconds + 0.78f;
        TwistParams t1 = {3, {core_sin(d), core_sin(f), core_cos(d)}, 2.0f, 1.57f * q};
        TwistParams t2 = {
            3, {1.5f * core_cos(d), 1.5f * core_cos(f), 1.5f * core_sin(d)}, 2.0f, -1.57f * (1.0f - q)};
        deform_twist(plain, &t1);
        deform_twist(plain, &t2);
        mesh_compute_normals(plain);
        const float tri = r < 1.0f ? r : 1.0f - (r - 1.0f);
        WaveParams wave = {DEFORM_AXIS_X, 1, {0.0f, 0.0f, 0.0f}, 0.25f * tri, 1.0f, CORE_PI * seconds, 0.0f};
        deform_wave(plain, &wave);
        mesh_compute_normals(plain);
        const float a = 0.5f * (1.0f - tri);
        RippleParams ripple = {DEFORM_AXIS_X,
                               {0.0f, 1.25f * core_sin(seconds / 2.0f), 1.25f * core_cos(seconds / 2.0f)},
                               a,
                               a,
                               0.8f,
                               0.78f * seconds,
                               0.5f,
                               1.0f,
                               0.0f};
        deform_ripple(plain, &ripple);
        mesh_compute_normals(plain);

        ASSERT_EQ(std::memcmp(fast->vertices, plain->vertices, sizeof(MeshVertex) * fast->vertex_count), 0)
            << seconds;
        ASSERT_EQ(std::memcmp(fast->normals, plain->normals, sizeof(float) * 6 * fast->vertex_count), 0)
            << seconds;
        ASSERT_EQ(std::memcmp(fast->triangles, plain->triangles, sizeof(MeshTriangle) * fast->triangle_count),
                  0)
            << seconds;
    }
    mesh_free(fast);
    mesh_free(plain);
}

// This scene's swell with three sines per vertex, as written: the shared grid
// computes the row and column sines once and must give the same bits.
TEST(WaterShapes, SwellMatchesThePlainPerVertexForm)
{
    Mesh* water = water_grid_create(nullptr);
    ASSERT_NE(water, nullptr);
    for (float seconds : {66.7f, 80.05f, 87.9f}) {
        water_grid_swell(water, seconds, &WATER_SWELL);
        for (int i = 0; i < 33; ++i)
            for (int j = 0; j < 33; ++j) {
                const float u = static_cast<float>(j) / 32.0f, v = static_cast<float>(i) / 32.0f;
                const float c = core_sin(1.57f * seconds + 7.0f * CORE_PI * u);
                const float e = core_sin(0.78f * seconds - 3.0f * CORE_PI * v);
                const float f = core_sin(2.39f * seconds - 5.0f * CORE_PI * u * v);
                const MeshVertex& w = water->vertices[33 * i + j];
                ASSERT_EQ(w.y, 1.5f * (f * e * 0.5f * c + 0.5f) - 13.5f) << i << " " << j;
                ASSERT_EQ(w.u, 4.0f * u - 0.1f * seconds);
                ASSERT_EQ(w.v, 3.0f * v);
            }
    }
    mesh_free(water);
}

namespace
{

class WaterScene : public OverlayFrame
{
  protected:
    void TearDown() override
    {
        water_free();
        OverlayFrame::TearDown();
    }
};

} // namespace

TEST_F(WaterScene, LoadFailsNamingAMissingSphereAndThenDrawsNothing)
{
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(water_load(), 1);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(data_file("sphere.lwo") + " (No such file or directory)\n"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    set_beat(110.0);
    draw_stages(water_render);
    for (uint32_t p : pixels_)
        ASSERT_EQ(p, 0u);
    water_free(); // twice is harmless
}

TEST_F(WaterScene, LoadFailsNamingABrokenSphere)
{
    std::ofstream(data_file("sphere.lwo"), std::ios::binary) << "FORM\0\0\0\4LWO2 and then nonsense";
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(water_load(), 1);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(data_file("sphere.lwo") + " (truncated"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

namespace
{

// The real data set with the texture table, drawn into a surface that has
// guard rows above and below: whatever the scene draws must stay inside.
class WaterRealData : public ::testing::Test
{
  protected:
    static constexpr int GUARD_ROWS = 8;
    static constexpr uint32_t GUARD = 0x5a5a5a5au;

    void SetUp() override
    {
        const std::filesystem::path data = std::filesystem::path(DUNRAVEL_SOURCE_DIR) / "data";
        if (!std::filesystem::exists(data / "sphere.lwo") ||
            !std::filesystem::exists(data / "ribbons_bg.png"))
            SKIP_UNLESS_CI() << "no data set in " << data << " (make it with scripts/data.sh)";
        memory_.assign(static_cast<size_t>(SCREEN_WIDTH) * (SCREEN_HEIGHT + 2 * GUARD_ROWS), GUARD);
        surface_ = {SCREEN_WIDTH, SCREEN_HEIGHT, SCREEN_WIDTH * 4,
                    memory_.data() + GUARD_ROWS * SCREEN_WIDTH};
        saved_screen_ = screen;
        screen = &surface_;
        saved_depth_ = depth_buffer;
        depth_buffer = depth_buffer_create(SCREEN_WIDTH, SCREEN_HEIGHT);
        specular_ramp_build();
        paths_set_data_dir(data.string().c_str());
        clock_set_tempo(90.0f);
        ASSERT_EQ(texture_table_load(), 0);
        loaded_ = true;
        ASSERT_EQ(water_load(), 0);
    }
    void TearDown() override
    {
        if (!loaded_)
            return;
        water_free();
        texture_table_free();
        paths_set_data_dir(nullptr);
        depth_buffer_free(depth_buffer);
        depth_buffer = saved_depth_;
        screen = saved_screen_;
    }
    void draw(double beat)
    {
        std::fill(surface_.pixels, surface_.pixels + SCREEN_WIDTH * SCREEN_HEIGHT, 0u);
        depth_buffer_fill(depth_buffer, DEPTH_CLEAR);
        raster_reset_state();
        clock_set_time((beat + 1e-4) / 1.5, 1.0 / 60.0);
        draw_stages(water_render);
    }
    bool guards_intact() const
    {
        const size_t guard = static_cast<size_t>(GUARD_ROWS) * SCREEN_WIDTH;
        for (size_t i = 0; i < guard; ++i)
            if (memory_[i] != GUARD || memory_[memory_.size() - 1 - i] != GUARD)
                return false;
        return true;
    }
    uint32_t pixel(int x, int y) const { return surface_.pixels[y * SCREEN_WIDTH + x]; }
    double row_brightness(int y, int x0, int x1) const
    {
        double sum = 0;
        for (int x = x0; x < x1; ++x) {
            const uint32_t p = pixel(x, y);
            sum += ((p >> 16) & 255u) + ((p >> 8) & 255u) + (p & 255u);
        }
        return sum / (3.0 * (x1 - x0));
    }

    std::vector<uint32_t> memory_;
    FrameSurface surface_{};
    FrameSurface* saved_screen_ = nullptr;
    DepthBuffer* saved_depth_ = nullptr;
    bool loaded_ = false;
};

} // namespace

// From beat 108 the sphere and the sparkles are drawn without clipping; the
// sanitizer build checks the depth buffer, the guard rows the surface. The
// sphere is widest at the pulses of the odd beats (a quarter beat before and
// after the half); at 119.25 it reaches above the clip window.
TEST_F(WaterRealData, UnclippedBeatsWriteNothingOutsideTheSurface)
{
    int outside_window = 0;
    for (int n = 109; n < 132; n += 2)
        for (double quarter : {0.25, 0.75}) {
            draw(n + quarter);
            ASSERT_TRUE(guards_intact()) << n + quarter;
            for (int y : {0, 38, 440, 479})
                for (int x = 0; x < SCREEN_WIDTH; ++x)
                    outside_window += pixel(x, y) != 0;
        }
    EXPECT_GT(outside_window, 0); // the unclipped drawing was exercised
}

// The sky picture fades out over the far edge of the water: between the last
// sky rows and the first clear water rows no row falls to half of either
// (the troughs of the swell are darker stripes, a gap over black is not).
TEST_F(WaterRealData, SkyMeetsTheWaterWithoutADarkBand)
{
    for (double beat : {110.0, 116.0, 120.5, 126.75}) {
        draw(beat);
        const int x0 = 480, x1 = 640; // right of the sphere
        const double sky = row_brightness(300, x0, x1), water = row_brightness(350, x0, x1);
        ASSERT_GT(sky, 60.0) << beat;
        ASSERT_GT(water, 60.0) << beat;
        for (int y = 300; y <= 350; ++y)
            EXPECT_GT(row_brightness(y, x0, x1), 0.5 * std::min(sky, water)) << beat << " row " << y;
    }
}
