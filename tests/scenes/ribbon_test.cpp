// Ribbon over water: a load without its textures fails naming the file and
// draws nothing; the curve, the strip built along it, the camera and model
// timing (entrance, kicks, swings, the last turn); the glints' atlas cells,
// sizes and cap; and frames drawn from the real data set, the last beat
// (where the ribbon passes the camera) included, stay inside the picture and
// repeat exactly for the same music time.
#include "scene_frames.h"

#include "scenes/glints.h"
#include "scenes/ribbon_parts.h"
#include "scenes/scenes.h"
#include "scenes/kit.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace
{

class RibbonLoad : public OverlayFrame
{
  protected:
    void TearDown() override
    {
        ribbon_free();
        OverlayFrame::TearDown();
    }
};

TEST_F(RibbonLoad, WithoutTheTextureTableFailsNamingTheFirstMissingFile)
{
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(ribbon_load(), 1);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find(data_file("EnviGolden.jpg")), std::string::npos) << err;
    set_beat(150.0);
    draw_stages(ribbon_render, ribbon_finish); // nothing loaded: draws nothing
    for (uint32_t p : pixels_)
        ASSERT_EQ(p, 0u);
    ribbon_free(); // a second free after the failed load is harmless
}

TEST(RibbonCurve, RadiusBlendsBetweenItsTwoFormsEveryTwoUnits)
{
    // t = 0: m = 0, the plain radius 3 (sin 0 + 2) = 6 at (r, r, 0).
    Vec3 c = ribbon_curve(1.7f, 0.0f);
    EXPECT_FLOAT_EQ(c.x, 6.0f);
    EXPECT_FLOAT_EQ(c.y, 6.0f);
    EXPECT_FLOAT_EQ(c.z, 0.0f);
    // t = 1: m = 4, wholly the modulated radius.
    const float p = 0.9f, t = 1.0f;
    const float r2 =
        3.0f * (std::sin(0.78f * p + 3.0f) * std::sin(1.57f * p + 7.0f) * std::sin(0.39f * p - 5.0f) + 2.0f);
    c = ribbon_curve(p, t);
    EXPECT_NEAR(c.x, r2 * std::cos(4.0f), 1e-4f);
    EXPECT_NEAR(c.y, r2 * std::cos(3.0f), 1e-4f);
    EXPECT_NEAR(c.z, r2 * std::sin(4.0f), 1e-4f);
    // t = 0.5: halfway between the two.
    const float r1 = 3.0f * (std::sin(2.5f) + 2.0f);
    const float r2h =
        3.0f * (std::sin(0.78f * p + 1.5f) * std::sin(1.57f * p + 3.5f) * std::sin(0.39f * p - 2.5f) + 2.0f);
    c = ribbon_curve(p, 0.5f);
    EXPECT_NEAR(c.x, 0.5f * (r1 + r2h) * std::cos(2.0f), 1e-4f);
    // Both radii lie in 3..9 for every t the scene reaches (t >= 0).
    for (float s = 0.0f; s < 60.0f; s += 0.37f) {
        c = ribbon_curve(0.3f * s, s);
        const float r = std::hypot(c.x, c.z);
        ASSERT_GE(r, 3.0f - 1e-4f) << s;
        ASSERT_LE(r, 9.0f + 1e-4f) << s;
    }
}

