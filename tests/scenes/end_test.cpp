// End scene: loading (the object needs four layers, failures name the file
// and leave nothing drawn), the fade and title timing, the sprites' fall in
// fixed steps of music time, and frames drawn from a small test object.
#include "../overlays/overlay_fixture.h"

#include "box_layer.h"
#include "common/lwo_writer.h"
#include "scenes/end_parts.h"
#include "scenes/scenes.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace
{

constexpr double FIRST_SECONDS = 361.0 / 1.5;

class EndScene : public OverlayFrame
{
  protected:
    void write_object(int layers)
    {
        LwoObject object;
        LwoSurface surface;
        surface.name = "Default";
        surface.colour[0] = 0.9f;
        surface.colour[1] = 0.8f;
        surface.colour[2] = 0.5f;
        object.surfaces.push_back(surface);
        for (int i = 0; i < layers; ++i)
            object.layers.push_back(box_layer(static_cast<uint16_t>(i)));
        ASSERT_TRUE(lwo_write_file(data_file("end.lwo"), lwo_build(object)));
    }
    void TearDown() override
    {
        end_free();
        OverlayFrame::TearDown();
    }
    void draw(double seconds, double frame_seconds = 1.0 / 60.0)
    {
        clock_set_time(seconds, frame_seconds);
        draw_stages(end_render);
    }
    // Pixels drawn in rows [y0, y1) of the middle columns, where the test boxes stand.
    int drawn(int y0, int y1)
    {
        int count = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = 280; x < 360; ++x)
                count += pixel(x, y) != 0u;
        return count;
    }
    std::vector<float> heights()
    {
        std::vector<float> h;
        for (int i = 0; i < END_SPRITE_COUNT; ++i)
            h.push_back(end_sprite_height(i));
        return h;
    }
};

