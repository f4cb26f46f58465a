// The demo clock (beat arithmetic, fixed-step frames, spectrum meter), the
// effect table and timeline walks, screenshots and the command line.
#include "core/core.h"
#include "core/frame.h"
#include "image/texture_table.h"
#include "overlays/overlays.h"
#include "scenes/scenes.h"
#include "platform/audio.h"
#include "runtime/clock.h"
#include "runtime/effects.h"
#include "runtime/options.h"
#include "runtime/screenshot.h"
#include "runtime/video.h"

#include "../platform/test_mp3.h"

#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <SDL.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace
{

std::vector<int> calls;
template <int N> int32_t load_ok()
{
    calls.push_back(N);
    return 0;
}
template <int N> int32_t load_fail()
{
    calls.push_back(N);
    return 1;
}
template <int N> void free_row()
{
    calls.push_back(100 + N);
}
template <int N> void render_row(const SceneFrame&)
{
    calls.push_back(N);
}

} // namespace

// The clock and the music are global: every test of them starts from and
// returns to the state the program starts in, even when an assertion stops it.
class Clock : public ::testing::Test
{
  protected:
    void SetUp() override { clock_set_tempo(90.0f); }
    void TearDown() override
    {
        music_close();
        music_set_clock(MUSIC_CLOCK_DEVICE, 0);
        music_set_end(-1.0);
        clock_set_time(0.0, 0.0);
    }
};

TEST_F(Clock, TempoAndBeatTruncation)
{
    clock_set_tempo(90.0f);
    EXPECT_EQ(demo_clock.beats_per_ms, 0.0015f);
    clock_set_time(29.3333, 0.0);
    EXPECT_NEAR(clock_beat(), 43.99995f, 1e-4f);
    EXPECT_EQ(clock_beat_index(), 43);
    clock_set_time(29.33334, 0.0);
    EXPECT_EQ(clock_beat_index(), 44);
    // The fraction is exactly 0 on a whole beat and never reaches 1.
    clock_set_time(2.0, 0.0);
    EXPECT_EQ(clock_beat(), 3.0f);
    EXPECT_EQ(clock_beat_fraction(), 0.0f);
    int whole = 0;
    for (int b = 0; b < 410; b++) {
        for (double t : {b / 1.5, b / 1.5 + 0.6666666, b / 1.5 - 1e-7}) {
            clock_set_time(t, 0.0);
            float beat = clock_beat();
            ASSERT_GE(clock_beat_fraction(), 0.0f);
            ASSERT_LT(clock_beat_fraction(), 1.0f);
            ASSERT_EQ(clock_beat_index(), static_cast<int>(beat));
            if (beat == static_cast<float>(static_cast<int>(beat))) {
                ASSERT_EQ(clock_beat_fraction(), 0.0f) << t;
                whole++;
            }
        }
    }
    EXPECT_GT(whole, 100);
}

TEST_F(Clock, ResetAndCounterStep)
{
    clock_set_tempo(90.0f);
    clock_reset();
    EXPECT_EQ(music_seconds, 0.0);
    EXPECT_EQ(clock_beat(), 0.0f);
    clock_advance_counter();
    EXPECT_GE(music_seconds, 0.0);
    EXPECT_LT(music_seconds, 0.5);
    EXPECT_EQ(frame_seconds, music_seconds);
}

