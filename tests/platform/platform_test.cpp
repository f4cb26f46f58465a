// The platform layer: path mapping, the counter, and the audio layer on short
// MP3 tracks made here with LAME (length, resampling, spectrum, playback
// positions and the end of the track, with and without a sound device).
#include "platform/audio.h"
#include "platform/counter.h"
#include "platform/paths.h"
#include "platform/question.h"

#include "test_mp3.h"

#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <SDL.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace
{

// Bin 40 of a 1024-point spectrum at 44,100 Hz: 40 × 44100 / 1024 Hz.
constexpr double BIN40_HZ = 40.0 * 44100.0 / 1024.0;

int peak_bin(const float* bins)
{
    int best = 0;
    for (int k = 1; k < AUDIO_SPECTRUM_BINS; k++)
        if (bins[k] > bins[best])
            best = k;
    return best;
}

} // namespace

TEST(Paths, BackslashesMapAndDataFolderMoves)
{
    char out[64];
    paths_set_data_dir(nullptr);
    EXPECT_STREQ(path_native("data\\dunravel.mp3", out, sizeof out), "data/dunravel.mp3");
    EXPECT_STREQ(path_native("screenshot-001.bmp", out, sizeof out), "screenshot-001.bmp");
    paths_set_data_dir("/tmp/set");
    EXPECT_STREQ(path_native("data\\sub\\a.png", out, sizeof out), "/tmp/set/sub/a.png");
    EXPECT_STREQ(path_native("data/b.png", out, sizeof out), "/tmp/set/b.png");
    EXPECT_STREQ(path_native("database\\c.png", out, sizeof out), "database/c.png");
    // A folder name too long to use is refused and changes nothing.
    EXPECT_EQ(paths_set_data_dir(std::string(PATHS_DATA_DIR_MAX + 1, 'd').c_str()), 1);
    EXPECT_STREQ(path_native("data/b.png", out, sizeof out), "/tmp/set/b.png");
    EXPECT_EQ(paths_set_data_dir(std::string(PATHS_DATA_DIR_MAX, 'd').c_str()), 0);
    paths_set_data_dir(nullptr);
    // Too small a buffer: null and an empty string, never an overrun.
    char tiny[8];
    EXPECT_EQ(path_native("data\\dunravel.mp3", tiny, sizeof tiny), nullptr);
    EXPECT_STREQ(tiny, "");
    EXPECT_EQ(path_fopen("data\\no-such-file.png", "rb"), nullptr);
}

TEST(Paths, DataFilesMustBeRegularFilesAndFailuresNameThePathOpened)
{
    ScratchDir dir("data-files");
    std::ofstream(dir.path / "ok.bin") << "bytes";
    fs::create_directories(dir.path / "folder.bin");
    std::string fifo = dir.file("fifo.bin");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // Should the open wait for a writer, this one comes after a few seconds
    // and the test fails instead of hanging.
    std::atomic<bool> done{false};
    std::thread unblock([&] {
        for (int i = 0; i < 50 && !done; i++)
            SDL_Delay(100);
        if (!done)
            close(open(fifo.c_str(), O_WRONLY | O_NONBLOCK));
    });
    paths_set_data_dir(dir.path.c_str());
    int fd = path_open_data("data\\ok.bin");
    EXPECT_GE(fd, 0);
    close(fd);
    EXPECT_EQ(path_open_data("data\\fifo.bin"), -1);
    EXPECT_EQ(path_failure(), fifo + " (not a regular file)");
    done = true;
    unblock.join();
    EXPECT_EQ(path_fopen("data\\folder.bin", "rb"), nullptr);
    EXPECT_EQ(path_failure(), dir.file("folder.bin") + " (a folder, not a file)");
    EXPECT_EQ(path_fopen("data\\missing.bin", "rb"), nullptr);
    EXPECT_EQ(path_failure(), dir.file("missing.bin") + " (No such file or directory)");
    EXPECT_STREQ(path_failure_reason(), "No such file or directory");
    path_fail("data\\ok.bin", "not what was expected");
    EXPECT_EQ(path_failure(), dir.file("ok.bin") + " (not what was expected)");
    paths_set_data_dir(nullptr);
}

