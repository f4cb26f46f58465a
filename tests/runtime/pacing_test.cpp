// The live loop's timing rules as pure functions: the frame-rate cap's slots,
// the loading screen's frame number by time, and when the offline progress
// line is printed (terminal or not).
#include "runtime/loading_screen.h"
#include "runtime/pacing.h"
#include "runtime/progress.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

constexpr int64_t MS = 1000000; // counter ticks (nanoseconds)
constexpr int64_t SECOND = 1000 * MS;

// Runs a simulated loop for one second of counter time: each frame waits for
// its slot (sleeping `oversleep` past it), then draws for `draw` ticks.
// Returns the frames started within the second.
int64_t frames_in_a_second(int32_t max_fps, int64_t draw, int64_t oversleep)
{
    Pacing pacing = {};
    int64_t now = 0, frames = 0;
    while (true) {
        int64_t slot = pacing_next_slot(&pacing, now, max_fps, SECOND);
        pacing.last_slot = slot;
        pacing.started = 1;
        if (slot > now)
            now = slot + oversleep;
        if (now >= SECOND)
            return frames;
        frames++;
        now += draw;
    }
}

} // namespace

TEST(Pacing, WaitsOutThePeriodSinceTheLastSlot)
{
    Pacing pacing = {};
    // The first frame and an uncapped loop never wait.
    EXPECT_EQ(pacing_next_slot(&pacing, 5 * MS, 120, SECOND), 5 * MS);
    pacing = {1, 0};
    EXPECT_EQ(pacing_next_slot(&pacing, 2 * MS, 0, SECOND), 2 * MS);
    // At 120 frames a second the next slot is 8.333 ms after the last one,
    // however early the frame finished.
    EXPECT_EQ(pacing_next_slot(&pacing, 2 * MS, 120, SECOND), 8333334);
    EXPECT_EQ(pacing_next_slot(&pacing, 8 * MS, 120, SECOND), 8333334);
    // A slot already past (a late wake-up) starts the frame at once but keeps
    // the schedule, so the late part is made up by the next wait.
    EXPECT_EQ(pacing_next_slot(&pacing, 9 * MS, 120, SECOND), 8333334);
    // A whole period behind (a slow frame): start now, no burst of frames.
    EXPECT_EQ(pacing_next_slot(&pacing, 17 * MS, 120, SECOND), 17 * MS);
}

TEST(Pacing, HoldsTheCapOnAverageAndNeverSlowsASlowLoop)
{
    // Fast drawing: the cap, also when every sleep overshoots by 0.3 ms.
    EXPECT_EQ(frames_in_a_second(120, 1 * MS, 0), 120);
    EXPECT_EQ(frames_in_a_second(120, 1 * MS, 300000), 120);
    EXPECT_EQ(frames_in_a_second(60, 5 * MS, 2 * MS), 60);
    // Without a cap, or slower than the cap: as fast as drawing goes.
    EXPECT_EQ(frames_in_a_second(0, 1 * MS, 0), 1000);
    EXPECT_EQ(frames_in_a_second(120, 10 * MS, 0), 100);
}

TEST(LoadingScreenFrames, FollowTimeNotTheDrawingSpeed)
{
    EXPECT_EQ(loading_screen_frame_at(-5, SECOND), 0);
    EXPECT_EQ(loading_screen_frame_at(16 * MS, SECOND), 0);
    EXPECT_EQ(loading_screen_frame_at(17 * MS, SECOND), 1);
    EXPECT_EQ(loading_screen_frame_at(2500, 1000), 150); // any counter frequency
    // Long loads neither overflow nor go negative.
    EXPECT_EQ(loading_screen_frame_at(3600 * SECOND + SECOND / 4, SECOND), 216015);
    EXPECT_GE(loading_screen_frame_at(INT64_MAX / 2, SECOND), 0);
}

TEST(Progress, RedrawsOnATerminalAndSummarisesOnceElsewhere)
{
    const int64_t quarter = SECOND / 4;
    EXPECT_FALSE(progress_due(true, false, quarter - 1, SECOND));
    EXPECT_TRUE(progress_due(true, false, quarter, SECOND));
    EXPECT_TRUE(progress_due(true, true, 0, SECOND));
    // Not a terminal: never while the run lasts, always at its end.
    EXPECT_FALSE(progress_due(false, false, 100 * SECOND, SECOND));
    EXPECT_TRUE(progress_due(false, true, 0, SECOND));

    Progress p = {200, 50, 0, 0, 1};
    char line[160];
    progress_format(&p, 2.0, false, line, sizeof line);
    EXPECT_EQ(std::string(line), "\r[########........................] 50/200 frames  25.0 fps  0:06 left ");
    p.live = 0;
    p.done = 200;
    progress_format(&p, 8.0, true, line, sizeof line);
    EXPECT_EQ(std::string(line), "dunravel: 200/200 frames in 8.0 s, 25.0 fps\n");
    // Nothing done yet, no time passed: no division by zero.
    p = {0, 0, 0, 0, 1};
    progress_format(&p, 0.0, true, line, sizeof line);
    EXPECT_EQ(std::string(line), "\r[................................] 0/0 frames  0.0 fps  0:00 left \n");
}