TEST_F(Clock, FixedStepFramesFollowTheTrack)
{
    ScratchDir dir("fixed-clock");
    std::string path = (dir.path / "tone.mp3").string();
    ASSERT_TRUE(write_test_mp3(path, 44100, 2, 0.5, 40.0 * 44100.0 / 1024.0, 0.5));
    music_set_clock(MUSIC_CLOCK_FIXED, 60);
    music_set_end(-1.0);
    ASSERT_EQ(music_open(path.c_str(), 90.0f, 0.0f), 0);
    ASSERT_EQ(music_play(), 0);
    int frames = 0;
    while (music_is_playing()) {
        music_update();
        ASSERT_DOUBLE_EQ(music_seconds, frames * 735 / 44100.0) << frames;
        ASSERT_DOUBLE_EQ(frame_seconds, 1.0 / 60);
        frames++;
        ASSERT_LT(frames, 100);
    }
    EXPECT_EQ(frames, 30); // 0.5 s at 60 frames per second
    // The spectrum is the analysis of the track at the frame's position.
    float expected[512];
    audio_track_spectrum(music_track(), 29 * 735 * 4, expected);
    for (int k = 0; k < 512; k++)
        ASSERT_EQ(spectrum[k], expected[k]);
    EXPECT_GT(spectrum[40], 0.3f);
    music_close();

    // A start position lands on the next frame of the same grid.
    ASSERT_EQ(music_open(path.c_str(), 90.0f, 0.25f), 0);
    testing::internal::CaptureStdout();
    ASSERT_EQ(music_play(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "skip forward to 0.250000\n");
    music_update();
    EXPECT_DOUBLE_EQ(music_seconds, 15 * 735 / 44100.0);
}

TEST_F(Clock, DecodingOnAnotherThreadLeavesTheDeviceToTheMainThread)
{
    ScratchDir dir("device-thread");
    std::string path = (dir.path / "tone.mp3").string();
    ASSERT_TRUE(write_test_mp3(path, 44100, 2, 0.5, 440.0, 0.3));
    music_set_clock(MUSIC_CLOCK_DEVICE, 0);
    ASSERT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u);
    int32_t loaded = -1;
    std::thread loader([&] { loaded = music_load(path.c_str(), 90.0f, 0.0f); });
    loader.join();
    EXPECT_EQ(loaded, 0);
    EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u) << "the loader thread opened the sound device";
    ASSERT_EQ(music_open_output(), 0);
    EXPECT_NE(SDL_WasInit(SDL_INIT_AUDIO), 0u);
    EXPECT_EQ(music_play(), 0);
    EXPECT_EQ(music_is_playing(), 1);
    music_close();
    EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u);
}