TEST_F(EndScene, LoadFailsNamingAnObjectWithFewerThanFourLayers)
{
    write_object(3);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(end_load(), 1);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(data_file("end.lwo")), std::string::npos) << err;
    EXPECT_NE(err.find("3 layers"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    set_beat(390.0);
    draw_stages(end_render); // nothing loaded: draws nothing
    for (uint32_t p : pixels_)
        ASSERT_EQ(p, 0u);
}

TEST_F(EndScene, LoadFailsNamingAMissingObject)
{
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(end_load(), 1);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(data_file("end.lwo") + " (No such file or directory)\n"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

// Layer 0 stands on the middle, layer 1 turns about it, layers 2 and 3 are
// lifted and lowered by the spread: at beat 375 (distance 37) they would
// stand at rows 170-185 and 279-295, at beat 388 (distance 10) at 40-95 and
// 327-385.
TEST_F(EndScene, TitleShowsTwoLayersUntilBeat377ThenAllFourInTheLetterbox)
{
    write_object(4);
    ASSERT_EQ(end_load(), 0);
    set_beat(370.0);
    draw_stages(end_render);
    EXPECT_EQ(drawn(0, 480), 0); // no title yet, and the sprites have no texture here

    set_beat(375.0);
    draw_stages(end_render);
    EXPECT_GT(drawn(200, 280), 0);
    EXPECT_EQ(drawn(40, 200), 0);
    EXPECT_EQ(drawn(280, 440), 0);

    fill(0);
    depth_buffer_fill(depth_buffer, DEPTH_CLEAR);
    set_beat(388.0);
    draw_stages(end_render);
    EXPECT_GT(drawn(40, 100), 0);
    EXPECT_GT(drawn(320, 390), 0);
    for (int y : {0, 39, 440, 479}) // the letterbox stays black
        for (int x = 0; x < SCREEN_WIDTH; ++x)
            ASSERT_EQ(pixel(x, y), 0u) << "row " << y;
}

// The sprites' heights at a music time do not depend on how often frames
// were drawn on the way there, nor on where the drawing started.
TEST_F(EndScene, SpritesAtOneMusicTimeAreTheSameAtEveryFrameRate)
{
    write_object(4);
    ASSERT_EQ(end_load(), 0);
    const double end = FIRST_SECONDS + 7.3;
    std::vector<std::vector<float>> runs;
    for (int fps : {30, 60, 240}) {
        const int64_t first = static_cast<int64_t>(std::ceil(FIRST_SECONDS * fps));
        for (int64_t k = first; static_cast<double>(k) / fps < end; ++k)
            draw(static_cast<double>(k) / fps, 1.0 / fps);
        draw(end, 1.0 / fps);
        runs.push_back(heights());
    }
    EXPECT_EQ(runs[0], runs[1]);
    EXPECT_EQ(runs[0], runs[2]);

    draw(FIRST_SECONDS + 2.0); // a jump back replays the fall from the start
    draw(end);
    EXPECT_EQ(heights(), runs[0]);
    draw(FIRST_SECONDS); // at the first beat nothing has fallen yet
    bool moved = false, inside = true;
    const std::vector<float> start = heights();
    for (size_t i = 0; i < start.size(); ++i) {
        moved |= start[i] != runs[0][i];
        inside &= start[i] >= 32.0f && start[i] <= 40.0f && runs[0][i] >= -32.0f && runs[0][i] < 40.0f;
    }
    EXPECT_TRUE(moved);
    EXPECT_TRUE(inside);
}

TEST(EndTiming, PictureFadesInOverElevenBeats)
{
    EXPECT_EQ(end_fade_alpha(361, 361.0f), 0);
    EXPECT_EQ(end_fade_alpha(366, 366.5f), 127);
    EXPECT_EQ(end_fade_alpha(371, 371.99f), 254);
    EXPECT_EQ(end_fade_alpha(372, 372.0f), 255);
    EXPECT_EQ(end_fade_alpha(396, 396.9f), 255);
    EXPECT_EQ(end_fade_alpha(360, 360.5f), 0); // before the scene: nothing, never negative
}

TEST(EndTiming, TitleComesInFromTheFarPlaneThenItsLinesCloseIn)
{
    EXPECT_EQ(end_title(371, 371.9f).layers, 0);
    const EndTitle first = end_title(372, 372.0f);
    EXPECT_EQ(first.layers, 2);
    EXPECT_FLOAT_EQ(first.z, 0.0f); // 64 units from the eye: on the far plane
    EXPECT_FLOAT_EQ(end_title(375, 375.0f).z, -27.0f);
    EXPECT_EQ(end_title(377, 377.9f).layers, 2);
    const EndTitle all = end_title(378, 378.0f);
    EXPECT_EQ(all.layers, 4);
    EXPECT_FLOAT_EQ(all.z, -54.0f); // 10 units from the eye
    EXPECT_FLOAT_EQ(all.spread, 3.5f);
    EXPECT_FLOAT_EQ(end_title(383, 383.0f).spread, 3.0f);
    EXPECT_NEAR(end_title(387, 387.99f).spread, 2.5f, 2e-3f); // no jump at 388
    EXPECT_FLOAT_EQ(end_title(394, 394.5f).spread, 2.5f);
    EXPECT_FLOAT_EQ(end_title(390, 390.0f).spin, -97.5f);
}

TEST(EndTiming, SpritesFallInSixtiethsAndWrapToTheTopOfTheBand)
{
    EXPECT_EQ(end_sprite_fall(-31.5f, 6.0f), static_cast<float>(-31.5 - 0.1));
    EXPECT_EQ(end_sprite_fall(-32.0f, 6.0f), static_cast<float>(-32.0 - 0.1) + 64.0f); // reappears at the top
    EXPECT_EQ(end_sprite_fall(-31.95f, 3.0f), static_cast<float>(-31.95f - 0.05));     // exactly -32 stays

    EXPECT_EQ(end_sprite_steps(0.0), 0);
    EXPECT_EQ(end_sprite_steps(FIRST_SECONDS), 0);
    EXPECT_EQ(end_sprite_steps(FIRST_SECONDS + 1.0 / 60.0 + 1e-9), 1);
    EXPECT_EQ(end_sprite_steps(FIRST_SECONDS + 2.0 + 1e-9), 120);
    EXPECT_EQ(end_sprite_steps(1e12), 1440); // bounded: the scene's 36 beats
}

} // namespace
