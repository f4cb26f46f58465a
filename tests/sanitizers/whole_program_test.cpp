// The whole program under the sanitizers (built only in the sanitizer
// flavours, see tests/CMakeLists.txt). AddressSanitizer + UBSan: the demo
// drawn offline by two drawing threads from the first beat to the end at one
// frame a second, so every timeline row draws, with its frames written as
// PNG files. Thread
// sanitizer: every effect and the music loaded on the loader thread while
// the main thread draws the loading screen, then a few frames captured by the
// writer threads. A report makes the program exit non-zero; the log is shown.
#include "prerequisite.h"
#include "scratch_dir.h"

#include "runtime/clock.h"
#include "runtime/effects.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace
{

const fs::path program = fs::path(DUNRAVEL_BINARY_DIR) / "dunravel";
const fs::path data_dir = fs::path(DUNRAVEL_SOURCE_DIR) / "data";

// Runs the program with args (dummy drivers, no input); its output goes to
// log. The exit status, or -1 when it did not exit.
int run(const std::string& args, const fs::path& log)
{
    std::string cmd = "SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy timeout 1800 '" + program.string() +
                      "' --data '" + data_dir.string() + "' " + args + " > '" + log.string() +
                      "' 2>&1 < /dev/null";
    int raw = std::system(cmd.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

std::string text_of(const fs::path& file)
{
    std::ifstream in(file);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

int64_t png_count(const fs::path& dir)
{
    int64_t n = 0;
    for (const auto& e : fs::directory_iterator(dir))
        n += e.path().extension() == ".png";
    return n;
}

// Empty when the program and the data set are there, else why not.
std::string missing()
{
    if (!fs::exists(program))
        return "the program is not built: " + program.string();
    if (!fs::exists(data_dir / "dunravel.mp3"))
        return "no data set at " + data_dir.string() + " (make it with scripts/data.sh)";
    return "";
}

} // namespace

#if DUNRAVEL_SANITIZER_ADDRESS
TEST(Sanitizers, WholeDemoAtOneFrameASecondDrawsEveryRowOnTwoThreadsWithoutAReport)
{
    if (std::string why = missing(); !why.empty())
        SKIP_UNLESS_CI() << why;
    ScratchDir dir("sanitizers-whole-demo");
    fs::path log = dir.path / "log.txt";
    int status = run("--threads 2 --capture '" + (dir.path / "frames").string() + "' --fps 1", log);
    std::string text = text_of(log);
    ASSERT_EQ(status, 0) << text;
    EXPECT_EQ(text.find("runtime error"), std::string::npos) << text;
    EXPECT_EQ(text.find("Sanitizer"), std::string::npos) << text;
    // One frame a second (1.5 beats) from 0 to the end of the timeline: every
    // row of two beats or more holds at least one of them.
    int64_t timeline_frames = music_frame_at(timeline_end_beat() * 60.0 / DEMO_TEMPO_BPM, 1);
    EXPECT_GE(png_count(dir.path / "frames"), timeline_frames);
    for (int32_t row = 0; row < TIMELINE_COUNT; row++)
        EXPECT_GE(timeline[row].end_beat - timeline[row].first_beat, 2) << timeline_name(row);
}
#endif

#if DUNRAVEL_SANITIZER_THREAD
TEST(Sanitizers, LoadingThreadLoadsEverySceneBesideTheLoadingScreenWithoutARace)
{
    if (std::string why = missing(); !why.empty())
        SKIP_UNLESS_CI() << why;
    ScratchDir dir("sanitizers-loading");
    fs::path log = dir.path / "log.txt";
    // Every effect loads whatever the range; frames of the metaball scene
    // then go through the capture's writer threads.
    int status = run("--capture '" + (dir.path / "frames").string() + "' --from 46 --frames 12", log);
    std::string text = text_of(log);
    ASSERT_EQ(status, 0) << text;
    EXPECT_EQ(text.find("ThreadSanitizer"), std::string::npos) << text;
    EXPECT_EQ(png_count(dir.path / "frames"), 12);
}

TEST(Sanitizers, TwoThreadsShareTheDrawingOfEverySceneWithoutARace)
{
    if (std::string why = missing(); !why.empty())
        SKIP_UNLESS_CI() << why;
    ScratchDir dir("sanitizers-shared-drawing");
    fs::path log = dir.path / "log.txt";
    // One frame a second through every scene that shares its drawing.
    int status = run("--threads 2 --bench --fps 1 --from 44 --to 372", log);
    std::string text = text_of(log);
    ASSERT_EQ(status, 0) << text;
    EXPECT_EQ(text.find("ThreadSanitizer"), std::string::npos) << text;
}
#endif
