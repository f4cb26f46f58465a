// Golden frames: every tests/golden/beat-<B>.png is the frame that
// `dunravel --capture DIR --from <B> --frames 1` draws (fixed-step clock at
// 60 frames per second, a fresh process, the real data set). Two passes draw
// every golden beat in this one process, one with one drawing thread and one
// with two, each frame from freshly loaded effects. A mismatch writes the
// actual frame and a difference image under <build>/golden-out/ and names
// them, with the timeline rows (the scene) that drew the frame; a summary
// counts the changed frames per row. scripts/golden.sh refreshes the set or
// adds beats. Also: the program's own capture of a beat is its file, two
// captures of the same range are byte-identical, and Ctrl-C during a capture
// leaves only complete files.
#include "prerequisite.h"
#include "scratch_dir.h"

#include "core/core.h"
#include "core/frame.h"
#include "platform/audio.h"
#include "platform/paths.h"
#include "raster/raster.h"
#include "runtime/clock.h"
#include "runtime/demo.h"
#include "runtime/effects.h"
#include "runtime/options.h"
#include "runtime/video.h"

#include <gtest/gtest.h>

#include <png.h>
#include <sys/wait.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace
{

const fs::path source_dir = DUNRAVEL_SOURCE_DIR;
const fs::path binary_dir = DUNRAVEL_BINARY_DIR;
const fs::path program = binary_dir / "dunravel";
const fs::path data_dir = source_dir / "data";

struct Image {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels; // 0x00RRGGBB
};

bool read_png(const fs::path& path, Image* out)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return false;
    image.format = PNG_FORMAT_BGRA;
    out->width = static_cast<int>(image.width);
    out->height = static_cast<int>(image.height);
    out->pixels.assign(static_cast<size_t>(out->width) * out->height, 0);
    if (!png_image_finish_read(&image, nullptr, out->pixels.data(), 0, nullptr)) {
        png_image_free(&image);
        return false;
    }
    for (uint32_t& p : out->pixels)
        p &= 0x00FFFFFFu;
    return true;
}

bool write_png(const fs::path& path, const Image& in)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(in.width);
    image.height = static_cast<png_uint_32>(in.height);
    image.format = PNG_FORMAT_BGRA;
    std::vector<uint32_t> opaque(in.pixels);
    for (uint32_t& p : opaque)
        p |= 0xFF000000u;
    return png_image_write_to_file(&image, path.c_str(), 0, opaque.data(), 0, nullptr) != 0;
}