TEST(RibbonStrip, PairsRunAlongTheCurveWithBoundedWidthAndFacingNormals)
{
    Mesh* ribbon = ribbon_mesh_create();
    ASSERT_NE(ribbon, nullptr);
    EXPECT_EQ(ribbon->vertex_count, 770);
    EXPECT_EQ(ribbon->triangle_count, 768);
    for (float a : {33.0f, 38.5f, 40.9f}) {
        ribbon_build(ribbon, a);
        for (int32_t e = 0; e < RIBBON_PAIRS; ++e) {
            const MeshVertex& v0 = ribbon->vertices[2 * e];
            const MeshVertex& v1 = ribbon->vertices[2 * e + 1];
            const float m = 1.0f - static_cast<float>(e) / 384.0f;
            ASSERT_FLOAT_EQ(v0.u, 32.0f * m);
            ASSERT_EQ(v0.v, 0.25f);
            ASSERT_EQ(v1.v, 0.5f);
            // The pair straddles a curve point (radius <= 9 sqrt 2, turned) by
            // at most 1.5 each side.
            const float mx = (v0.x + v1.x) / 2, my = (v0.y + v1.y) / 2, mz = (v0.z + v1.z) / 2;
            ASSERT_LE(std::sqrt(mx * mx + my * my + mz * mz), 9.0f * std::sqrt(2.0f) + 1e-3f) << e;
            const float w = std::hypot(v1.x - v0.x, std::hypot(v1.y - v0.y, v1.z - v0.z));
            ASSERT_LE(w, 3.0f + 1e-4f) << e;
            ASSERT_TRUE(std::isfinite(w)) << e;
            const float* n = ribbon->normals + 6 * 2 * e;
            ASSERT_NEAR(n[0] * n[0] + n[1] * n[1] + n[2] * n[2], 1.0f, 1e-3f) << e;
        }
        // Consecutive pairs are close: one step of 12/384 along the curve.
        for (int32_t e = 0; e + 1 < RIBBON_PAIRS; ++e) {
            const MeshVertex& p = ribbon->vertices[2 * e];
            const MeshVertex& q = ribbon->vertices[2 * e + 2];
            ASSERT_LT(std::hypot(p.x - q.x, std::hypot(p.y - q.y, p.z - q.z)), 3.0f) << e;
        }
    }
    mesh_free(ribbon);
}

TEST(RibbonTiming, CameraHoldsThenSwaysAndTheRibbonSlidesInOverFourBeats)
{
    EXPECT_EQ(ribbon_camera_x(132, 132.0f), 5.0f);
    EXPECT_EQ(ribbon_camera_x(135, 135.9f), 5.0f);
    EXPECT_NEAR(ribbon_camera_x(138, 138.0f), 8.0f, 1e-5f); // sin(34.5 pi) = 1
    EXPECT_NEAR(ribbon_camera_x(142, 142.0f), 2.0f, 1e-5f);
    Matrix m;
    ribbon_model(132, 132.0f, 0.0f, &m);
    EXPECT_FLOAT_EQ(m.m[12], 18.0f);
    ribbon_model(134, 134.0f, 0.0f, &m);
    EXPECT_FLOAT_EQ(m.m[12], 9.0f);
    ribbon_model(135, 135.99f, 0.99f, &m);
    EXPECT_NEAR(m.m[12], 0.045f, 1e-4f); // no sideways kick before beat 136
    ribbon_model(136, 136.0f, 0.0f, &m);
    EXPECT_EQ(m.m[12], 0.0f);
    EXPECT_EQ(m.m[14], 0.0f);
    // Kicks: back in depth on beats 4k, sideways on 4k + 3, growing with fr^2.
    ribbon_model(140, 140.5f, 0.5f, &m);
    EXPECT_FLOAT_EQ(m.m[14], -1.0f);
    EXPECT_EQ(m.m[12], 0.0f);
    ribbon_model(139, 139.5f, 0.5f, &m);
    EXPECT_FLOAT_EQ(m.m[12], -1.0f);
    EXPECT_EQ(m.m[14], 0.0f);
    // Beats 4k + 1 squash the height by a quarter at the half beat only.
    ribbon_model(141, 141.5f, 0.5f, &m);
    EXPECT_NEAR(m.m[5], 0.75f, 1e-5f);
    EXPECT_EQ(m.m[0], 1.0f);
    ribbon_model(141, 141.1f, 0.1f, &m);
    EXPECT_NEAR(m.m[5], 1.0f, 1e-3f);
}

