// The video pipe with a stand-in ffmpeg (tests/stand_in): the arguments
// arrive exactly as listed, names with spaces and quotes included, every
// byte of every frame goes through, and a failing ffmpeg is reported. Runs
// on Linux and under Wine; the command-line quoting is checked on both.
#include "runtime/video_command.h"
#include "runtime/video_pipe.h"

#include "core/frame.h"

#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace
{

void set_variable(const char* name, const std::string& value)
{
#ifdef _WIN32
    _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

// Puts the stand-in first on the search path for the object's lifetime.
struct StandInOnPath {
    std::string old_path;
    explicit StandInOnPath(const std::string& record, const char* exit_status)
    {
        const char* path = std::getenv("PATH");
        old_path = path ? path : "";
#ifdef _WIN32
        const char separator = ';';
#else
        const char separator = ':';
#endif
        set_variable("PATH", std::string(DUNRAVEL_STAND_IN_DIR) + separator + old_path);
        set_variable("STAND_IN_RECORD", record);
        set_variable("STAND_IN_EXIT", exit_status);
    }
    ~StandInOnPath() { set_variable("PATH", old_path); }
};

std::vector<std::string> read_lines(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace

TEST(VideoPipe, CommandLineQuotingFollowsTheRuntimeParser)
{
    // Plain words stay bare; spaces, quotes and empty arguments are quoted;
    // backslashes double only before a quote.
    EXPECT_EQ(video_command_line({"ffmpeg", "-i", "pipe:0"}), "ffmpeg -i pipe:0");
    EXPECT_EQ(video_command_line({"a b", ""}), "\"a b\" \"\"");
    EXPECT_EQ(video_command_line({"C:\\My Videos\\"}), "\"C:\\My Videos\\\\\"");
    EXPECT_EQ(video_command_line({"say \"hi\""}), "\"say \\\"hi\\\"\"");
    EXPECT_EQ(video_command_line({"x\\\"y z"}), "\"x\\\\\\\"y z\"");
    EXPECT_EQ(video_command_line({"C:\\dir\\file.mp4"}), "C:\\dir\\file.mp4");
}

TEST(VideoPipe, ArgumentsWithSpacesAndEveryFrameReachTheProgram)
{
    ScratchDir dir("video_pipe_stand_in");
    std::filesystem::path record = dir.path / "record.txt";
    StandInOnPath stand_in(record.string(), "0");
    // Spaces in the video's name (the pipe makes a file beside it, and
    // Windows refuses quotes in names); spaces and quotes in the music's,
    // which only the program started reads.
    std::string file = (dir.path / "my final video.mp4").string();
    std::string music = (dir.path / "the \"music\".mp3").string();
    VideoPipe* pipe = video_pipe_open(file.c_str(), 24, music.c_str(), 2.5);
    ASSERT_NE(pipe, nullptr);
    std::vector<uint32_t> frame(static_cast<size_t>(SCREEN_WIDTH) * SCREEN_HEIGHT);
    for (size_t i = 0; i < frame.size(); i++)
        frame[i] = static_cast<uint32_t>(i * 2654435761u) | 0x0A1A0D00u; // LF, CR and ^Z bytes
    const int frames = 3;
    for (int k = 0; k < frames; k++)
        ASSERT_EQ(video_pipe_write(pipe, frame.data()), 0);
    ASSERT_EQ(video_pipe_close(pipe, true), 0);

    std::vector<std::string> lines = read_lines(record);
    std::vector<std::string> expected = video_ffmpeg_command("OUT", 24, music.c_str(), 2.5, false);
    ASSERT_EQ(lines.size(), expected.size() + 1);
    for (size_t i = 1; i + 1 < expected.size(); i++) // argv[0] is however the system names the program
        EXPECT_EQ(lines[i], expected[i]) << "argument " << i;
    // The output: a temporary file in the video's folder, moved onto the name once the program succeeded.
    const std::string output = lines[expected.size() - 1];
    EXPECT_EQ(output.rfind("file:" + dir.path.string(), 0), 0u) << output;
    EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_EQ(lines.back(), std::to_string(int64_t{frames} * SCREEN_WIDTH * SCREEN_HEIGHT * 4));
}

TEST(VideoPipe, AFailingProgramIsReportedAndAFolderRefused)
{
    ScratchDir dir("video_pipe_failure");
    StandInOnPath stand_in((dir.path / "record.txt").string(), "1");
    std::string file = dir.file("out.mp4");
    VideoPipe* pipe = video_pipe_open(file.c_str(), 30, nullptr, 0.0);
    ASSERT_NE(pipe, nullptr);
    EXPECT_EQ(video_pipe_close(pipe, true), 1);
    EXPECT_EQ(video_pipe_open(dir.path.string().c_str(), 30, nullptr, 0.0), nullptr);
}
