// The dunravel program run headless (SDL's dummy video and audio drivers) on
// a short track made here: the "rendering info:" block, the end of the track
// ending the run with status 0, and the failure statuses. The track sits in
// a scratch data folder next to links to the real data set, when there is one.
#include "prerequisite.h"
#include "../platform/test_mp3.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace
{

struct ProgramRun {
    int status = -1;
    std::string out, err;
};

std::string slurp(const fs::path& p)
{
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs program with args in dir, headless, with no terminal on standard input.
ProgramRun run_program(const fs::path& program, const fs::path& dir, const std::string& args)
{
    std::string cmd = "cd '" + dir.string() +
                      "' && SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy timeout 120 '" + program.string() +
                      "' " + args + " > run.out 2> run.err < /dev/null";
    int raw = std::system(cmd.c_str());
    ProgramRun r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = slurp(dir / "run.out");
    r.err = slurp(dir / "run.err");
    return r;
}

class EndToEnd : public testing::Test
{
  protected:
    fs::path program = fs::path(DUNRAVEL_BINARY_DIR) / "dunravel";
    fs::path dir;
    fs::path real_data = fs::path(DUNRAVEL_SOURCE_DIR) / "data";

    void SetUp() override
    {
        if (!fs::exists(program))
            SKIP_UNLESS_CI() << "the program is not built: " << program;
        // One folder per test: ctest runs them side by side.
        dir = fs::path(DUNRAVEL_BINARY_DIR) / "test-scratch" /
              (std::string("end-to-end-") + testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir / "data");
        // Every file of the real data set, except the music, which is ours.
        if (fs::is_directory(real_data))
            for (const auto& entry : fs::directory_iterator(real_data))
                if (entry.path().filename() != "dunravel.mp3")
                    fs::create_symlink(entry.path(), dir / "data" / entry.path().filename());
        ASSERT_TRUE(write_test_mp3((dir / "data" / "dunravel.mp3").string(), 44100, 2, 1.0, 440.0, 0.3));
    }
    void TearDown() override
    {
        if (!dir.empty())
            fs::remove_all(dir);
    }

    // Effects that need the data set fail without it: that is no fault here.
    bool missing_data_set(const ProgramRun& r)
    {
        return r.status == 1 && !fs::is_directory(real_data) &&
               r.err.find("dunravel.mp3") == std::string::npos &&
               r.err.find("Sanitizer") == std::string::npos;
    }
};

} // namespace

TEST_F(EndToEnd, PlaysTheTrackToItsEndAndPrintsRenderingInfo)
{
    ProgramRun r = run_program(program, dir, "--window --no-sound");
    if (missing_data_set(r))
        SKIP_UNLESS_CI() << "no data set at " << real_data << " (make it with scripts/data.sh): " << r.err;
    EXPECT_EQ(r.status, 0) << r.err;
    std::regex block("rendering info:\n"
                     "\thardware surface [01]\n\twindow manager   [01]\n\thardware blit    [01]\n"
                     "\thardware blit cc [01]\n\thardware blit a  [01]\n\tsoftware blit    [01]\n"
                     "\tsoftware blit cc [01]\n\tsoftware blit a  [01]\n\thardware fill    [01]\n"
                     "\tvideo memory     -?[0-9]+\n\tpixel format:\n"
                     "\t\tbits per pixel  [0-9]+\n\t\tbytes per pixel [0-9]+\n"
                     "\t\tshift a:[0-9]+ r:[0-9]+ g:[0-9]+ b:[0-9]+\n"
                     "\t\tmask  a:[0-9A-F]{8} r:[0-9A-F]{8} g:[0-9A-F]{8} b:[0-9A-F]{8}\n"
                     "\t\tloss  a:[0-9]+ r:[0-9]+ g:[0-9]+ b:[0-9]+\n");
    EXPECT_TRUE(std::regex_search(r.out, block)) << r.out;
    EXPECT_EQ(r.out.rfind("rendering info:\n", 0), 0u) << r.out;
    EXPECT_FALSE(fs::exists(dir / "screenshot-001.bmp"));
}

TEST_F(EndToEnd, PlaysThroughTheSoundDeviceAndFromAStartBeat)
{
    ProgramRun r = run_program(program, dir, "-w --start 1");
    if (missing_data_set(r))
        SKIP_UNLESS_CI() << "no data set at " << real_data << " (make it with scripts/data.sh): " << r.err;
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("skip forward to 0.666667\n"), std::string::npos) << r.out;
}

TEST_F(EndToEnd, FindsTheDataFolderBesideTheProgram)
{
    fs::create_directories(dir / "bin");
    fs::create_directories(dir / "elsewhere");
    fs::copy_file(program, dir / "bin" / "dunravel");
    fs::rename(dir / "data", dir / "bin" / "data");
    ProgramRun r = run_program(dir / "bin" / "dunravel", dir / "elsewhere", "-w --no-sound");
    if (missing_data_set(r))
        SKIP_UNLESS_CI() << "no data set at " << real_data << " (make it with scripts/data.sh): " << r.err;
    EXPECT_EQ(r.status, 0) << r.err;
}