TEST(RibbonTiming, SwingsBackFromMinus45DegreesAndTurnsAndFlattensAtTheEnd)
{
    Matrix m, y;
    for (int n : {143, 159}) {
        ribbon_model(n, static_cast<float>(n), 0.0f, &m);
        matrix_rotation_y(&y, -0.25f * CORE_PI);
        EXPECT_EQ(std::memcmp(m.m, y.m, 12 * sizeof(float)), 0) << n;
        ribbon_model(n, n + 0.999f, 0.999f, &m);
        EXPECT_NEAR(m.m[0], 1.0f, 1e-4f) << n;
        EXPECT_NEAR(m.m[2], 0.0f, 3e-3f) << n;
    }
    ribbon_model(160, 160.5f, 0.5f, &m);
    EXPECT_EQ(m.m[0], 1.0f); // no turn before 161
    // From 161: a quarter turn more each beat, x and z stretched, y squashed and lowered.
    ribbon_model(162, 162.5f, 0.5f, &m);
    matrix_rotation_y(&y, 0.25f * CORE_PI);
    const float c = 1.5f / 3.0f;
    EXPECT_FLOAT_EQ(m.m[0], y.m[0] * (1.0f + 0.85f * c));
    EXPECT_FLOAT_EQ(m.m[2], y.m[2] * (1.0f + 0.85f * c));
    EXPECT_FLOAT_EQ(m.m[5], 1.0f - 0.75f * c);
    EXPECT_FLOAT_EQ(m.m[13], -9.0f * c);
    EXPECT_EQ(m.m[14], 0.0f); // beat 4k + 2: no kick
}

TEST(RibbonTiming, ReflectionBreathesAndBandsBlurOnAlternatePairs)
{
    int lo = 255, hi = 0;
    for (float s = 88.0f; s < 110.0f; s += 0.01f) {
        const int g = ribbon_reflection_level(s);
        lo = std::min(lo, g);
        hi = std::max(hi, g);
    }
    EXPECT_EQ(lo, 63);  // floor(127 / 2)
    EXPECT_GE(hi, 126); // 127 only where the sine rounds to exactly 1
    EXPECT_LE(hi, 127);
    for (int n = 132; n < 164; ++n)
        EXPECT_EQ(ribbon_blur_beat(n), (n % 4 == 2 || n % 4 == 3) ? 1 : 0) << n;
}

// A ribbon of `pairs` pairs whose first vertex of each pair faces the viewer by z.
Mesh* facing_ribbon(int32_t pairs, const float* z)
{
    Mesh* ribbon = mesh_create(2 * pairs, 1);
    if (!ribbon)
        return nullptr;
    for (int32_t e = 0; e < pairs; ++e) {
        MeshVertex* v = ribbon->vertices + 2 * e;
        v[0].x = static_cast<float>(e);
        v[0].y = 1.0f;
        v[0].z = 2.0f;
        v[1].x = static_cast<float>(e) + 2.0f;
        v[1].y = 3.0f;
        v[1].z = 4.0f;
        ribbon->normals[6 * 2 * e + 5] = z[e];
        ribbon->normals[6 * (2 * e + 1) + 5] = 1.0f; // the second vertex is never read
    }
    return ribbon;
}

TEST(RibbonGlints, CellRunsFromFifteenBarelyFacingToZeroFacingAndSquaresGrow)
{
    const float nan = std::nanf("");
    const float z[6] = {0.75f, 0.76f, 1.0f, -1.0f, nan, -0.875f};
    Mesh* ribbon = facing_ribbon(6, z);
    Mesh* glints = glint_mesh_create(RIBBON_GLINT_MAX, nullptr);
    ASSERT_NE(ribbon, nullptr);
    ASSERT_NE(glints, nullptr);
    ASSERT_EQ(ribbon_glints_build(ribbon, glints), 4); // 0.75 and NaN are skipped
    EXPECT_EQ(glints->vertex_count, 16);
    EXPECT_EQ(glints->triangle_count, 8);
    struct {
        int pair;
        float l;
        int cell;
    } expected[4] = {{1, 0.04f, 15}, {2, 1.0f, 0}, {3, 1.0f, 0}, {5, 0.5f, 8}};
    for (int q = 0; q < 4; ++q) {
        const MeshVertex* v = glints->vertices + 4 * q;
        const float l = expected[q].l;
        const float cx = static_cast<float>(expected[q].pair) + 1.0f;
        EXPECT_NEAR(v[0].x, cx + 0.125f + l, 1e-5f) << q;
        EXPECT_NEAR(v[0].y, 2.0f + 0.125f + l, 1e-5f) << q;
        EXPECT_NEAR(v[2].x, cx - 0.125f - l, 1e-5f) << q;
        for (int k = 0; k < 4; ++k)
            EXPECT_FLOAT_EQ(v[k].z, 2.75f) << q; // the middle, 0.25 nearer
        const int cell = expected[q].cell;
        EXPECT_FLOAT_EQ(v[3].u, 0.25f * static_cast<float>(cell % 4)) << q;
        EXPECT_FLOAT_EQ(v[3].v, 0.25f * static_cast<float>(cell / 4)) << q;
        EXPECT_EQ(v[0].colour, grey(static_cast<int32_t>(l * 255.0f))) << q;
    }
    mesh_free(ribbon);

    // Many facing pairs: at most RIBBON_GLINT_MAX quads are written.
    std::vector<float> all(4000, 0.9f);
    ribbon = facing_ribbon(4000, all.data());
    ASSERT_NE(ribbon, nullptr);
    EXPECT_EQ(ribbon_glints_build(ribbon, glints), RIBBON_GLINT_MAX);
    EXPECT_EQ(glints->triangle_count, 2 * RIBBON_GLINT_MAX);
    mesh_free(ribbon);
    mesh_free(glints);
}

