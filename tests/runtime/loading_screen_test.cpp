// Loading screen: the filter and blend choice by frame, the caption frame
// alone when loading ends first, and ring frames until a loader thread
// clears the flag (offscreen video, no window), counted as presented.
#include "core/frame.h"
#include "runtime/loading_screen.h"
#include "runtime/video.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

// fontconfig keeps its parsed configuration for the life of the process; the
// leak checker would report it once a caption has been rendered. Weak, so
// that another suppression list of this test program takes precedence.
extern "C" __attribute__((weak)) const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

namespace
{

TEST(LoadingScreenFilters, ChoiceFollowsTheFrameBits)
{
    EXPECT_EQ(loading_screen_filters(0), 0u);
    EXPECT_EQ(loading_screen_filters(1), 0u);
    EXPECT_EQ(loading_screen_blend_mode(0), 4);
    EXPECT_EQ(loading_screen_blend_mode(1), 4);
    EXPECT_EQ(loading_screen_filters(14),
              LOADING_GLOW_HORIZONTAL | LOADING_GLOW_VERTICAL | LOADING_SCANLINES);
    EXPECT_EQ(loading_screen_blend_mode(14), 4);
    EXPECT_EQ(loading_screen_filters(16), LOADING_BLOCK_GLOW);
    EXPECT_EQ(loading_screen_blend_mode(16), 0);
    EXPECT_EQ(loading_screen_filters(30),
              LOADING_GLOW_HORIZONTAL | LOADING_GLOW_VERTICAL | LOADING_SCANLINES | LOADING_BLOCK_GLOW);
    EXPECT_EQ(loading_screen_blend_mode(30), 0);
    for (int frame = 0; frame < 64; ++frame) // the cycle is 32 frames long
        EXPECT_EQ(loading_screen_filters(frame), loading_screen_filters(frame + 32)) << frame;
}

class LoadingScreen : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        VideoSettings settings = {VIDEO_WINDOW, 1, 0, 1};
        video_configure(&settings);
        ASSERT_EQ(video_open(1), 0);
    }
    void TearDown() override { video_close(); }

    // Rows holding at least one non-black pixel.
    static std::vector<int> lit_rows()
    {
        std::vector<int> rows;
        for (int y = 0; y < SCREEN_HEIGHT; ++y) {
            const uint32_t* row = screen_row(y);
            for (int x = 0; x < SCREEN_WIDTH; ++x)
                if (row[x] != 0) {
                    rows.push_back(y);
                    break;
                }
        }
        return rows;
    }
};

TEST_F(LoadingScreen, OnlyTheCaptionFrameWhenLoadingEndedFirst)
{
    loading_active.store(0);
    EXPECT_EQ(loading_screen_run(), 0);
    const std::vector<int> rows = lit_rows();
    ASSERT_FALSE(rows.empty());
    // The captions' base lines are at rows 160, 184 and 272.
    EXPECT_GE(rows.front(), 128);
    EXPECT_LT(rows.back(), 288);
}

// Ring frames the screen has presented, counted on its thread.
std::mutex presented_lock;
std::condition_variable presented_signal;
int32_t presented_count = 0;

void count_presented(int32_t)
{
    std::lock_guard<std::mutex> guard(presented_lock);
    presented_count++;
    presented_signal.notify_all();
}

TEST_F(LoadingScreen, DrawsRingFramesUntilTheLoaderClearsTheFlag)
{
    loading_active.store(0);
    ASSERT_EQ(loading_screen_run(), 0);
    const std::vector<uint32_t> captions(screen->pixels, screen->pixels + SCREEN_WIDTH * SCREEN_HEIGHT);

    // As in the program: the screen runs on the thread that owns the video,
    // another thread loads and clears the flag when it is done, here once
    // three ring frames were presented. The bound only ends a hang.
    presented_count = 0;
    loading_screen_presented = count_presented;
    loading_active.store(1);
    bool saw_frames = false;
    std::thread loader([&saw_frames] {
        std::unique_lock<std::mutex> lock(presented_lock);
        saw_frames =
            presented_signal.wait_for(lock, std::chrono::minutes(2), [] { return presented_count >= 3; });
        loading_active.store(0);
    });
    EXPECT_EQ(loading_screen_run(), 0);
    loader.join();
    loading_screen_presented = nullptr;
    EXPECT_TRUE(saw_frames) << "no three ring frames were presented";
    const std::vector<uint32_t> last(screen->pixels, screen->pixels + SCREEN_WIDTH * SCREEN_HEIGHT);
    EXPECT_NE(last, captions); // the ring frames replaced the caption frame
}

TEST_F(LoadingScreen, SteppedFramesStartFromTheCaptionsAndFollowTheFrameNumber)
{
    // The page draws the screen a frame at a time between its loads: the
    // caption frame is the one the loop starts from, a loop frame depends
    // on its number alone, and neighbouring frames differ.
    loading_active.store(0);
    ASSERT_EQ(loading_screen_run(), 0);
    const std::vector<uint32_t> captions(screen->pixels, screen->pixels + SCREEN_WIDTH * SCREEN_HEIGHT);
    auto shown = [] {
        return std::vector<uint32_t>(screen->pixels, screen->pixels + SCREEN_WIDTH * SCREEN_HEIGHT);
    };

    ::LoadingScreen stepped;
    ASSERT_EQ(loading_screen_begin(&stepped), 0);
    EXPECT_EQ(shown(), captions);
    EXPECT_GE(loading_screen_frame_now(&stepped), 0);
    loading_screen_frame(&stepped, 5);
    const std::vector<uint32_t> five = shown();
    EXPECT_NE(five, captions);
    loading_screen_frame(&stepped, 6);
    EXPECT_NE(shown(), five);
    loading_screen_frame(&stepped, 5);
    EXPECT_EQ(shown(), five);
    loading_screen_end(&stepped);
    EXPECT_EQ(stepped.ring, nullptr);
    loading_screen_end(&stepped); // twice is harmless
}

} // namespace
