// Spikeball scene: failed loads name the file (a motion file without three
// channels, a missing motion file or ball) and leave nothing drawn; the
// timing rules (sprite centre, ray centre, camera, jitter beats, meter
// steps); and frames drawn from the real data set stay inside the letterbox
// and repeat exactly for the same music time.
#include "scene_frames.h"

#include "common/lwo_writer.h"
#include "image/texture_table.h"
#include "scenes/scenes.h"
#include "scenes/spikeball_parts.h"

#include <algorithm>
#include <cmath>

namespace
{

void write_motion(const std::string& path, int channels)
{
    std::vector<LwmoChannel> list(static_cast<size_t>(channels));
    for (int c = 0; c < channels; ++c)
        for (int k = 0; k <= 20; k += 5) {
            LwmoKey key;
            key.time = static_cast<float>(k);
            key.value = static_cast<float>(c + 1) * std::sin(0.3f * k) + 3.0f;
            list[static_cast<size_t>(c)].keys.push_back(key);
        }
    ASSERT_TRUE(lwmo_write_file(path, list));
}

class SpikeballLoad : public OverlayFrame
{
  protected:
    std::string failed_load()
    {
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(spikeball_load(), 1);
        std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        set_beat(200.0);
        draw_stages(spikeball_render, spikeball_finish); // nothing loaded: draws nothing
        for (uint32_t p : pixels_)
            EXPECT_EQ(p, 0u);
        return err;
    }
    void TearDown() override
    {
        spikeball_free();
        OverlayFrame::TearDown();
    }
};

TEST_F(SpikeballLoad, MotionFileWithTwoChannelsFailsNamingIt)
{
    write_motion(data_file("spikeball_pipe.mo"), 2);
    const std::string err = failed_load();
    EXPECT_NE(err.find(data_file("spikeball_pipe.mo")), std::string::npos) << err;
    EXPECT_NE(err.find("three channels"), std::string::npos) << err;
}

TEST_F(SpikeballLoad, MissingMotionFileFailsNamingIt)
{
    const std::string err = failed_load();
    EXPECT_NE(err.find(data_file("spikeball_pipe.mo") + " (No such file or directory)\n"), std::string::npos)
        << err;
}

TEST_F(SpikeballLoad, MissingBallFailsNamingItAfterTheExtraChannelsWereFreed)
{
    write_motion(data_file("spikeball_pipe.mo"), 5); // two channels beyond the path
    const std::string err = failed_load();
    EXPECT_NE(err.find(data_file("spikeball.lwo") + " (No such file or directory)\n"), std::string::npos)
        << err;
    spikeball_free(); // a second free after the failed load is harmless
}

TEST(SpikeballTiming, SpriteCentreCircles)
{
    int32_t cx, cy;
    spikeball_sprite_centre(196.0f, &cx, &cy);
    // sin(98 pi) = 0, cos(98 pi) = 1, 4 sin(0.78) = 2.8, 4 cos(0.78) = 2.9
    EXPECT_EQ(cx, 557 - 0 + 2);
    EXPECT_EQ(cy, 240 - 8 + 2);
    spikeball_sprite_centre(197.0f, &cx, &cy);
    EXPECT_EQ(cx, 557 - 8 + 2);
    EXPECT_EQ(cy, 240 - 0 + 2);
    for (float b = 196.0f; b < 228.0f; b += 0.1f) {
        spikeball_sprite_centre(b, &cx, &cy);
        EXPECT_LE(std::abs(cx - 557), 12) << b;
        EXPECT_LE(std::abs(cy - 240), 12) << b;
    }
}

TEST(SpikeballTiming, RayCentreIsTheSpriteCentreInTheHalfSizeCopy)
{
    int32_t x, y;
    spikeball_ray_centre(557, 240, &x, &y);
    EXPECT_EQ(x, 278);
    EXPECT_EQ(y, 100); // frame row 240 is copy row (240 - 40) / 2
    spikeball_ray_centre(-50, 10, &x, &y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    spikeball_ray_centre(5000, 5000, &x, &y);
    EXPECT_EQ(x, 319);
    EXPECT_EQ(y, 199);
}

TEST(SpikeballTiming, CameraPullsBackOverSixBeatsAndJitterBeats)
{
    EXPECT_FLOAT_EQ(spikeball_camera_z(196.0f), 12.0f);
    EXPECT_FLOAT_EQ(spikeball_camera_z(199.0f), 18.0f);
    EXPECT_FLOAT_EQ(spikeball_camera_z(202.0f), 24.0f);
    EXPECT_FLOAT_EQ(spikeball_camera_z(227.5f), 24.0f);
    for (int n = 196; n < 228; ++n) {
        const bool expected =
            (n >= 196 && n <= 199) || (n >= 204 && n <= 207) || (n >= 212 && n <= 215) || n >= 216;
        EXPECT_EQ(spikeball_jitter_beat(n) != 0, expected) << n;
    }
    // Depth: -5 * (0.25 r + 0.75) at the start of a jitter group, 0 off it.
    Matrix m;
    spikeball_ball_model(131.0f, 196, 196.0f, 0.0f, 1.0f, &m);
    EXPECT_FLOAT_EQ(m.m[14], -5.0f);
    spikeball_ball_model(131.0f, 196, 196.0f, 0.0f, -1.0f, &m);
    EXPECT_FLOAT_EQ(m.m[14], -2.5f);
    spikeball_ball_model(136.0f, 201, 201.5f, 0.5f, 1.0f, &m);
    EXPECT_FLOAT_EQ(m.m[14], 0.0f);
    EXPECT_NEAR(spikeball_pipe_time(130.66667f), 0.0f, 1e-5f);
}

TEST(SpikeballTiming, MeterStepsFollowMusicTimeNotFrames)
{
    EXPECT_EQ(spikeball_meter_steps(-1, 7840, 4), 1); // first frame
    EXPECT_EQ(spikeball_meter_steps(7840, 7840, 4), 0);
    EXPECT_EQ(spikeball_meter_steps(7840, 7841, 4), 1);
    EXPECT_EQ(spikeball_meter_steps(7840, 7842, 4), 2); // a 30 fps frame
    EXPECT_EQ(spikeball_meter_steps(7840, 9000, 4), 4); // a long stall: the history is full
    EXPECT_EQ(spikeball_meter_steps(7840, 100, 4), 1);  // time went back
}

// Frames from the real data set (data/ in the source folder).
class SpikeballScene : public SceneFrames<spikeball_load, spikeball_free, spikeball_render, spikeball_finish>
{
  protected:
    void SetUp() override
    {
        SceneFrames::SetUp();
        load_data_set("spikeball.lwo");
    }
};

TEST_F(SpikeballScene, FramesStayInTheLetterboxAndRepeatForTheSameTime)
{
    for (double beat : {196.0, 201.0, 210.5, 218.0, 227.9}) {
        draw(beat);
        for (int y : {0, 39, 440, 479})
            for (int x = 0; x < SCREEN_WIDTH; ++x)
                ASSERT_EQ(pixel(x, y), 0u) << beat << " row " << y;
        int lit = 0;
        for (int y = 40; y < 440; ++y)
            for (int x = 0; x < SCREEN_WIDTH; ++x)
                lit += (pixel(x, y) & 0xffffffu) != 0;
        EXPECT_GT(lit, 640 * 200) << beat;
    }
    // Same music time, same meter history (restarted by the jump back): same picture.
    spikeball_free();
    ASSERT_EQ(spikeball_load(), 0);
    draw(209.0);
    draw(210.5);
    const std::vector<uint32_t> first = pixels_;
    draw(209.0);
    draw(210.5);
    EXPECT_EQ(pixels_, first);
}

} // namespace