// Runs the question with PATH and DISPLAY set for the test, then restores them.
static int32_t ask_with(const char* path, const char* display)
{
    std::string old_path = std::getenv("PATH") ? std::getenv("PATH") : "";
    const char* old_display_env = std::getenv("DISPLAY");
    std::string old_display = old_display_env ? old_display_env : "";
    setenv("PATH", path, 1);
    if (display)
        setenv("DISPLAY", display, 1);
    else
        unsetenv("DISPLAY");
    int32_t answer = question_yes_no("Tolvenari", "Fullscreen?");
    setenv("PATH", old_path.c_str(), 1);
    if (old_display_env)
        setenv("DISPLAY", old_display.c_str(), 1);
    else
        unsetenv("DISPLAY");
    return answer;
}

TEST(Question, DialogAnswersElseNobodyToAskMeansNo)
{
    if (isatty(0))
        GTEST_SKIP() << "standard input is a terminal";
    ScratchDir dir("question");
    // A stand-in zenity that records its arguments and answers with its status.
    auto fake_zenity = [&](int status) {
        std::string script = dir.file("zenity");
        FILE* fp = std::fopen(script.c_str(), "w");
        std::fprintf(fp, "#!/bin/sh\nprintf '%%s|' \"$@\" > '%s'\nexit %d\n", dir.file("args").c_str(),
                     status);
        std::fclose(fp);
        fs::permissions(script, fs::perms::owner_all);
    };
    std::string path = dir.path.string() + ":/usr/bin:/bin";
    fake_zenity(0);
    EXPECT_EQ(ask_with(path.c_str(), ":99"), QUESTION_YES);
    std::ifstream args(dir.file("args"));
    std::string recorded;
    std::getline(args, recorded);
    EXPECT_EQ(recorded, "--question|--title=Tolvenari|--text=Fullscreen?|");
    fake_zenity(1);
    EXPECT_EQ(ask_with(path.c_str(), ":99"), QUESTION_NO);
    // A failing dialog, no display, or no zenity: nobody to ask, so No.
    fake_zenity(5);
    EXPECT_EQ(ask_with(path.c_str(), ":99"), QUESTION_NO);
    fake_zenity(0);
    EXPECT_EQ(ask_with(path.c_str(), nullptr), QUESTION_NO);
    EXPECT_EQ(ask_with("/nonexistent", ":99"), QUESTION_NO);
}

TEST(Counter, SteadyAndPositive)
{
    EXPECT_GT(counter_frequency(), 0);
    // Never backwards, and it moves on.
    int64_t first = counter_now(), last = first;
    for (int i = 0; i < 1000000 && last == first; i++) {
        int64_t now = counter_now();
        ASSERT_GE(now, last);
        last = now;
    }
    EXPECT_GT(last, first);
}

TEST(AudioTrack, LengthAndSpectrumPeakOfATone)
{
    ScratchDir dir("audio-length");
    std::string path = dir.file("tone.mp3");
    ASSERT_TRUE(write_test_mp3(path, 44100, 2, 1.0, BIN40_HZ, 0.5));
    AudioTrack* track = audio_track_load(path.c_str());
    ASSERT_NE(track, nullptr);
    // The LAME tag gives the decoder the exact length.
    EXPECT_EQ(audio_track_bytes(track), 44100 * 4);
    float bins[AUDIO_SPECTRUM_BINS];
    audio_track_spectrum(track, 44100 * 4 / 2, bins);
    EXPECT_EQ(peak_bin(bins), 40);
    EXPECT_NEAR(bins[40], 0.5f, 0.05f); // amplitude 0.5 at a bin centre
    EXPECT_LT(bins[100], 0.01f);
    // Past the end there is only silence.
    audio_track_spectrum(track, 44100 * 4 * 2, bins);
    EXPECT_EQ(bins[40], 0.0f);
    audio_track_free(track);
}

TEST(AudioTrack, OtherRatesAndMonoKeepSpeedAndPitch)
{
    ScratchDir dir("audio-rates");
    for (int rate : {22050, 48000}) {
        for (int channels : {1, 2}) {
            std::string path = dir.file("tone.mp3");
            ASSERT_TRUE(write_test_mp3(path, rate, channels, 1.0, BIN40_HZ, 0.5));
            AudioTrack* track = audio_track_load(path.c_str());
            ASSERT_NE(track, nullptr) << rate << " Hz, " << channels << " channels";
            // One second stays one second at 44,100 Hz (within a frame).
            EXPECT_NEAR(static_cast<double>(audio_track_bytes(track)) / 4, 44100.0, 2.0)
                << rate << " Hz, " << channels << " channels";
            float bins[AUDIO_SPECTRUM_BINS];
            audio_track_spectrum(track, 44100 * 2, bins);
            EXPECT_EQ(peak_bin(bins), 40) << rate << " Hz, " << channels << " channels";
            int64_t frames = 0;
            const int16_t* s = audio_track_samples(track, &frames);
            ASSERT_NE(s, nullptr);
            EXPECT_EQ(s[22050 * 2], s[22050 * 2 + 1]); // mono becomes two equal channels
            audio_track_free(track);
        }
    }
}

