// Screenshots (the key-hold rule by time, numbering that never overwrites)
// and the command line.
#include "core/frame.h"
#include "runtime/options.h"
#include "runtime/screenshot.h"
#include "runtime/video.h"

#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace
{

// A scratch folder that is also the working directory while it lives.
struct WorkingScratch {
    ScratchDir dir;
    InDirectory in;
    explicit WorkingScratch(const char* name) : dir(name), in(dir.path) {}
};

int32_t parse(std::vector<const char*> args, Options* out)
{
    args.insert(args.begin(), "dunravel");
    return options_parse(static_cast<int>(args.size()), const_cast<char**>(args.data()), out);
}

} // namespace

// Shots taken while the key is down from frame `from` to frame `to` (frame k
// at k / fps seconds, counter ticks in nanoseconds); the frame numbers.
static std::vector<int64_t> shots_while_held(ScreenshotRepeat* repeat, int64_t fps, int64_t from, int64_t to)
{
    std::vector<int64_t> shots;
    for (int64_t k = from; k <= to; k++)
        if (screenshot_due(1, k * 1000000000 / fps, 1000000000, repeat))
            shots.push_back(k);
    return shots;
}

TEST(Screenshot, HoldingTheKeyFortyFramesAtSixtyTakesThreeShots)
{
    ScreenshotRepeat repeat = {};
    EXPECT_EQ(shots_while_held(&repeat, 60, 1, 40), (std::vector<int64_t>{1, 18, 35}));
    // Released for a while, then pressed again: a shot at once.
    EXPECT_EQ(screenshot_due(0, 50 * 1000000000LL / 60, 1000000000, &repeat), 0);
    EXPECT_EQ(screenshot_due(1, 60 * 1000000000LL / 60, 1000000000, &repeat), 1);
}

TEST(Screenshot, RepeatFollowsTimeHeldAtAnyFrameRate)
{
    for (int64_t fps : {7, 30, 60, 144, 2500, 10000}) {
        // A press shorter than 17/60 s: one file.
        ScreenshotRepeat repeat = {};
        int64_t short_press = fps * 28 / 100; // frames in 0.28 s
        EXPECT_EQ(shots_while_held(&repeat, fps, 0, short_press).size(), 1u) << fps << " fps";
        // Held for one second: at 0, 17/60, 34/60 and 51/60 s.
        repeat = {};
        EXPECT_EQ(shots_while_held(&repeat, fps, 0, fps).size(), 4u) << fps << " fps";
        // Held for ten seconds: 36 shots (the 36th at 595/60 s), no drift from
        // frames that land between due times.
        repeat = {};
        EXPECT_EQ(shots_while_held(&repeat, fps, 0, fps * 10).size(), 36u) << fps << " fps";
    }
}

TEST(Screenshot, AQuickSecondPressWaitsOutTheIntervalAndAStallStartsAnew)
{
    const int64_t ms = 1000000;
    ScreenshotRepeat repeat = {};
    EXPECT_EQ(screenshot_due(1, 0, 1000 * ms, &repeat), 1);
    EXPECT_EQ(screenshot_due(0, 50 * ms, 1000 * ms, &repeat), 0);
    EXPECT_EQ(screenshot_due(1, 100 * ms, 1000 * ms, &repeat), 0); // 283 ms not over
    EXPECT_EQ(screenshot_due(1, 290 * ms, 1000 * ms, &repeat), 1);
    // Held through a one-second stall: one shot, not a burst to catch up.
    EXPECT_EQ(screenshot_due(1, 1600 * ms, 1000 * ms, &repeat), 1);
    EXPECT_EQ(screenshot_due(1, 1610 * ms, 1000 * ms, &repeat), 0);
}

TEST(Screenshot, NumbersSkipExistingFilesAndNeverOverwrite)
{
    WorkingScratch dir("screenshots");
    std::vector<uint32_t> pixels(SCREEN_WIDTH * SCREEN_HEIGHT, 0x00FF8040u);
    FrameSurface surface = {SCREEN_WIDTH, SCREEN_HEIGHT, SCREEN_WIDTH * 4, pixels.data()};
    {
        std::ofstream("screenshot-002.bmp") << "keep me";
    }
    screenshot_number = 1;
    char name[64];
    ASSERT_EQ(screenshot_save(&surface, name, sizeof name), 0);
    EXPECT_STREQ(name, "screenshot-001.bmp");
    ASSERT_EQ(screenshot_save(&surface, name, sizeof name), 0);
    EXPECT_STREQ(name, "screenshot-003.bmp");
    EXPECT_EQ(screenshot_number, 4);
    std::string kept;
    std::getline(std::ifstream("screenshot-002.bmp"), kept);
    EXPECT_EQ(kept, "keep me");
    // A 640 × 480 BMP: header "BM", 24-bit pixels, bottom row first, BGR.
    std::ifstream bmp("screenshot-001.bmp", std::ios::binary);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(bmp)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 54u + 640 * 480 * 3 - 1);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[1], 'M');
    uint32_t offset = bytes[10] | bytes[11] << 8 | bytes[12] << 16 | static_cast<uint32_t>(bytes[13]) << 24;
    EXPECT_EQ(bytes[offset], 0x40);
    EXPECT_EQ(bytes[offset + 1], 0x80);
    EXPECT_EQ(bytes[offset + 2], 0xFF);
    // A folder that cannot be written: the shot is skipped, no crash.
    fs::create_directories("sub");
    fs::current_path("sub");
    fs::permissions(".", fs::perms::owner_read | fs::perms::owner_exec);
    if (::access(".", W_OK) != 0) {
        EXPECT_EQ(screenshot_save(&surface, nullptr, 0), 1); // root may still write
    }
    fs::permissions(".", fs::perms::owner_all);
    fs::current_path("..");
    EXPECT_EQ(screenshot_save(nullptr, nullptr, 0), 1);
    screenshot_number = 1;
}

