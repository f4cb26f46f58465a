// Title scene: loading (the grid needs four layers, failures name the file),
// the logo slots' beats and growth, the floor height, the spark depth wrap,
// the block glow beats, and a frame drawn from small test objects.
#include "../overlays/overlay_fixture.h"

#include "box_layer.h"
#include "common/lwo_writer.h"
#include "scenes/scenes.h"
#include "scenes/title_parts.h"

#include <cmath>

namespace
{

LwoLayer floor_layer(uint16_t number, float y)
{
    LwoLayer layer;
    layer.number = number;
    layer.points = {-3.0f, y, -3.0f, 3.0f, y, -3.0f, 3.0f, y, 3.0f, -3.0f, y, 3.0f};
    LwoPolygon polygon;
    polygon.corners = {0, 1, 2, 3};
    polygon.surface = 0;
    layer.polygons.push_back(polygon);
    LwoPolygon back;
    back.corners = {3, 2, 1, 0};
    back.surface = 0;
    layer.polygons.push_back(back);
    return layer;
}

// Floors are orange, logos blue, so that a frame tells them apart.
void write_object(const std::string& path, const std::vector<LwoLayer>& layers, bool blue = false)
{
    LwoObject object;
    LwoSurface surface;
    surface.name = "Default";
    surface.colour[0] = blue ? 0.2f : 0.9f;
    surface.colour[1] = 0.6f;
    surface.colour[2] = blue ? 0.9f : 0.3f;
    object.surfaces.push_back(surface);
    object.layers = layers;
    ASSERT_TRUE(lwo_write_file(path, lwo_build(object)));
}

class TitleScene : public OverlayFrame
{
  protected:
    void write_objects(int grid_layers)
    {
        const char* logos[] = {"tolvenari.lwo", "coproduction.lwo", "vs.lwo",
                               "dunravel.lwo",  "presents.lwo",     "event.lwo"};
        for (const char* name : logos)
            write_object(data_file(name), {box_layer(0, -0.5f), box_layer(1, 0.5f)}, true);
        std::vector<LwoLayer> grid;
        for (int i = 0; i < grid_layers; ++i)
            grid.push_back(floor_layer(static_cast<uint16_t>(i), -0.5f));
        write_object(data_file("grid.lwo"), grid);
    }
    void TearDown() override
    {
        title_free();
        OverlayFrame::TearDown();
    }
};

TEST_F(TitleScene, LoadFailsNamingAGridWithFewerThanFourLayers)
{
    write_objects(3);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(title_load(), 1);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("grid.lwo"), std::string::npos) << err;
    title_render(scene_frame_at(1.0, nullptr)); // nothing loaded: draws nothing
    for (uint32_t p : pixels_)
        ASSERT_EQ(p, 0u);
}

TEST_F(TitleScene, LoadFailsNamingAMissingObject)
{
    write_objects(4);
    std::filesystem::remove(data_file("event.lwo"));
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(title_load(), 1);
    const std::string err = ::testing::internal::GetCapturedStderr();
    // The path actually opened, and why.
    EXPECT_NE(err.find(data_file("event.lwo") + " (No such file or directory)\n"), std::string::npos) << err;
}

TEST_F(TitleScene, DrawsTheLetterboxedFloorAndTheLogos)
{
    write_objects(4);
    ASSERT_EQ(title_load(), 0);
    for (double beat : {0.5, 2.0, 6.5, 13.0, 29.0, 37.5}) {
        fill(0);
        depth_buffer_fill(depth_buffer, DEPTH_CLEAR);
        set_beat(beat);
        draw_stages(title_render, title_finish);
        for (int y : {0, 39, 448, 479}) // block glow may reach rows 440-447 from the floor above
            for (int x = 0; x < SCREEN_WIDTH; ++x)
                ASSERT_EQ(pixel(x, y), 0u) << beat << " row " << y;
        // Grey background, the lit orange floor, and from beat 4 the blue logos.
        int grey = 0, floor = 0, logo = 0;
        for (int y = 40; y < 440; ++y)
            for (int x = 0; x < SCREEN_WIDTH; ++x) {
                const uint32_t p = pixel(x, y);
                const uint32_t r = p >> 16 & 0xffu, b = p & 0xffu;
                grey += p == 0x91919191u;
                floor += r > b;
                logo += b > r;
            }
        EXPECT_GT(grey, 0) << beat;
        EXPECT_GT(floor, 1000) << beat;
        if (beat < 4.0)
            EXPECT_EQ(logo, 0) << beat;
        else
            EXPECT_GT(logo, 1000) << beat;
    }
}

TEST(TitleTiming, NoLogoBeforeBeat4AndSlotsInTurn)
{
    for (int n = 0; n < 4; ++n)
        for (int slot = TITLE_SLOT_CENTRE; slot <= TITLE_SLOT_FRONT; ++slot)
            EXPECT_EQ(title_logo(slot, n, n + 0.5f, 1.0f).object, -1) << n;
    EXPECT_EQ(title_logo(TITLE_SLOT_CENTRE, 4, 4.0f, 3.0f).object, 2);
    EXPECT_EQ(title_logo(TITLE_SLOT_BACK, 7, 7.9f, 3.0f).object, -1);
    EXPECT_EQ(title_logo(TITLE_SLOT_BACK, 8, 8.0f, 3.0f).object, 0);
    EXPECT_EQ(title_logo(TITLE_SLOT_FRONT, 11, 11.9f, 3.0f).object, -1);
    EXPECT_EQ(title_logo(TITLE_SLOT_FRONT, 12, 12.0f, 3.0f).object, 1);
    EXPECT_EQ(title_logo(TITLE_SLOT_CENTRE, 28, 28.0f, 3.0f).object, 4);
    EXPECT_EQ(title_logo(TITLE_SLOT_BACK, 31, 31.0f, 3.0f).object, -1);
    EXPECT_EQ(title_logo(TITLE_SLOT_BACK, 32, 32.0f, 3.0f).object, 3);
    EXPECT_EQ(title_logo(TITLE_SLOT_FRONT, 36, 36.0f, 3.0f).object, 5);
}

