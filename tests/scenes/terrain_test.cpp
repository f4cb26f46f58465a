// Terrain scene: loads that fail name their file in one line and leave
// nothing drawn; the prism count clamped to 0..240; the camera's breathing
// circle, the world-fixed light and the prisms' loop; frames from the data
// set that stay inside the white letterbox, repeat for the same time and do
// not depend on the environment slot.
#include "prerequisite.h"
#include "../overlays/overlay_fixture.h"

#include "image/texture_table.h"
#include "raster/raster.h"
#include "scenes/scenes.h"
#include "scenes/terrain_parts.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>

namespace
{

const std::filesystem::path data_set = std::filesystem::path(DUNRAVEL_SOURCE_DIR) / "data";

TEST(TerrainTiming, PrismCountGrowsEvery32ndOfASecondAndStaysIn0To240)
{
    EXPECT_NEAR(terrain_scene_time(268.0f / 1.5f), 0.0f, 1e-4f);
    EXPECT_EQ(terrain_prism_count(0.0f), 0);
    EXPECT_EQ(terrain_prism_count(-0.5f), 0); // a frame just before the scene's first beat
    EXPECT_EQ(terrain_prism_count(-1e30f), 0);
    EXPECT_EQ(terrain_prism_count(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(terrain_prism_count(0.03f), 0);
    EXPECT_EQ(terrain_prism_count(1.0f / 32.0f), 1);
    EXPECT_EQ(terrain_prism_count(1.0f), 32);
    EXPECT_EQ(terrain_prism_count(7.49f), 239);
    EXPECT_EQ(terrain_prism_count(7.5f), 240); // full 7.5 s into the scene
    EXPECT_EQ(terrain_prism_count(26.6f), 240);
    EXPECT_EQ(terrain_prism_count(1e30f), 240);
    EXPECT_EQ(terrain_prism_count(std::numeric_limits<float>::infinity()), 240);
}

TEST(TerrainTiming, CameraBreathesAroundTheCentreAndTheLightStaysFixedInTheWorld)
{
    const float root = 1.0f / std::sqrt(1.25f);
    const Vec3 world_light = {0.0f, 0.5f * root, -root};
    float nearest = 1e9f, farthest = 0.0f;
    for (float s = 0.0f; s < 26.7f; s += 0.05f) {
        Camera camera;
        terrain_camera(scene_frame_at(0.0, nullptr), s, &camera);
        const float r = std::hypot(camera.eye.x, camera.eye.z);
        nearest = std::min(nearest, r);
        farthest = std::max(farthest, r);
        EXPECT_FLOAT_EQ(camera.eye.y, -28.0f);
        const float r2 = std::hypot(camera.target.x, camera.target.z);
        EXPECT_GE(r2, 6.0f - 1e-3f) << s;
        EXPECT_LE(r2, 30.0f + 1e-3f) << s;

        // Turned back into the world, the camera-space light is always the same
        // direction: the light turns with the view, not with the camera.
        Vec3 light;
        terrain_light(&camera, &light);
        EXPECT_NEAR(vec3_length(&light), 1.0f, 1e-5f);
        const Vec3 seen = {light.x, light.y, light.z};
        Vec3 back;
        Matrix to_world;
        matrix_transpose(&camera.view, &to_world);
        rotate_direction(&to_world, &seen, &back);
        EXPECT_NEAR(back.x, world_light.x, 1e-4f) << s;
        EXPECT_NEAR(back.y, world_light.y, 1e-4f) << s;
        EXPECT_NEAR(back.z, world_light.z, 1e-4f) << s;
    }
    EXPECT_NEAR(nearest, 18.0f, 0.1f); // 90 * (0.6 - 0.4)
    EXPECT_NEAR(farthest, 90.0f, 0.1f);
}

TEST(TerrainTiming, PrismsTumbleAlongALoopAroundTheVisualiser)
{
    for (float t = 0.0f; t < 12.0f; t += 0.0654f) {
        Matrix m;
        terrain_prism_model(t, &m);
        // A pure rotation: unit rows.
        for (int row = 0; row < 3; ++row) {
            const float* r = m.m + 4 * row;
            EXPECT_NEAR(r[0] * r[0] + r[1] * r[1] + r[2] * r[2], 1.0f, 1e-5f) << t;
        }
        // Over the terrain around the visualiser (radius 12 at height 16).
        EXPECT_GE(m.m[13], 4.5f - 1e-4f) << t;
        EXPECT_LE(m.m[13], 28.5f + 1e-4f) << t;
        const float r = std::hypot(m.m[12], m.m[14]);
        EXPECT_GE(r, 24.0f - 1e-3f) << t;
        EXPECT_LE(r, 40.0f + 1e-3f) << t;
    }
}

class TerrainScene : public OverlayFrame
{
  protected:
    void TearDown() override
    {
        terrain_free();
        texture_table_free();
        OverlayFrame::TearDown();
    }
    bool has_data_set() const { return std::filesystem::exists(data_set / "terrain.lwo"); }
    void draw(double beat)
    {
        fill(0);
        depth_buffer_fill(depth_buffer, DEPTH_CLEAR);
        raster_reset_state();
        set_beat(beat);
        draw_stages(terrain_render, terrain_finish);
    }
    // A failed load: one line, and nothing drawn afterwards.
    std::string failed_load()
    {
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(terrain_load(), 1);
        std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        draw(290.0);
        for (uint32_t p : pixels_)
            EXPECT_EQ(p, 0u);
        return err;
    }
};

TEST_F(TerrainScene, LoadWithoutTheTexturesFailsNamingTheFirst)
{
    const std::string err = failed_load();
    EXPECT_NE(err.find("summer.jpg"), std::string::npos) << err;
}

TEST_F(TerrainScene, MissingObjectsFailNamingTheFileAndFreeWhatWasMade)
{
    if (!has_data_set())
        SKIP_UNLESS_CI() << "no data set at " << data_set << " (make it with scripts/data.sh)";
    paths_set_data_dir(data_set.string().c_str());
    ASSERT_EQ(texture_table_load(), 0);

    paths_set_data_dir(dir_.string().c_str()); // an empty folder
    std::string err = failed_load();
    EXPECT_NE(err.find("terrain: cannot load " + data_file("terrain.lwo") + " (No such file or directory)\n"),
              std::string::npos)
        << err;

    // A file that is not an object: the reader says why.
    std::ofstream(dir_ / "terrain.lwo", std::ios::binary) << std::string("FORM\0\0\0\x04LWOB", 12);
    err = failed_load();
    EXPECT_NE(err.find("terrain: cannot load " + data_file("terrain.lwo") + " (not an LWO2 object"),
              std::string::npos)
        << err;
    std::filesystem::remove(dir_ / "terrain.lwo");

    // The terrain loads, the visualiser does not: the terrain is freed again
    // (the sanitizer build reports it otherwise) and a second free is harmless.
    std::filesystem::copy_file(data_set / "terrain.lwo", dir_ / "terrain.lwo");
    err = failed_load();
    EXPECT_NE(err.find("terrain: cannot load " + data_file("visualize.lwo") + " (No such file or directory)\n"),
              std::string::npos)
        << err;
    terrain_free();
}

TEST_F(TerrainScene, FramesFillTheWhiteLetterboxAndRepeatForTheSameTime)
{
    if (!has_data_set())
        SKIP_UNLESS_CI() << "no data set at " << data_set << " (make it with scripts/data.sh)";
    paths_set_data_dir(data_set.string().c_str());
    ASSERT_EQ(texture_table_load(), 0);
    ASSERT_EQ(terrain_load(), 0);
    const int area = SCREEN_WIDTH * static_cast<int>(LETTERBOX_HEIGHT);
    for (double beat : {268.0, 272.0, 280.0, 292.0, 304.0, 307.9}) {
        draw(beat);
        for (int y : {0, 39, 440, 479})
            for (int x = 0; x < SCREEN_WIDTH; ++x)
                ASSERT_EQ(pixel(x, y), 0u) << beat << " row " << y;
        // Terrain, visualiser and prisms cover the letterbox: no black hole
        // is left of the white it starts from, and the rays add to it.
        int black = 0, white = 0;
        for (int y = LETTERBOX_TOP; y < LETTERBOX_BOTTOM; ++y)
            for (int x = 0; x < SCREEN_WIDTH; ++x) {
                black += (pixel(x, y) & 0xffffffu) == 0;
                white += pixel(x, y) == 0xffffffffu;
            }
        EXPECT_LT(black, area / 100) << beat;
        EXPECT_LT(white, area * 3 / 4) << beat;
        EXPECT_GT(white, SCREEN_WIDTH) << beat; // the rays saturate the top

        const std::vector<uint32_t> first = pixels_;
        // Another row's environment texture left in the slot changes nothing.
        set_environment_texture(texture_get(TEXTURE_GRACE_FILTER));
        fill(0);
        depth_buffer_fill(depth_buffer, DEPTH_CLEAR);
        draw_stages(terrain_render, terrain_finish);
        EXPECT_TRUE(first == pixels_) << "same music time, same picture at " << beat;
    }
}

} // namespace
