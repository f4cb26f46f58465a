// Pieces of the offline modes that need no data set: the fixed-step frame
// grid, time options, the bench report, the PNG writer, the ffmpeg pipe and
// the contact-sheet labels.
#include "prerequisite.h"
#include "core/frame.h"
#include "runtime/clock.h"
#include "runtime/bench_report.h"
#include "runtime/contact_sheet.h"
#include "runtime/options.h"
#include "runtime/png_out.h"
#include "runtime/video_command.h"
#include "runtime/video_pipe.h"
#include "yardstick/yardstick.h"

#include "../platform/test_mp3.h"

#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <png.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace
{

fs::path scratch(const char* name)
{
    return scratch_path(name);
}

int32_t parse(std::vector<const char*> args, Options* out)
{
    args.insert(args.begin(), "dunravel");
    return options_parse(static_cast<int>(args.size()), const_cast<char**>(args.data()), out);
}

std::string read_all(FILE* fp)
{
    std::rewind(fp);
    std::string s;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, fp)) > 0)
        s.append(buf, n);
    return s;
}

} // namespace

TEST(FixedStep, FrameGridBeatsAndFractions)
{
    EXPECT_EQ(music_frame_at(0.0, 60), 0);
    EXPECT_EQ(music_frame_at(1.0 / 60.0, 60), 1);
    EXPECT_EQ(music_frame_at(0.5, 60), 30);
    EXPECT_EQ(music_frame_at(0.501, 60), 31);
    EXPECT_EQ(music_frame_at(12.5 * 60 / 90, 60), 500); // beat 12.5
    EXPECT_EQ(music_frame_at(-4.0, 60), 0);
    // Frame k at k / fps: frame 90 at 60 fps is 1.5 s, beat 2.25.
    clock_set_tempo(90.0f);
    clock_set_time(90 * 735 / 44100.0, 1.0 / 60);
    EXPECT_EQ(music_seconds, 1.5);
    EXPECT_EQ(clock_beat(), 2.25f);
    EXPECT_EQ(clock_beat_index(), 2);
    EXPECT_EQ(clock_beat_fraction(), 0.25f);
}

TEST(OfflineOptions, TimesModesAndRanges)
{
    EXPECT_DOUBLE_EQ(options_parse_time("12"), 8.0);
    EXPECT_DOUBLE_EQ(options_parse_time("12.5s"), 12.5);
    EXPECT_EQ(options_parse_time("12x"), -1.0);
    EXPECT_EQ(options_parse_time("s"), -1.0);
    EXPECT_EQ(options_parse_time("-3"), -1.0);
    EXPECT_EQ(options_parse_time("inf"), -1.0);
    Options o;
    ASSERT_EQ(parse({"--capture", "out", "--fps", "30", "--from", "12", "--to", "20.5s", "--warm-up"}, &o),
              OPTIONS_RUN);
    EXPECT_STREQ(o.capture_dir, "out");
    EXPECT_EQ(o.fps, 30);
    EXPECT_DOUBLE_EQ(o.from_seconds, 8.0);
    EXPECT_DOUBLE_EQ(o.to_seconds, 20.5);
    EXPECT_EQ(o.warm_up, 1);
    EXPECT_TRUE(options_offline(&o));
    ASSERT_EQ(parse({"--bench-json=b.json", "--frames", "10"}, &o), OPTIONS_RUN);
    EXPECT_EQ(o.bench, 1);
    EXPECT_STREQ(o.bench_json, "b.json");
    EXPECT_EQ(o.max_frames, 10);
    ASSERT_EQ(parse({"--no-sound"}, &o), OPTIONS_RUN);
    EXPECT_FALSE(options_offline(&o));
    EXPECT_EQ(o.fps, 60);
    EXPECT_EQ(o.from_seconds, -1.0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(parse({"--capture", "a", "--video", "b.mp4"}, &o), OPTIONS_ERROR);
    EXPECT_EQ(parse({"--from", "20", "--to", "10"}, &o), OPTIONS_ERROR);
    EXPECT_EQ(parse({"--fps", "0"}, &o), OPTIONS_ERROR);
    EXPECT_EQ(parse({"--contact-sheet"}, &o), OPTIONS_ERROR);
    testing::internal::GetCapturedStderr();
}

TEST(OfflineOptions, RunsThatWriteFramesDrawWithOneThreadOnTwoProcessors)
{
    Options o;
    ASSERT_EQ(parse({"--capture", "out"}, &o), OPTIONS_RUN);
    EXPECT_EQ(options_threads(&o, 2), 1); // the PNG writers take the other processor
    EXPECT_EQ(options_threads(&o, 4), 2);
    ASSERT_EQ(parse({"--video", "v.mp4"}, &o), OPTIONS_RUN);
    EXPECT_EQ(options_threads(&o, 2), 1);
    ASSERT_EQ(parse({"--video", "v.mp4", "--threads", "2"}, &o), OPTIONS_RUN);
    EXPECT_EQ(options_threads(&o, 2), 2); // as asked
    for (const char* mode : {"--bench", "--no-sound"}) {
        ASSERT_EQ(parse({mode}, &o), OPTIONS_RUN);
        EXPECT_EQ(options_threads(&o, 2), 2) << mode;
        EXPECT_EQ(options_threads(&o, 1), 1) << mode;
        EXPECT_EQ(options_threads(&o, 0), 1) << mode; // cannot tell
    }
    ASSERT_EQ(parse({"--bench", "--threads=1"}, &o), OPTIONS_RUN);
    EXPECT_EQ(options_threads(&o, 8), 1);
}

TEST(OfflineOptions, EmptyRangesAndStartsPastTheEndAreUsageErrors)
{
    Options o;
    // --to 0 is an empty range, not "no end".
    testing::internal::CaptureStderr();
    EXPECT_EQ(parse({"--capture", "out", "--to", "0"}, &o), OPTIONS_ERROR);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("--to must come after the start"),
              std::string::npos);
    // The demo ends at beat 410: a start there or later draws nothing.
    for (std::vector<const char*> args :
         {std::vector<const char*>{"--bench", "--from", "410"},
          std::vector<const char*>{"--bench", "--from", "300s"}, std::vector<const char*>{"--start", "410"},
          std::vector<const char*>{"--start", "5000"}}) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(parse(args, &o), OPTIONS_ERROR) << args[1] << " " << args.back();
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("past the end of the demo (beat 410, 273.333s)"), std::string::npos) << err;
    }
    EXPECT_EQ(parse({"--bench", "--from", "409.5", "--to", "1000"}, &o), OPTIONS_RUN);
    EXPECT_EQ(parse({"--start", "409.9"}, &o), OPTIONS_RUN);
    EXPECT_EQ(parse({"--capture", "out", "--to", "0.1"}, &o), OPTIONS_RUN);
}