TEST(AudioTrack, MissingEmptyAndGarbageFilesFail)
{
    ScratchDir dir("audio-bad");
    EXPECT_EQ(audio_track_load(dir.file("missing.mp3").c_str()), nullptr);
    std::string empty = dir.file("empty.mp3");
    std::fclose(std::fopen(empty.c_str(), "wb"));
    EXPECT_EQ(audio_track_load(empty.c_str()), nullptr);
    std::string text = dir.file("text.mp3");
    FILE* fp = std::fopen(text.c_str(), "wb");
    for (int i = 0; i < 2000; i++)
        std::fputs("this is not an mp3 file at all\n", fp);
    std::fclose(fp);
    EXPECT_EQ(audio_track_load(text.c_str()), nullptr);
    audio_track_free(nullptr);
}

TEST(AudioTrack, BytesAndSecondsConvert)
{
    EXPECT_EQ(audio_seconds_to_bytes(1.0), 176400);
    EXPECT_EQ(audio_seconds_to_bytes(12.5), 12.5 * 44100 * 4);
    EXPECT_EQ(audio_seconds_to_bytes(-3.0), 0);
    EXPECT_EQ(audio_seconds_to_bytes(0.5 / 44100), 0); // whole frames only
    EXPECT_DOUBLE_EQ(audio_bytes_to_seconds(176400 * 3), 3.0);
}

// A clock the tests move by hand (audio_set_clock): positions follow it and
// nothing else, so they are exact whatever the machine's load.
std::atomic<int64_t> hand_ticks{0};
int64_t hand_clock()
{
    return hand_ticks.load();
}

// Ticks of the hand clock for a number of track frames (whole ticks, at
// least as long).
int64_t ticks_of_frames(int64_t frames)
{
    return (frames * counter_frequency() + AUDIO_RATE - 1) / AUDIO_RATE;
}

// The hand clock for the duration of a test, the counter again afterwards.
struct HandClock {
    HandClock()
    {
        hand_ticks = 1000;
        audio_set_clock(hand_clock);
    }
    ~HandClock() { audio_set_clock(nullptr); }
};

TEST(AudioPlayback, SilentOutputFollowsItsClockPausesAndEnds)
{
    ScratchDir dir("play-silent");
    std::string path = dir.file("short.mp3");
    ASSERT_TRUE(write_test_mp3(path, 44100, 2, 0.4, 440.0, 0.3));
    AudioTrack* track = audio_track_load(path.c_str());
    ASSERT_NE(track, nullptr);
    const int64_t frames = audio_track_bytes(track) / AUDIO_FRAME_BYTES;
    HandClock clock;
    ASSERT_EQ(audio_open(AUDIO_OUTPUT_SILENT), 0);
    EXPECT_EQ(audio_state(), AUDIO_STOPPED);
    ASSERT_EQ(audio_play(track), 0);
    EXPECT_EQ(audio_state(), AUDIO_PLAYING);
    EXPECT_EQ(audio_position(), 0);
    // The position is the time since playing started, in whole frames.
    hand_ticks += ticks_of_frames(4410);
    EXPECT_EQ(audio_position(), 4410 * AUDIO_FRAME_BYTES);
    hand_ticks += ticks_of_frames(1000);
    EXPECT_EQ(audio_position(), 5410 * AUDIO_FRAME_BYTES);
    // Paused, it stands still however long the pause; resumed, it goes on
    // from there.
    audio_pause(1);
    EXPECT_EQ(audio_state(), AUDIO_PAUSED);
    hand_ticks += counter_frequency() * 5;
    EXPECT_EQ(audio_position(), 5410 * AUDIO_FRAME_BYTES);
    audio_pause(0);
    EXPECT_EQ(audio_state(), AUDIO_PLAYING);
    EXPECT_EQ(audio_position(), 5410 * AUDIO_FRAME_BYTES);
    hand_ticks += ticks_of_frames(590);
    EXPECT_EQ(audio_position(), 6000 * AUDIO_FRAME_BYTES);
    // One frame short of the end it still plays; at the end it stops there.
    hand_ticks += ticks_of_frames(frames - 6000 - 1);
    EXPECT_EQ(audio_state(), AUDIO_PLAYING);
    hand_ticks += ticks_of_frames(1) + counter_frequency();
    EXPECT_EQ(audio_state(), AUDIO_STOPPED);
    EXPECT_EQ(audio_position(), audio_track_bytes(track));
    // A seek moves the position; past the end the track is over.
    ASSERT_EQ(audio_play(track), 0);
    audio_set_position(44100 * 4 / 5);
    EXPECT_EQ(audio_position(), 44100 * 4 / 5);
    hand_ticks += ticks_of_frames(100);
    EXPECT_EQ(audio_position(), 44100 * 4 / 5 + 100 * AUDIO_FRAME_BYTES);
    audio_set_position(int64_t{1} << 40);
    EXPECT_EQ(audio_state(), AUDIO_STOPPED);
    audio_close();
    audio_track_free(track);
}