TEST(Screenshot, AFailedShotIsOneLineAndTheNextStillWorks)
{
#ifdef _WIN32
    GTEST_SKIP() << "Windows does not remove a process's working folder";
#endif
    WorkingScratch dir("screenshot-gone");
    std::vector<uint32_t> pixels(SCREEN_WIDTH * SCREEN_HEIGHT, 0x00FF8040u);
    FrameSurface surface = {SCREEN_WIDTH, SCREEN_HEIGHT, SCREEN_WIDTH * 4, pixels.data()};
    screenshot_number = 1;
    // A working folder that was removed fails for every user, root too.
    fs::create_directories("gone");
    fs::current_path("gone");
    fs::remove(dir.dir.path / "gone");
    testing::internal::CaptureStderr();
    EXPECT_EQ(screenshot_take(&surface), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "dunravel: cannot save the screenshot screenshot-001.bmp (No such file or directory)\n");
    fs::current_path(dir.dir.path);
    testing::internal::CaptureStderr();
    EXPECT_EQ(screenshot_take(&surface), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(fs::exists("screenshot-002.bmp"));
    // A full device fails and stays.
    if (make_full_device(dir.dir.path / "full")) {
        EXPECT_EQ(screenshot_write_bmp(&surface, "full", false), 1);
        EXPECT_TRUE(fs::is_character_file("full"));
    }
    screenshot_number = 1;
}

TEST(Options, NoArgumentsAsksAndPlays)
{
    Options o;
    ASSERT_EQ(parse({}, &o), OPTIONS_RUN);
    EXPECT_EQ(o.video_mode, VIDEO_ASK);
    EXPECT_EQ(o.scale, 1);
    EXPECT_EQ(o.vsync, 1);
    EXPECT_EQ(o.max_fps, 120);
    EXPECT_EQ(o.no_sound, 0);
    EXPECT_EQ(o.start_beat, 0.0f);
    EXPECT_EQ(o.data_dir, nullptr);
}

TEST(Options, EveryOptionInBothForms)
{
    Options o;
    ASSERT_EQ(parse({"-w", "--scale", "2", "--vsync", "--no-sound", "--start", "44.5", "--data", "/d"}, &o),
              OPTIONS_RUN);
    EXPECT_EQ(o.video_mode, VIDEO_WINDOW);
    EXPECT_EQ(o.scale, 2);
    EXPECT_EQ(o.vsync, 1);
    EXPECT_EQ(o.no_sound, 1);
    EXPECT_EQ(o.start_beat, 44.5f);
    EXPECT_STREQ(o.data_dir, "/d");
    ASSERT_EQ(parse({"--fullscreen", "--scale=3", "--start=8", "--no-vsync", "--max-fps=0"}, &o),
              OPTIONS_RUN);
    EXPECT_EQ(o.video_mode, VIDEO_FULLSCREEN);
    EXPECT_EQ(o.vsync, 0);
    EXPECT_EQ(o.max_fps, 0);
    EXPECT_EQ(o.scale, 3);
    EXPECT_EQ(o.start_beat, 8.0f);
    ASSERT_EQ(parse({"--max-fps", "75"}, &o), OPTIONS_RUN);
    EXPECT_EQ(o.max_fps, 75);
    ASSERT_EQ(parse({"--window", "-f"}, &o), OPTIONS_RUN);
    EXPECT_EQ(o.video_mode, VIDEO_FULLSCREEN); // the last one counts
    EXPECT_EQ(parse({"--help"}, &o), OPTIONS_HELP);
    EXPECT_EQ(parse({"-h"}, &o), OPTIONS_HELP);
}

TEST(Options, BadInputIsAUsageError)
{
    Options o;
    testing::internal::CaptureStderr();
    EXPECT_EQ(parse({"--bogus"}, &o), OPTIONS_ERROR);
    EXPECT_EQ(parse({"-x"}, &o), OPTIONS_ERROR);
    EXPECT_EQ(parse({"--scale"}, &o), OPTIONS_ERROR);
    EXPECT_EQ(parse({"--scale", "0"}, &o), OPTIONS_ERROR);
    EXPECT_EQ(parse({"--scale", "2x"}, &o), OPTIONS_ERROR);
    EXPECT_EQ(parse({"--start", "-1"}, &o), OPTIONS_ERROR);
    EXPECT_EQ(parse({"--start", "nan"}, &o), OPTIONS_ERROR);
    EXPECT_EQ(parse({"--window=1"}, &o), OPTIONS_ERROR);
    EXPECT_EQ(parse({"--data", ""}, &o), OPTIONS_ERROR);
    EXPECT_EQ(parse({"--max-fps", "-1"}, &o), OPTIONS_ERROR);
    EXPECT_EQ(parse({"--max-fps"}, &o), OPTIONS_ERROR);
    EXPECT_EQ(parse({"--no-vsync=1"}, &o), OPTIONS_ERROR);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("unknown option --bogus"), std::string::npos);
}