TEST(OfflineOptions, NumbersFollowOneRuleAndHugeStartsArePastTheEnd)
{
    Options o;
    // Plain decimal everywhere: hexadecimal, "inf", "nan" and spaces are
    // refused by every option that takes a number.
    for (std::vector<const char*> args :
         {std::vector<const char*>{"--start", "0x10"}, std::vector<const char*>{"--bench", "--from", "0x10"},
          std::vector<const char*>{"--bench", "--to", "0x10s"}, std::vector<const char*>{"--fps", "0x10"},
          std::vector<const char*>{"--start", "inf"}, std::vector<const char*>{"--start", "nan"},
          std::vector<const char*>{"--bench", "--from", " 5"}, std::vector<const char*>{"--frames", "5 "},
          std::vector<const char*>{"--bench", "--from", "1e"}, std::vector<const char*>{"--bench", "--from", "."},
          std::vector<const char*>{"--bench", "--from", "s"}, std::vector<const char*>{"--fps", "6e1"}}) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(parse(args, &o), OPTIONS_ERROR) << args[args.size() - 2] << " " << args.back();
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find(" needs "), std::string::npos) << err;
    }
    ASSERT_EQ(parse({"--start", "1e2"}, &o), OPTIONS_RUN);
    EXPECT_EQ(o.start_beat, 100.0f);
    ASSERT_EQ(parse({"--bench", "--from", "+12.5", "--to", "2.5e1s"}, &o), OPTIONS_RUN);
    EXPECT_DOUBLE_EQ(o.from_seconds, 12.5 * 60.0 / 90.0);
    EXPECT_DOUBLE_EQ(o.to_seconds, 25.0);
    // However large, a start is past the end, not a malformed number.
    for (std::vector<const char*> args :
         {std::vector<const char*>{"--start", "1e6"}, std::vector<const char*>{"--start", "1e60"},
          std::vector<const char*>{"--bench", "--from", "1e7"},
          std::vector<const char*>{"--bench", "--from", "1e400s"}}) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(parse(args, &o), OPTIONS_ERROR) << args.back();
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("past the end of the demo (beat 410, 273.333s)"), std::string::npos) << err;
    }
}