// Waits until done() holds, moving the hand clock on by a millisecond a
// turn and giving the device's thread its turn; false when it never held
// within a generous bound (a hang, not a slow machine).
template <class Done> bool wait_for_device(Done done)
{
    for (int turn = 0; turn < 60000; turn++) {
        if (done())
            return true;
        hand_ticks += counter_frequency() / 1000;
        SDL_Delay(1);
    }
    return done();
}

TEST(AudioPlayback, DeviceOutputAdvancesWithTheBlocksItWasGivenAndEnds)
{
    setenv("SDL_AUDIODRIVER", "dummy", 0); // never a real sound card in tests
    ScratchDir dir("play-device");
    std::string path = dir.file("short.mp3");
    ASSERT_TRUE(write_test_mp3(path, 44100, 2, 0.4, 440.0, 0.3));
    AudioTrack* track = audio_track_load(path.c_str());
    ASSERT_NE(track, nullptr);
    HandClock clock;
    ASSERT_EQ(audio_open(AUDIO_OUTPUT_DEVICE), 0);
    EXPECT_EQ(audio_state(), AUDIO_STOPPED);
    ASSERT_EQ(audio_play(track), 0);
    EXPECT_EQ(audio_state(), AUDIO_PLAYING);
    // Before any block sounds the position stays at the start, whatever
    // the clock says.
    EXPECT_LT(audio_position(), 44100 * 4 / 10);
    // The position advances, in whole frames, never backwards.
    int64_t last = 0;
    int positions = 0;
    bool in_order = true;
    ASSERT_TRUE(wait_for_device([&] {
        int64_t pos = audio_position();
        in_order = in_order && pos >= last && pos % AUDIO_FRAME_BYTES == 0;
        positions += pos != last;
        last = pos;
        return pos > 44100 * 4 / 10;
    })) << "the position never passed 0.1 s";
    EXPECT_TRUE(in_order);
    // Paused, it stands still while the clock runs on; resumed, it goes on.
    audio_pause(1);
    EXPECT_EQ(audio_state(), AUDIO_PAUSED);
    int64_t held = audio_position();
    hand_ticks += counter_frequency();
    EXPECT_EQ(audio_position(), held);
    audio_pause(0);
    EXPECT_GE(audio_position(), held);
    ASSERT_TRUE(wait_for_device([&] {
        int64_t pos = audio_position();
        in_order = in_order && pos >= last;
        positions += pos != last;
        last = pos;
        return audio_state() == AUDIO_STOPPED;
    })) << "the track never ended";
    EXPECT_TRUE(in_order);
    EXPECT_GT(positions, 2); // positions were seen advancing in between
    EXPECT_EQ(audio_position(), audio_track_bytes(track));
    // A seek moves the position; past the end the track is over.
    ASSERT_EQ(audio_play(track), 0);
    audio_set_position(44100 * 4 / 5);
    EXPECT_GE(audio_position(), 44100 * 4 / 5);
    audio_set_position(int64_t{1} << 40);
    EXPECT_EQ(audio_state(), AUDIO_STOPPED);
    audio_close();
    audio_track_free(track);
    SDL_Quit();
}

TEST(AudioPlayback, NothingPlaysWithoutAnOutputOrTrack)
{
    EXPECT_EQ(audio_play(nullptr), 1);
    EXPECT_EQ(audio_state(), AUDIO_STOPPED);
    EXPECT_EQ(audio_position(), 0);
    audio_pause(1);
    audio_close();
}