TEST_F(EndToEnd, MissingOrBrokenMusicEndsWithStatusOne)
{
    fs::remove(dir / "data" / "dunravel.mp3");
    ProgramRun r = run_program(program, dir, "-w --no-sound");
    EXPECT_EQ(r.status, 1);
    if (!missing_data_set(r) || r.err.find("dunravel.mp3") != std::string::npos) {
        EXPECT_NE(r.err.find("data/dunravel.mp3"), std::string::npos) << r.err;
    }
    std::ofstream(dir / "data" / "dunravel.mp3") << "not an mp3";
    r = run_program(program, dir, "-w --no-sound");
    EXPECT_EQ(r.status, 1);
}

TEST_F(EndToEnd, HelpAndUnknownOptions)
{
    ProgramRun r = run_program(program, dir, "--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("usage: dunravel"), std::string::npos);
    r = run_program(program, dir, "--frobnicate");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("unknown option --frobnicate"), std::string::npos);
    EXPECT_NE(r.err.find("usage: dunravel"), std::string::npos);
    EXPECT_EQ(r.out, "");
}

TEST_F(EndToEnd, AShortTrackWarnsAndAStartPastItIsAUsageError)
{
    ProgramRun r = run_program(program, dir, "-w --no-sound");
    if (missing_data_set(r))
        SKIP_UNLESS_CI() << "no data set at " << real_data << " (make it with scripts/data.sh): " << r.err;
    EXPECT_EQ(r.status, 0) << r.err;
    std::regex warning("dunravel: warning: the music lasts 1\\.0[0-9]{2}s, the timeline 273\\.333s; the demo "
                       "ends with the music\n");
    EXPECT_TRUE(std::regex_search(r.err, warning)) << r.err;
    // Beat 3 is 2 s in: past the end of the one-second track.
    r = run_program(program, dir, "-w --no-sound --start 3");
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("--start 2.000s lies past the end of the music (1.0"), std::string::npos) << r.err;
    r = run_program(program, dir, "--bench --from 2s");
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("--from 2.000s lies past the end of the music"), std::string::npos) << r.err;
}

TEST_F(EndToEnd, ADataFolderNameTooLongIsReported)
{
    ProgramRun r = run_program(program, dir, "--bench --data " + std::string(5000, 'd'));
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("the --data folder name is too long (5000 bytes"), std::string::npos) << r.err;
}

TEST_F(EndToEnd, DataFilesThatAreNotFilesOrMissingAreNamedWithTheReason)
{
    // A FIFO in place of the music would block start-up for ever.
    fs::remove(dir / "data" / "dunravel.mp3");
    ASSERT_EQ(mkfifo((dir / "data" / "dunravel.mp3").c_str(), 0600), 0);
    ProgramRun r = run_program(program, dir, "-w --no-sound");
    EXPECT_EQ(r.status, 1) << r.err;
    if (missing_data_set(r))
        SKIP_UNLESS_CI() << "no data set at " << real_data << " (make it with scripts/data.sh): " << r.err;
    EXPECT_NE(r.err.find("dunravel: cannot load the music data/dunravel.mp3 (not a regular file)\n"),
              std::string::npos)
        << r.err;
    // A missing texture, with the data folder elsewhere: the path opened is named.
    fs::remove(dir / "data" / "dunravel.mp3");
    ASSERT_TRUE(write_test_mp3((dir / "data" / "dunravel.mp3").string(), 44100, 2, 1.0, 440.0, 0.3));
    fs::rename(dir / "data", dir / "elsewhere");
    fs::remove(dir / "elsewhere" / "grain.png");
    r = run_program(program, dir, "--bench --data elsewhere");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("cannot load elsewhere/grain.png (No such file or directory)\n"), std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("data\\"), std::string::npos) << r.err;
}

TEST_F(EndToEnd, ARealWindowUnderXvfbPlaysAndEndsCleanly)
{
    // A window on a virtual X server, run as a user runs it (SDL's own
    // choice of renderer, Mesa's GL driver included). In a sanitizer build
    // this is the leak check of a real-window run.
    if (std::system("command -v xvfb-run > /dev/null 2>&1") != 0)
        SKIP_UNLESS_CI() << "xvfb-run is not installed";
    std::string cmd = "cd '" + dir.string() +
                      "' && env -u SDL_VIDEODRIVER SDL_AUDIODRIVER=dummy timeout 300 "
                      "xvfb-run -a -s '-screen 0 800x600x24' '" +
                      program.string() + "' -w --no-sound > run.out 2> run.err < /dev/null";
    int raw = std::system(cmd.c_str());
    ProgramRun r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.err = slurp(dir / "run.err");
    if (missing_data_set(r))
        SKIP_UNLESS_CI() << "no data set at " << real_data << " (make it with scripts/data.sh): " << r.err;
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("Sanitizer"), std::string::npos) << r.err;
}