TEST(Bench, ReportsPerRowPercentilesOfWholeFrames)
{
    // 100 frames in beat 0 (rows 0, 11, 12) taking 1..100 ms, 10 in beat 50
    // (rows 1, 11) taking 1000 ms.
    std::vector<BenchFrame> frames;
    // The processor time is a tenth of the wall clock at beat 0 (the rest
    // went to other processes), and all of it at beat 50.
    // The slowest frame and the heaviest one by processor time are named by
    // their beats; of equal ones the first.
    for (int i = 1; i <= 100; i++)
        frames.push_back({static_cast<double>(i), 0, i == 48 ? 30.0 : i / 10.0, i / 64.0});
    for (int i = 0; i < 10; i++)
        frames.push_back({1000.0, 50, 1000.0, 50.0 + i / 16.0});
    FILE* fp = std::tmpfile();
    bench_report_json(fp, frames, 2.0, {4.0, 6.0, 1.0, 3.0}); // a yardstick of 5 ms, 2 ms CPU
    std::string json = read_all(fp);
    std::fclose(fp);
    EXPECT_NE(json.find("{\"fps\": 55.000, \"frames\": 110, \"rows\": ["), std::string::npos) << json;
    EXPECT_NE(
        json.find(
            "{\"row\": 0, \"name\": \"title\", \"first_beat\": 0, \"end_beat\": 44, \"frames\": 100, "
            "\"median_ms\": 50.0000, \"p95_ms\": 95.0000, \"max_ms\": 100.0000, \"cpu_median_ms\": 5.1000, "
            "\"cpu_max_ms\": 30.0000, \"cpu_max_at_beat\": 0.7500, \"max_at_beat\": 1.5625, "
            "\"median_yardsticks\": 10.0000, \"cpu_median_yardsticks\": 2.5500}"),
        std::string::npos)
        << json;
    EXPECT_NE(
        json.find(
            "{\"row\": 11, \"name\": \"overlay\", \"first_beat\": 0, \"end_beat\": 410, \"frames\": 110, "
            "\"median_ms\": 55.0000, \"p95_ms\": 1000.0000, \"max_ms\": 1000.0000, "
            "\"cpu_median_ms\": 5.6000, \"cpu_max_ms\": 1000.0000, \"cpu_max_at_beat\": 50.0000, "
            "\"max_at_beat\": 50.0000, \"median_yardsticks\": 11.0000, \"cpu_median_yardsticks\": 2.8000}"),
        std::string::npos)
        << json;
    EXPECT_NE(
        json.find("{\"row\": 2, \"name\": \"tunnel\", \"first_beat\": 76, \"end_beat\": 100, \"frames\": 0"),
        std::string::npos);
    fp = std::tmpfile();
    bench_report_text(fp, frames, 2.0, {4.0, 6.0, 1.0, 3.0});
    std::string text = read_all(fp);
    std::fclose(fp);
    EXPECT_NE(text.find("all: 110 frames in 2.000 s, 55.0 frames per second\n"
                        "yardstick: 4.000 ms before the frames, 6.000 ms after (processor time 1.000 and 3.000 ms)"),
              std::string::npos)
        << text;
    // The wall-clock columns keep their places; the processor times come
    // after, and the slowest frame's beat last.
    EXPECT_NE(json.find("], \"yardstick\": {\"before_ms\": 4.0000, \"after_ms\": 6.0000, \"before_cpu_ms\": 1.0000, "
                        "\"after_cpu_ms\": 3.0000}}"), std::string::npos)
        << json;
    EXPECT_NE(text.find("median_ms   p95_ms   max_ms cpu_med_ms cpu_max_ms  at_beat   max_at median_y  cpu_med_y\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("title        0-44          100     50.000   95.000  100.000      5.100     30.000   "
                        "  0.75     1.56   10.000      2.550\n"),
              std::string::npos)
        << text;
}

