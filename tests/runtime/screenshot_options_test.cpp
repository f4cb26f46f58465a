// Screenshots (the key-hold rule, numbering that never overwrites) and the
// command line.
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

TEST(Screenshot, HoldingTheKeyFortyFramesTakesThreeShots)
{
    int32_t guard = 0;
    std::vector<int> shots;
    for (int frame = 1; frame <= 40; frame++)
        if (screenshot_due(1, &guard))
            shots.push_back(frame);
    EXPECT_EQ(shots, (std::vector<int>{1, 18, 35}));
    // After release the guard counts down to 0 and stays there.
    for (int i = 0; i < 40; i++)
        EXPECT_EQ(screenshot_due(0, &guard), 0);
    EXPECT_EQ(guard, 0);
    EXPECT_EQ(screenshot_due(1, &guard), 1);
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
    EXPECT_EQ(o.vsync, 0);
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
    ASSERT_EQ(parse({"--fullscreen", "--scale=3", "--start=8"}, &o), OPTIONS_RUN);
    EXPECT_EQ(o.video_mode, VIDEO_FULLSCREEN);
    EXPECT_EQ(o.scale, 3);
    EXPECT_EQ(o.start_beat, 8.0f);
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
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("unknown option --bogus"), std::string::npos);
}