TEST(TitleTiming, GrowthIsSmoothThenStepped)
{
    EXPECT_FLOAT_EQ(title_logo(TITLE_SLOT_CENTRE, 4, 4.0f, 0.0f).model.m[5], 0.01f);
    EXPECT_FLOAT_EQ(title_logo(TITLE_SLOT_CENTRE, 6, 6.0f, 0.0f).model.m[5], 0.51f);
    EXPECT_FLOAT_EQ(title_logo(TITLE_SLOT_CENTRE, 8, 8.0f, 0.0f).model.m[5], 1.0f);
    // presents grows in four steps of 0.25, constant within each beat
    const float steps[4] = {0.01f, 0.26f, 0.51f, 0.76f};
    for (int k = 0; k < 4; ++k) {
        EXPECT_FLOAT_EQ(title_logo(TITLE_SLOT_CENTRE, 28 + k, 28.0f + k, 0.0f).model.m[5], steps[k]);
        EXPECT_FLOAT_EQ(title_logo(TITLE_SLOT_CENTRE, 28 + k, 28.9f + k, 0.0f).model.m[5], steps[k]);
    }
    const TitleLogo back = title_logo(TITLE_SLOT_BACK, 9, 9.0f, 0.0f);
    EXPECT_FLOAT_EQ(back.model.m[5], 0.26f);
    EXPECT_FLOAT_EQ(back.model.m[14], -1.4f);
    const TitleLogo event = title_logo(TITLE_SLOT_FRONT, 36, 36.5f, 0.0f);
    EXPECT_FLOAT_EQ(event.model.m[5], 0.1f); // the event logo starts at 0.1
    EXPECT_FLOAT_EQ(event.model.m[14], 1.1f);
    const TitleLogo front = title_logo(TITLE_SLOT_FRONT, 20, 20.0f, 5.0f);
    EXPECT_FLOAT_EQ(front.model.m[5], 1.0f);
    EXPECT_FLOAT_EQ(front.model.m[14], 1.1f);
    EXPECT_FLOAT_EQ(front.time, 5.78f);
    EXPECT_EQ(front.bin, 1);
}

TEST(TitleTiming, FloorSinksDuringBeat0AndKicksLater)
{
    EXPECT_FLOAT_EQ(title_floor_height(0, 0.0f, 0.0f), 2.0f);
    EXPECT_FLOAT_EQ(title_floor_height(0, 0.5f, 0.5f), 0.0f);
    EXPECT_FLOAT_EQ(title_floor_height(1, 1.0f, 0.0f), -2.0f);
    EXPECT_FLOAT_EQ(title_floor_height(10, 10.0f, 0.0f), -2.0f);
    EXPECT_FLOAT_EQ(title_floor_height(11, 11.0f, 0.0f), -2.5f);
    EXPECT_FLOAT_EQ(title_floor_height(27, 27.0f, 0.0f), -2.0f);
    EXPECT_FLOAT_EQ(title_floor_height(28, 28.0f, 0.0f), -1.5f);
    EXPECT_NEAR(title_floor_height(28, 28.5f, 0.5f), -2.0f + 0.5f / 256.0f, 1e-6);
}

TEST(TitleTiming, SparkDepthWrapsToNearZeroThenCycles)
{
    EXPECT_FLOAT_EQ(title_spark_depth(3.5f), 3.5f);
    EXPECT_FLOAT_EQ(title_spark_depth(4.0f), 4.0f);
    EXPECT_NEAR(title_spark_depth(4.25f), 0.25f, 1e-6);
    EXPECT_NEAR(title_spark_depth(-4.25f), 0.25f, 1e-6);
    EXPECT_NEAR(title_spark_depth(12.5f), 0.5f, 1e-6);
    EXPECT_NEAR(title_spark_depth(11.0f), -1.0f, 1e-6);
    for (float z = -40.0f; z < 40.0f; z += 0.37f) {
        const float d = title_spark_depth(z);
        EXPECT_GE(d, -4.0f) << z;
        EXPECT_LE(d, 4.0f) << z;
    }
}

TEST(TitleTiming, BlockGlowOnlyOnItsBeats)
{
    for (int n = 0; n <= 5; ++n)
        EXPECT_FALSE(title_block_glow_beat(n)) << n;
    for (int n = 34; n < 44; ++n)
        EXPECT_FALSE(title_block_glow_beat(n)) << n;
    for (int n = 6; n < 34; ++n)
        EXPECT_EQ(title_block_glow_beat(n) != 0, (n & 2) != 0) << n;
    EXPECT_TRUE(title_block_glow_beat(6));
    EXPECT_TRUE(title_block_glow_beat(31));
    EXPECT_FALSE(title_block_glow_beat(8));
}

} // namespace