// Frames from the real data set (data/ in the source folder).
class RibbonScene : public SceneFrames<ribbon_load, ribbon_free, ribbon_render, ribbon_finish>
{
  protected:
    void SetUp() override
    {
        SceneFrames::SetUp();
        load_data_set("flares.jpg");
    }
    // The letterbox bars stay black outside the columns the blurs may reach.
    void expect_black_bars(double beat)
    {
        for (int y = 0; y < SCREEN_HEIGHT; ++y) {
            if (y >= 39 && y <= 439)
                continue;
            for (int x = 0; x < SCREEN_WIDTH; ++x) {
                if (x < 300 || x > 560) {
                    ASSERT_EQ(pixel(x, y), 0u) << beat << " at " << x << ", " << y;
                }
            }
        }
    }
};

TEST_F(RibbonScene, FramesStayInTheLetterboxAndRepeatForTheSameTime)
{
    for (double beat : {132.0, 136.0, 143.5, 150.0, 159.5}) {
        draw(beat);
        expect_black_bars(beat);
        int lit = 0;
        for (int y = 40; y < 440; ++y)
            for (int x = 0; x < SCREEN_WIDTH; ++x)
                lit += (pixel(x, y) & 0xffffffu) != 0;
        EXPECT_GT(lit, 640 * 300) << beat;
    }
    draw(148.25);
    const std::vector<uint32_t> first = pixels_;
    draw(140.0);
    draw(148.25);
    EXPECT_EQ(pixels_, first);
}

TEST_F(RibbonScene, LastBeatRibbonCrossesTheNearPlaneAndIsCutThere)
{
    // The ribbon as the scene places it at beat 163.9 does reach in front of
    // the near plane (camera z > -1) while most of it lies behind.
    set_beat(163.9);
    Mesh* ribbon = ribbon_mesh_create();
    ASSERT_NE(ribbon, nullptr);
    ribbon_build(ribbon, static_cast<float>(music_seconds) / 4.0f);
    ribbon_model(clock_beat_index(), clock_beat(), clock_beat_fraction(), &ribbon->model);
    Camera camera;
    const float x = ribbon_camera_x(clock_beat_index(), clock_beat());
    camera_look(&camera, clock_scene_frame(), {x, 0.0f, 18.0f}, {x, 0.0f, 17.0f}, 1.0f, 256.0f, 90.0f);
    mesh_transform_view(ribbon, &camera, 0);
    int in_front = 0, behind = 0;
    for (int32_t i = 0; i < ribbon->vertex_count; ++i)
        (ribbon->vertices[i].tz > -1.0f ? in_front : behind) += 1;
    EXPECT_GT(in_front, 0);
    EXPECT_GT(behind, in_front);
    mesh_free(ribbon);

    // Drawn on the window-only path: nothing lands outside the surface (the
    // sanitizer build checks every write) nor in the bars, and the frame repeats.
    for (double beat : {163.0, 163.5, 163.9, 163.99}) {
        draw(beat);
        expect_black_bars(beat);
    }
    const std::vector<uint32_t> last = pixels_;
    draw(163.99);
    EXPECT_EQ(pixels_, last);
}

} // namespace