// The yardstick is the W1 workload as its description defines it (the hash of
// its triangles and its first triangle), and its picture never changes: a
// yardstick that moved would make every figure given in its units wrong.
TEST(Bench, TheYardstickDrawsTheW1WorkloadAndItsPictureStaysPut)
{
    EXPECT_EQ(yardstick_triangle_hash(), 0xcf820eb7u);
    const YardstickTriangle& t = yardstick_triangles()[0];
    const int32_t want[3][6] = {{5066, 5952, 276710, 0x6c20f3, 2642, 8307},
                                {4688, 5672, 10724768, 0x973779, 2493, 8477},
                                {5291, 5828, 4201872, 0xd64148, 2104, 8122}};
    for (int k = 0; k < 3; k++) {
        EXPECT_EQ(t.x[k], want[k][0]);
        EXPECT_EQ(t.y[k], want[k][1]);
        EXPECT_EQ(t.z[k], want[k][2]);
        EXPECT_EQ(t.colour[k], 0xFF000000u | static_cast<uint32_t>(want[k][3]));
        EXPECT_EQ(t.u[k], static_cast<uint32_t>(want[k][4]));
        EXPECT_EQ(t.v[k], static_cast<uint32_t>(want[k][5]));
    }
    // Its picture's hash and written pixels when it was made.
    constexpr uint32_t YARDSTICK_PICTURE = 0xa630c0cau;
    constexpr int64_t YARDSTICK_WRITTEN = 533230;
    int64_t written = 0;
    EXPECT_EQ(yardstick_frame(&written), YARDSTICK_PICTURE);
    EXPECT_EQ(written, YARDSTICK_WRITTEN);
    // Another renderer writes 533,193 fragments of this workload; edge rules differ.
    EXPECT_NEAR(static_cast<double>(written), 533193.0, 5000.0);
    EXPECT_EQ(yardstick_frame(nullptr), YARDSTICK_PICTURE); // each frame starts clean
    double cpu_ms = -1.0;
    EXPECT_GT(yardstick_measure(1, &cpu_ms), 0.0);
    EXPECT_GT(cpu_ms, 0.0);
}

TEST(PngOut, WritesCompleteFilesOnlyAndReadsBack)
{
    fs::path dir = scratch("png-out");
    std::vector<uint32_t> pixels(8 * 4, 0);
    for (int i = 0; i < 32; i++)
        pixels[i] = 0x00102030u * static_cast<uint32_t>(i % 5) | 0xAA000000u; // alpha byte is ignored
    std::string name = (dir / "a.png").string();
    ASSERT_EQ(png_out_write(name.c_str(), pixels.data(), 6, 4, 8, 1), 0); // stride wider than the image
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, name.c_str()));
    EXPECT_EQ(image.width, 6u);
    EXPECT_EQ(image.height, 4u);
    EXPECT_EQ(image.format & PNG_FORMAT_FLAG_ALPHA, 0u);
    image.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> rgb(6 * 4 * 3);
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr));
    EXPECT_EQ(rgb[(1 * 6 + 3) * 3 + 0], 0x10 * ((8 + 3) % 5)); // row 1 starts at word 8
    EXPECT_EQ(rgb[(1 * 6 + 3) * 3 + 2], 0x30 * ((8 + 3) % 5));
    // No temporary file stays; a folder that does not exist fails cleanly.
    EXPECT_FALSE(fs::exists(dir / "a.png.part"));
    std::string bad = (dir / "missing" / "b.png").string();
    EXPECT_EQ(png_out_write(bad.c_str(), pixels.data(), 6, 4, 8, 1), ENOENT);
    EXPECT_EQ(png_out_write(name.c_str(), nullptr, 6, 4, 8, 1), EINVAL);
    EXPECT_EQ(png_out_write(name.c_str(), pixels.data(), 6, 4, 5, 1), EINVAL);
    fs::remove_all(dir);
}

TEST(VideoPipe, FfmpegMuxesFramesAndMusic)
{
    if (std::system("command -v ffmpeg > /dev/null 2>&1 && command -v ffprobe > /dev/null 2>&1") != 0)
        SKIP_UNLESS_CI() << "ffmpeg is not installed";
    fs::path dir = scratch("video-pipe");
    std::string music = (dir / "music.mp3").string();
    ASSERT_TRUE(write_test_mp3(music, 44100, 2, 3.0, 440.0, 0.3));
    std::string file = (dir / "out.mp4").string();
    VideoPipe* pipe = video_pipe_open(file.c_str(), 30, music.c_str(), 1.0);
    ASSERT_NE(pipe, nullptr);
    std::vector<uint32_t> frame(SCREEN_WIDTH * SCREEN_HEIGHT);
    for (int k = 0; k < 45; k++) {
        for (size_t i = 0; i < frame.size(); i++)
            frame[i] = static_cast<uint32_t>(k * 5) << 8;
        ASSERT_EQ(video_pipe_write(pipe, frame.data()), 0);
    }
    ASSERT_EQ(video_pipe_close(pipe, true), 0);
    // Only the finished file is left in the folder.
    for (const auto& e : fs::directory_iterator(dir))
        EXPECT_TRUE(e.path().filename() == "out.mp4" || e.path().filename() == "music.mp3") << e.path();
    std::string probe = "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                        "stream=nb_read_frames,duration -of csv=p=0 '" +
                        file + "' > '" + (dir / "probe.txt").string() + "'";
    ASSERT_EQ(std::system(probe.c_str()), 0);
    double duration = 0;
    int count = 0;
    FILE* fp = std::fopen((dir / "probe.txt").c_str(), "r");
    ASSERT_NE(fp, nullptr);
    ASSERT_EQ(std::fscanf(fp, "%lf,%d", &duration, &count), 2);
    std::fclose(fp);
    EXPECT_EQ(count, 45);
    EXPECT_NEAR(duration, 1.5, 0.01);
    std::string audio = "ffprobe -v error -select_streams a:0 -show_entries stream=codec_name -of csv=p=0 '" +
                        file + "' | grep -q aac";
    EXPECT_EQ(std::system(audio.c_str()), 0);
    fs::remove_all(dir);
}

