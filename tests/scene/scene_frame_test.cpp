// The frame record scenes draw from: the beat at a music time, the fixed
// steps of music time at any frame rate, the record's defaults, and the
// spectrum meter over a given spectrum.
#include "scene/scene_frame.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(SceneFrame, WholeBeatsFallOnTheirMusicTimes)
{
    for (int beat = 0; beat <= 410; ++beat) {
        // A hair past the beat's time is in that beat; a hair before, the one before.
        const BeatTime on = beat_at(beat_seconds(beat) + 1e-4);
        ASSERT_EQ(on.index, beat);
        ASSERT_GE(on.fraction, 0.0f);
        ASSERT_LT(on.fraction, 1.0f);
        ASSERT_EQ(on.beat - on.fraction, static_cast<float>(beat));
        if (beat > 0) {
            ASSERT_EQ(beat_at(beat_seconds(beat) - 1e-4).index, beat - 1);
        }
    }
    EXPECT_EQ(beat_at(2.0).beat, 3.0f);
    EXPECT_EQ(beat_at(2.0).fraction, 0.0f);
    EXPECT_EQ(SCENE_STEPS_PER_BEAT, 40);
}

TEST(SceneFrame, FrameTimesOnAStepCountThatStepAtAnyRate)
{
    // Frame k at fps frames a second lies in step floor(60 k / fps), even
    // where k / fps rounds a little below the step's time.
    for (int fps : {4, 24, 25, 30, 50, 59, 60, 61, 120, 144})
        for (int64_t k = 0; k < 60 * 300; ++k) {
            const double seconds = static_cast<double>(k) / fps;
            ASSERT_EQ(scene_step_at(seconds), k * 60 / fps) << k << " at " << fps;
        }
    EXPECT_EQ(scene_step_seconds(90), 1.5);
    // Times no music has still give a count, never undefined behaviour.
    EXPECT_LT(scene_step_at(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_LT(scene_step_at(-1e300), 0);
    EXPECT_GT(scene_step_at(1e300), 0);
}

TEST(SceneFrame, RecordAtATimeHasTheNativeSizeAndSilence)
{
    const SceneFrame f = scene_frame_at(30.0, nullptr);
    EXPECT_EQ(f.seconds, 30.0);
    EXPECT_EQ(f.beat, 45.0f);
    EXPECT_EQ(f.beat_index, 45);
    EXPECT_EQ(f.row_beat, f.beat);
    EXPECT_EQ(f.step, 1800);
    EXPECT_EQ(f.width, 640);
    EXPECT_EQ(f.height, 480);
    ASSERT_NE(f.spectrum, nullptr);
    for (int i = 0; i < SPECTRUM_SIZE; ++i)
        ASSERT_EQ(f.spectrum[i], 0.0f);
    float mine[SPECTRUM_SIZE] = {};
    EXPECT_EQ(scene_frame_at(1.0, mine).spectrum, mine);
}

TEST(SpectrumMeter, InitAndHistoryMean)
{
    float spectrum[SPECTRUM_SIZE] = {};
    SpectrumMeter m;
    spectrum_meter_init(&m);
    EXPECT_EQ(m.band, 0);
    EXPECT_EQ(m.history_length, 0);
    EXPECT_EQ(m.scale, 1.0f);
    EXPECT_EQ(m.history[15], -1.0f);
    spectrum[3] = 0.5f;
    m.band = 3;
    m.scale = 2.0f;
    m.offset = 1.0f;
    EXPECT_EQ(spectrum_meter_sample(&m, spectrum), 2.0f); // no history: the value itself
    m.history_length = 4;
    EXPECT_EQ(spectrum_meter_sample(&m, spectrum), 2.0f); // only one entry counts so far
    spectrum[3] = 1.5f;
    EXPECT_EQ(spectrum_meter_sample(&m, spectrum), 3.0f); // (2 + 4) / 2
    EXPECT_EQ(m.history[2], 2.0f);
    EXPECT_EQ(m.history[3], 4.0f);
    // Values at or below -1 never count; with none counting, the value itself.
    SpectrumMeter low;
    spectrum_meter_init(&low);
    low.history_length = 2;
    low.offset = -5.0f;
    spectrum[0] = 0.0f;
    EXPECT_EQ(spectrum_meter_sample(&low, spectrum), -5.0f);
    // Bands out of range are clamped, never read outside the spectrum.
    low.band = 100000;
    low.history_length = 99;
    spectrum_meter_sample(&low, spectrum);
}