TEST_F(Clock, MissingMusicFailsAndNamesTheFile)
{
    music_set_clock(MUSIC_CLOCK_SILENT, 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(music_open("data\\no-such-track.mp3", 90.0f, 0.0f), 1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("data/no-such-track.mp3"), std::string::npos) << err;
    EXPECT_EQ(music_is_playing(), 0);
    EXPECT_EQ(music_play(), 1);
}

TEST_F(Clock, SceneFrameIsWhatTheClockSays)
{
    for (double t : {0.0, 2.0, 29.3333, 29.33334, 100.123456, 270.0}) {
        clock_set_time(t, 1.0 / 60.0);
        const SceneFrame f = clock_scene_frame();
        EXPECT_EQ(f.seconds, music_seconds);
        EXPECT_EQ(f.beat, clock_beat());
        EXPECT_EQ(f.beat_index, clock_beat_index());
        EXPECT_EQ(f.beat_fraction, clock_beat_fraction());
        EXPECT_EQ(f.row_beat, f.beat);
        EXPECT_EQ(f.spectrum, spectrum);
        EXPECT_EQ(f.step, scene_step_at(t));
        // At the demo's tempo the clock's beat is the frame record's own.
        EXPECT_EQ(f.beat, beat_at(t).beat);
    }
}

TEST(Effects, FailingLoadReleasesExactlyTheEarlierRows)
{
    const EffectSlot table[] = {
        {load_ok<0>, free_row<0>}, {load_ok<1>, free_row<1>}, {load_ok<2>, free_row<2>},
        {load_ok<3>, free_row<3>}, {load_ok<4>, free_row<4>}, {load_fail<5>, free_row<5>},
        {load_ok<6>, free_row<6>}, {load_ok<7>, free_row<7>},
    };
    calls.clear();
    EXPECT_EQ(effects_load_table(table, 8), 1);
    EXPECT_EQ(calls, (std::vector<int>{0, 1, 2, 3, 4, 5, 100, 101, 102, 103, 104}));
    calls.clear();
    EXPECT_EQ(effects_load_table(table, 5), 0);
    effects_free_table(table, 5);
    EXPECT_EQ(calls, (std::vector<int>{0, 1, 2, 3, 4, 100, 101, 102, 103, 104}));
}

TEST(Effects, TimelineDrawsTheActiveRowsInTableOrder)
{
    // The real ranges with recording render functions.
    SceneRender renders[TIMELINE_COUNT] = {render_row<0>,  render_row<1>,  render_row<2>,  render_row<3>,
                                              render_row<4>,  render_row<5>,  render_row<6>,  render_row<7>,
                                              render_row<8>,  render_row<9>,  render_row<10>, render_row<11>,
                                              render_row<12>, render_row<13>, render_row<14>};
    TimelineEntry rows[TIMELINE_COUNT];
    for (int i = 0; i < TIMELINE_COUNT; i++)
        rows[i] = {renders[i], nullptr, timeline[i].first_beat, timeline[i].end_beat};
    auto drawn_at = [&](int beat) {
        calls.clear();
        SceneFrame frame = scene_frame_at(0.0, nullptr);
        frame.beat_index = beat;
        timeline_render_table(rows, TIMELINE_COUNT, frame);
        return calls;
    };
    EXPECT_EQ(drawn_at(0), (std::vector<int>{0, 11, 12}));
    EXPECT_EQ(drawn_at(43), (std::vector<int>{0, 11, 12}));
    EXPECT_EQ(drawn_at(44), (std::vector<int>{1, 11}));
    EXPECT_EQ(drawn_at(228), (std::vector<int>{7, 11, 13}));
    for (int beat = 361; beat <= 371; beat++)
        EXPECT_EQ(drawn_at(beat), (std::vector<int>{9, 10, 11, 14})) << beat;
    EXPECT_EQ(drawn_at(372), (std::vector<int>{10, 11, 14}));
    for (int beat = 397; beat <= 409; beat++)
        EXPECT_EQ(drawn_at(beat), (std::vector<int>{11})) << beat;
    EXPECT_EQ(drawn_at(410), (std::vector<int>{}));
    EXPECT_EQ(drawn_at(-1), (std::vector<int>{}));
    // Rows 12 to 14 are the same function; every scene row has its own.
    EXPECT_EQ(timeline[12].render, timeline[13].render);
    EXPECT_EQ(timeline[12].render, timeline[14].render);
    EXPECT_NE(timeline[0].render, timeline[1].render);
}

TEST(Effects, RowNamesAndEnd)
{
    EXPECT_STREQ(effect_name(0), "texture_table");
    EXPECT_STREQ(effect_name(13), "post_filter");
    EXPECT_EQ(effect_name(14), nullptr);
    EXPECT_STREQ(timeline_name(0), "title");
    EXPECT_STREQ(timeline_name(1), "metaball");
    EXPECT_STREQ(timeline_name(11), "overlay");
    EXPECT_STREQ(timeline_name(14), "post_filter");
    EXPECT_EQ(timeline_name(-1), nullptr);
    EXPECT_EQ(timeline_end_beat(), 410);
    EXPECT_TRUE(timeline_row_active(9, 371));
    EXPECT_FALSE(timeline_row_active(9, 372));
    EXPECT_EQ(effect_table[0].load, texture_table_load);
    EXPECT_EQ(effect_table[1].load, title_load);
    EXPECT_EQ(effect_table[11].free, end_free);
    EXPECT_EQ(effect_table[12].load, overlay_load);
    EXPECT_EQ(effect_table[13].load, post_filter_load);
    EXPECT_EQ(timeline[10].render, end_render);
    // The overlays and the greetings' lenses work on the drawn frame: a finish
    // stage only; the title's block glow follows its shared drawing.
    EXPECT_EQ(timeline[11].render, nullptr);
    EXPECT_EQ(timeline[11].finish, overlay_render);
    EXPECT_EQ(timeline[7].render, nullptr);
    EXPECT_EQ(timeline[7].finish, greetings_render);
    EXPECT_EQ(timeline[0].render, title_render);
    EXPECT_EQ(timeline[0].finish, title_finish);
}