TEST(VideoPipe, FfmpegFailingIsReportedAndTheOldFileStays)
{
    if (std::system("command -v ffmpeg > /dev/null 2>&1") != 0)
        SKIP_UNLESS_CI() << "ffmpeg is not installed";
    fs::path dir = scratch("video-bad");
    std::string file = (dir / "out.mp4").string();
    FILE* old = std::fopen(file.c_str(), "w");
    ASSERT_NE(old, nullptr);
    std::fputs("an older video", old);
    std::fclose(old);
    // ffmpeg cannot read the music, so it fails after it started.
    std::string music = (dir / "no-such-music.mp3").string();
    VideoPipe* pipe = video_pipe_open(file.c_str(), 30, music.c_str(), 0.0);
    ASSERT_NE(pipe, nullptr);
    std::vector<uint32_t> frame(SCREEN_WIDTH * SCREEN_HEIGHT, 0);
    std::signal(SIGPIPE, SIG_IGN);
    for (int k = 0; k < 30; k++)
        if (video_pipe_write(pipe, frame.data()) != 0)
            break;
    testing::internal::CaptureStderr();
    EXPECT_EQ(video_pipe_close(pipe, true), 1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("ffmpeg failed to write " + file + " (exit status"), std::string::npos) << err;
    std::signal(SIGPIPE, SIG_DFL);
    std::ifstream in(file);
    std::string kept((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(kept, "an older video");
    size_t entries = 0;
    for (auto it = fs::directory_iterator(dir); it != fs::directory_iterator(); ++it)
        entries++;
    EXPECT_EQ(entries, 1u) << "a temporary file was left behind";
    // A folder that does not exist is reported before ffmpeg starts.
    std::string nowhere = (dir / "no" / "such" / "folder.mp4").string();
    testing::internal::CaptureStderr();
    EXPECT_EQ(video_pipe_open(nowhere.c_str(), 30, nullptr, 0.0), nullptr);
    err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("cannot write the video " + nowhere + " (No such file or directory)"), std::string::npos)
        << err;
    fs::remove_all(dir);
}

TEST(VideoPipe, EveryPathReachesFfmpegAsAFileName)
{
    // Names ffmpeg would take for an option or a protocol.
    std::vector<std::string> args = video_ffmpeg_command("-dash.mp4", 30, "d:x/music.mp3", 0.0, false);
    ASSERT_FALSE(args.empty());
    EXPECT_EQ(args.back(), "file:-dash.mp4");
    bool music = false;
    for (size_t i = 1; i < args.size(); i++) {
        if (args[i - 1] == "-i" && args[i] != "pipe:0") {
            EXPECT_EQ(args[i], "file:d:x/music.mp3");
            music = true;
        }
        EXPECT_NE(args[i], "-dash.mp4");
    }
    EXPECT_TRUE(music);
    // The container is named, whatever the (temporary) file is called.
    std::vector<std::string> stream = video_ffmpeg_command(".v.mp4.Ab12Cd", 30, nullptr, 0.0, true);
    EXPECT_EQ(stream.back(), "file:.v.mp4.Ab12Cd");
    EXPECT_NE(std::find(stream.begin(), stream.end(), "mp4"), stream.end());
}

TEST(ContactSheet, LabelsStayInsideTheImage)
{
    std::vector<uint32_t> image(40 * 20, 0x00808080u);
    contact_sheet_label(image.data(), 40, 20, 1, 1, 408);
    // The box is black and the digits white; nothing outside the image moves.
    EXPECT_EQ(image[1 * 40 + 1], 0u);
    int white = 0;
    for (uint32_t p : image)
        white += p == 0x00FFFFFFu;
    EXPECT_GT(white, 20);
    contact_sheet_label(image.data(), 40, 20, 35, 15, 123456);
    contact_sheet_label(image.data(), 40, 20, -10, -10, 7);
}