std::vector<unsigned char> file_bytes(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::vector<unsigned char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Runs the program with args; its output goes to log. Returns the exit status.
int run(const std::string& args, const fs::path& log)
{
    std::string cmd = "SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy timeout 600 '" + program.string() +
                      "' --data '" + data_dir.string() + "' " + args + " > '" + log.string() +
                      "' 2>&1 < /dev/null";
    int raw = std::system(cmd.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

bool have_data(std::string* why)
{
    if (!fs::exists(data_dir / "dunravel.mp3")) {
        *why = "no data set at " + data_dir.string() + " (make it with scripts/data.sh)";
        return false;
    }
    return true;
}

bool have_program_and_data(std::string* why)
{
    if (!fs::exists(program)) {
        *why = "the program is not built: " + program.string();
        return false;
    }
    if (!fs::exists(data_dir / "dunravel.mp3")) {
        *why = "no data set at " + data_dir.string() + " (make it with scripts/data.sh)";
        return false;
    }
    return true;
}

std::vector<fs::path> golden_files()
{
    std::vector<fs::path> files;
    fs::path dir = source_dir / "tests" / "golden";
    if (fs::is_directory(dir))
        for (const auto& e : fs::directory_iterator(dir))
            if (e.path().extension() == ".png" && e.path().filename().string().rfind("beat-", 0) == 0)
                files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

// Checks done() every few milliseconds until it holds; false when it never
// did within a generous bound (a hang, not a slow machine).
template <class Done> bool wait_until(Done done)
{
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::minutes(5);
    while (!done()) {
        if (std::chrono::steady_clock::now() > give_up)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

fs::path scratch(const char* name)
{
    return scratch_path(name);
}

// The timeline rows that draw the golden frame of beat text `beat`: the
// program's frame k = music_frame_at(--from, 60) on the fixed-step clock,
// whose music time is the track position of k × 735 sample frames.
std::vector<int32_t> rows_drawing(const std::string& beat)
{
    int64_t k = music_frame_at(options_parse_time(beat.c_str()), 60);
    clock_set_tempo(DEMO_TEMPO_BPM);
    clock_set_time(audio_bytes_to_seconds(k * (AUDIO_RATE / 60) * AUDIO_FRAME_BYTES), 1.0 / 60.0);
    std::vector<int32_t> rows;
    for (int32_t row = 0; row < TIMELINE_COUNT; row++)
        if (timeline_row_active(row, clock_beat_index()))
            rows.push_back(row);
    return rows;
}

std::string row_names(const std::vector<int32_t>& rows)
{
    std::string names;
    for (int32_t row : rows)
        names += (names.empty() ? "" : ", ") + std::string(timeline_name(row));
    return names;
}

} // namespace

TEST(GoldenFrames, RowsNamedForABeatAreTheRowsTheProgramDraws)
{
    EXPECT_EQ(row_names(rows_drawing("0")), "title, overlay, post_filter");
    // Frames are 0.025 beats apart: the frame for 43.97 is at 43.975, the one for 43.99 at 44.
    EXPECT_EQ(row_names(rows_drawing("43.97")), "title, overlay, post_filter");
    EXPECT_EQ(row_names(rows_drawing("43.99")), "metaball, overlay");
    EXPECT_EQ(row_names(rows_drawing("44")), "metaball, overlay");
    EXPECT_EQ(row_names(rows_drawing("365")), "collider, end, overlay, post_filter");
    // The program itself at a row's first beat: the bench counts the frame
    // for the rows that drew it.
    std::string why;
    if (!have_program_and_data(&why))
        SKIP_UNLESS_CI() << why;
    fs::path dir = scratch("golden-rows");
    fs::path json = dir / "bench.json";
    ASSERT_EQ(run("--bench --bench-json '" + json.string() + "' --from 44 --frames 1", dir / "log.txt"), 0);
    std::vector<unsigned char> bytes = file_bytes(json);
    std::string text(bytes.begin(), bytes.end());
    std::vector<int32_t> drawn;
    for (int32_t row = 0; row < TIMELINE_COUNT; row++) {
        std::string key = "{\"row\": " + std::to_string(row) + ", ";
        size_t at = text.find(key);
        ASSERT_NE(at, std::string::npos) << key << " in " << text;
        size_t frames = text.find("\"frames\": ", at);
        ASSERT_NE(frames, std::string::npos) << text;
        if (std::atoi(text.c_str() + frames + 10) > 0)
            drawn.push_back(row);
    }
    EXPECT_EQ(row_names(drawn), row_names(rows_drawing("44")));
    fs::remove_all(dir);
}

// Draws golden frames in this process as the program draws them from a fresh
// start at a beat: the video offscreen, the music on the fixed-step clock at
// 60 frames a second, the drawing threads started once. Before each frame
// every effect is loaded afresh from the generators' start values, so no
// state of an earlier frame reaches it; the frame is drawn, copied and the
// effects freed again.
class GoldenPass
{
  public:
    // True when everything opened; else why says what did not.
    bool open(int32_t threads, std::string* why)
    {
        paths_init();
        if (paths_set_data_dir(data_dir.c_str()) != 0) {
            *why = "the data folder name is too long: " + data_dir.string();
            return false;
        }
        VideoSettings settings = {VIDEO_WINDOW, 1, 0, 1};
        video_configure(&settings);
        if (video_open(1) != 0) {
            *why = "the offscreen frame could not be made";
            return false;
        }
        video_opened = true;
        music_set_clock(MUSIC_CLOCK_FIXED, GOLDEN_FPS);
        if (music_load(DEMO_MUSIC_PATH, DEMO_TEMPO_BPM, 0.0f) != 0) {
            *why = "the music did not load from " + data_dir.string();
            return false;
        }
        music_opened = true;
        if (music_play() != 0) {
            *why = "the music did not start";
            return false;
        }
        music_set_end(-1.0);
        started_threads = raster_threads_start(threads);
        if (started_threads != threads) {
            *why = "only " + std::to_string(started_threads) + " drawing thread(s) could be started";
            return false;
        }
        return true;
    }

    ~GoldenPass()
    {
        raster_threads_stop();
        if (music_opened)
            music_close();
        if (video_opened)
            video_close();
    }

    // The frame at beat text `beat` into out; false with why on a failure.
    bool draw(const std::string& beat, Image* out, std::string* why)
    {
        random_seed = 1; // both generators as a process starts them
        core_srand(1);
        if (effects_load_all() != 0) {
            *why = "the effects did not load from " + data_dir.string();
            return false;
        }
        music_seek_frame(music_frame_at(options_parse_time(beat.c_str()), GOLDEN_FPS));
        music_update();
        demo_draw_frame();
        out->width = screen->w;
        out->height = screen->h;
        out->pixels.resize(static_cast<size_t>(out->width) * out->height);
        for (int32_t y = 0; y < screen->h; y++) {
            const uint32_t* row = screen_row(y);
            for (int32_t x = 0; x < screen->w; x++)
                out->pixels[static_cast<size_t>(y) * out->width + x] = row[x] & 0x00FFFFFFu;
        }
        effects_free_all();
        return true;
    }

  private:
    static constexpr int32_t GOLDEN_FPS = 60;
    bool video_opened = false;
    bool music_opened = false;
    int32_t started_threads = 0;
};

// Every golden frame drawn with `threads` drawing threads against its file.
void check_every_golden_frame(int32_t threads)
{
    std::string why;
    if (!have_data(&why))
        SKIP_UNLESS_CI() << why;
    std::vector<fs::path> goldens = golden_files();
    ASSERT_FALSE(goldens.empty())
        << "no golden frames in tests/golden (add some with scripts/golden.sh BEAT)";
    GoldenPass pass;
    ASSERT_TRUE(pass.open(threads, &why)) << why;
    fs::path out = binary_dir / "golden-out";
    fs::create_directories(out);
    std::string suffix = threads == 1 ? "" : "-threads-" + std::to_string(threads);
    std::vector<int32_t> golden_per_row(TIMELINE_COUNT, 0), changed_per_row(TIMELINE_COUNT, 0);
    for (const fs::path& golden : goldens) {
        std::string stem = golden.stem().string(); // beat-<B>
        std::string beat = stem.substr(5);
        std::vector<int32_t> rows = rows_drawing(beat);
        for (int32_t row : rows)
            golden_per_row[static_cast<size_t>(row)]++;
        Image want, got;
        ASSERT_TRUE(read_png(golden, &want)) << golden;
        ASSERT_TRUE(pass.draw(beat, &got, &why)) << stem << ": " << why;
        ASSERT_EQ(want.width, got.width) << golden;
        ASSERT_EQ(want.height, got.height) << golden;
        Image diff = got;
        int64_t differing = 0;
        for (size_t i = 0; i < got.pixels.size(); i++) {
            uint32_t a = want.pixels[i], b = got.pixels[i];
            uint32_t d = 0;
            for (int shift = 0; shift < 24; shift += 8) {
                int da = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
                uint32_t m = static_cast<uint32_t>(std::min(255, std::abs(da) * 8));
                d |= m << shift;
            }
            diff.pixels[i] = d;
            differing += a != b;
        }
        if (differing > 0) {
            fs::path actual = out / (stem + suffix + ".actual.png");
            fs::path difference = out / (stem + suffix + ".diff.png");
            write_png(actual, got);
            write_png(difference, diff);
            for (int32_t row : rows)
                changed_per_row[static_cast<size_t>(row)]++;
            ADD_FAILURE() << stem << " (drawn by " << row_names(rows) << ", " << threads
                          << " drawing thread(s)): " << differing << " pixels differ from " << golden.string()
                          << "\n  actual frame: " << actual.string()
                          << "\n  difference (x8): " << difference.string()
                          << "\n  if the change is intended: scripts/golden.sh " << beat;
        }
    }
    // A row whose every frame changed is the likely cause; one changed in
    // some frames only is drawn beside it.
    std::string summary;
    for (int32_t row = 0; row < TIMELINE_COUNT; row++)
        if (changed_per_row[static_cast<size_t>(row)] > 0)
            summary += "\n  " + std::string(timeline_name(row)) + ": " +
                       std::to_string(changed_per_row[static_cast<size_t>(row)]) + " of " +
                       std::to_string(golden_per_row[static_cast<size_t>(row)]) + " golden frames";
    if (!summary.empty())
        ADD_FAILURE() << "changed golden frames by timeline row (" << threads
                      << " drawing thread(s)):" << summary;
}

TEST(GoldenFrames, EveryGoldenBeatDrawsItsReferenceFrame)
{
    check_every_golden_frame(1);
}

// The frame does not depend on how the rows are shared between two threads.
TEST(GoldenFrames, TwoDrawingThreadsDrawEveryReferenceFrame)
{
    check_every_golden_frame(2);
}

// The program's own capture of a golden beat (a fresh process, as
// scripts/golden.sh makes them) is the reference file byte for byte in
// pixels: the in-process passes above draw what the program draws.
TEST(GoldenFrames, TheProgramCapturesAGoldenBeatAsItsFile)
{
    std::string why;
    if (!have_program_and_data(&why))
        SKIP_UNLESS_CI() << why;
    const std::string beat = "46";
    fs::path golden = source_dir / "tests" / "golden" / ("beat-" + beat + ".png");
    ASSERT_TRUE(fs::exists(golden)) << golden;
    fs::path dir = scratch("golden-capture");
    ASSERT_EQ(
        run("--capture '" + dir.string() + "' --fps 60 --from " + beat + " --frames 1", dir / "log.txt"), 0)
        << std::ifstream(dir / "log.txt").rdbuf();
    fs::path frame;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().extension() == ".png")
            frame = e.path();
    ASSERT_FALSE(frame.empty()) << "no frame written";
    Image want, got;
    ASSERT_TRUE(read_png(golden, &want)) << golden;
    ASSERT_TRUE(read_png(frame, &got)) << frame;
    EXPECT_EQ(want.pixels, got.pixels) << frame << " against " << golden;
    fs::remove_all(dir);
}

TEST(GoldenFrames, TwoCapturesOfOneRangeAreByteIdentical)
{
    std::string why;
    if (!have_program_and_data(&why))
        SKIP_UNLESS_CI() << why;
    fs::path a = scratch("capture-a"), b = scratch("capture-b");
    ASSERT_EQ(run("--capture '" + a.string() + "' --fps 20 --from 43 --to 45", a / "log.txt"), 0);
    ASSERT_EQ(run("--capture '" + b.string() + "' --fps 20 --from 43 --to 45", b / "log.txt"), 0);
    int frames = 0;
    for (const auto& e : fs::directory_iterator(a)) {
        if (e.path().extension() != ".png")
            continue;
        frames++;
        EXPECT_EQ(file_bytes(e.path()), file_bytes(b / e.path().filename())) << e.path().filename();
    }
    EXPECT_EQ(frames, 26); // beats 43 to 45 at 20 frames a second: k = 574 ... 599
    fs::remove_all(a);
    fs::remove_all(b);
}

TEST(GoldenFrames, InterruptedCaptureLeavesOnlyCompleteFiles)
{
    std::string why;
    if (!have_program_and_data(&why))
        SKIP_UNLESS_CI() << why;
    fs::path dir = scratch("capture-interrupted");
    std::string cmd = "cd '" + dir.string() + "' && SDL_VIDEODRIVER=dummy exec '" + program.string() +
                      "' --data '" + data_dir.string() +
                      "' --capture frames > log.txt 2>&1 < /dev/null & echo $! > '" + (dir / "pid").string() +
                      "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0); // the pid file is written when this returns
    pid_t pid = 0;
    std::ifstream(dir / "pid") >> pid;
    ASSERT_GT(pid, 0);
    // Wait for the first frames, then interrupt.
    EXPECT_TRUE(wait_until([&] { return fs::exists(dir / "frames" / "frame-000003.png"); }))
        << "no frames were written";
    kill(pid, SIGINT);
    wait_until([&] { return kill(pid, 0) != 0; });
    EXPECT_NE(kill(pid, 0), 0) << "the capture did not stop";
    int pngs = 0;
    for (const auto& e : fs::directory_iterator(dir / "frames")) {
        EXPECT_EQ(e.path().extension(), ".png") << "left behind: " << e.path();
        Image image;
        EXPECT_TRUE(read_png(e.path(), &image)) << "incomplete: " << e.path();
        pngs++;
    }
    EXPECT_GE(pngs, 4);
    EXPECT_LT(pngs, 16400);
    fs::remove_all(dir);
}

TEST(OfflineProgram, VideoAndBenchOfAShortRange)
{
    std::string why;
    if (!have_program_and_data(&why))
        SKIP_UNLESS_CI() << why;
    fs::path dir = scratch("offline-program");
    if (std::system("command -v ffprobe > /dev/null 2>&1") == 0) {
        fs::path video = dir / "short.mp4";
        ASSERT_EQ(run("--video '" + video.string() + "' --from 40 --frames 30", dir / "video.txt"), 0)
            << std::ifstream(dir / "video.txt").rdbuf();
        std::string probe = "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                            "stream=nb_read_frames,duration -of csv=p=0 '" +
                            video.string() + "' > '" + (dir / "probe.txt").string() + "'";
        ASSERT_EQ(std::system(probe.c_str()), 0);
        double duration = 0;
        int count = 0;
        std::ifstream probe_out(dir / "probe.txt");
        char comma = 0;
        probe_out >> duration >> comma >> count;
        EXPECT_EQ(count, 30);
        EXPECT_NEAR(duration, 0.5, 0.01);
    }
    fs::path json = dir / "bench.json";
    ASSERT_EQ(run("--bench --bench-json '" + json.string() + "' --from 40 --frames 20", dir / "bench.txt"),
              0);
    std::vector<unsigned char> bytes = file_bytes(json);
    std::string text(bytes.begin(), bytes.end());
    EXPECT_NE(text.find("\"frames\": 20, \"rows\": ["), std::string::npos) << text;
    EXPECT_NE(
        text.find("{\"row\": 0, \"name\": \"title\", \"first_beat\": 0, \"end_beat\": 44, \"frames\": 20,"),
        std::string::npos)
        << text;
    fs::remove_all(dir);
}
