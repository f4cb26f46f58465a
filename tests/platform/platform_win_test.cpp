// The Windows variants of the platform layer, run under Wine: data files by
// UTF-8 names read byte for byte, devices and folders refused; the bundled
// font found beside the program, else the system's; the question answered
// No when nobody can answer; the thread clock in the counter's units.
#include "platform/counter.h"
#include "platform/font.h"
#include "platform/paths.h"
#include "platform/question.h"

#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

TEST(PathsWindows, Utf8NamesOpenInBinaryModeDevicesAndFoldersRefused)
{
    ScratchDir dir("paths_windows");
    fs::path file = dir.path / fs::u8path(u8"d\u00e5ta \u2713.bin");
    const std::string bytes("a\r\nb\x1a" "c\n", 7);
    std::ofstream(file, std::ios::binary) << bytes;
    std::string name = dir.path.string() + "/" + std::string(reinterpret_cast<const char*>(u8"d\u00e5ta \u2713.bin"));

    FILE* in = path_fopen(name.c_str(), "r"); // even "r" reads bytes
    ASSERT_NE(in, nullptr) << path_failure();
    char got[16] = {};
    size_t n = std::fread(got, 1, sizeof got, in);
    std::fclose(in);
    EXPECT_EQ(std::string(got, n), bytes);

    EXPECT_LT(path_open_data(dir.path.string().c_str()), 0);
    EXPECT_STREQ(path_failure_reason(), "a folder, not a file");
    EXPECT_LT(path_open_data("NUL"), 0);
    EXPECT_LT(path_open_data((dir.path / "missing.bin").string().c_str()), 0);
    EXPECT_NE(std::strstr(path_failure(), "missing.bin"), nullptr) << path_failure();
}

TEST(FontWindows, TheBundledFaceBesideTheProgramElseTheSystemsArial)
{
    wchar_t exe[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
    ASSERT_GT(n, 0u);
    fs::path folder = fs::path(exe).parent_path();
    fs::path fonts = folder / "fonts";
    fs::path bundled = fonts / "LiberationSans-Regular.ttf";
    bool had_fonts = fs::exists(fonts);
    if (!fs::exists(bundled)) {
        fs::create_directories(fonts);
        std::ofstream(bundled, std::ios::binary) << "stand-in face";
    }

    char path[1024];
    int32_t index = -1;
    ASSERT_TRUE(font_file("Arial", path, sizeof path, &index));
    EXPECT_EQ(fs::u8path(path), bundled);
    EXPECT_EQ(index, 0);
    char small[8];
    EXPECT_FALSE(font_file("Arial", small, sizeof small, &index));

    // Without the bundled face: the system's Arial, or nothing at all.
    fs::path aside = folder / "fonts-aside";
    fs::remove_all(aside);
    fs::rename(fonts, aside);
    if (font_file("Arial", path, sizeof path, &index)) {
        std::string found = path;
        EXPECT_TRUE(found.size() > 9 && _stricmp(found.c_str() + found.size() - 9, "arial.ttf") == 0) << found;
        EXPECT_TRUE(fs::exists(fs::u8path(path)));
    }
    fs::rename(aside, fonts);
    if (!had_fonts)
        fs::remove_all(fonts);
}

TEST(QuestionWindows, InputFromAFileMeansNobodyToAskSoNo)
{
    if (_isatty(_fileno(stdin)))
        GTEST_SKIP() << "standard input is a console: the question would be asked";
    EXPECT_EQ(question_yes_no("Tolvenari", "Fullscreen?"), QUESTION_NO);
}

TEST(CounterWindows, ThreadTimeIsInCounterTicksAndNeverAheadOfTheClock)
{
    // A thread that spins for 200 ms of the steady clock has used at most
    // that much processor time (plus one scheduler tick of slack), and some.
    const int64_t tick = counter_frequency() / 64; // 15.6 ms, the longest usual tick
    int64_t cpu0 = counter_thread_time();
    int64_t wall0 = counter_now();
    while (counter_now() - wall0 < counter_frequency() / 5) {
    }
    int64_t wall = counter_now() - wall0;
    int64_t cpu = counter_thread_time() - cpu0;
    EXPECT_GT(cpu, 0);
    EXPECT_LE(cpu, wall + tick) << "processor " << cpu << " against clock " << wall;
}
