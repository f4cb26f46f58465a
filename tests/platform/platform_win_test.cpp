// The Windows variants of the platform layer, run under Wine: data files by
// UTF-8 names read byte for byte, devices and folders refused; the bundled
// font found beside the program, else the system's; the question answered
// No when nobody can answer; the thread clock finer than scheduler ticks.
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
    fs::path fonts = fs::path(exe).parent_path() / "fonts";
    ASSERT_FALSE(fs::exists(fonts)) << "the test needs the program's folder without fonts/";
    fs::create_directories(fonts);
    std::ofstream(fonts / "LiberationSans-Regular.ttf", std::ios::binary) << "stand-in face";

    char path[1024];
    int32_t index = -1;
    ASSERT_TRUE(font_file("Arial", path, sizeof path, &index));
    EXPECT_EQ(fs::u8path(path), fonts / "LiberationSans-Regular.ttf");
    EXPECT_EQ(index, 0);
    char small[8];
    EXPECT_FALSE(font_file("Arial", small, sizeof small, &index));

    fs::remove_all(fonts);
    if (font_file("Arial", path, sizeof path, &index)) {
        std::string found = path;
        EXPECT_TRUE(found.size() > 9 && _stricmp(found.c_str() + found.size() - 9, "arial.ttf") == 0) << found;
        EXPECT_TRUE(fs::exists(fs::u8path(path)));
    }
}

TEST(QuestionWindows, InputFromAFileMeansNobodyToAskSoNo)
{
    if (_isatty(_fileno(stdin)))
        GTEST_SKIP() << "standard input is a console: the question would be asked";
    EXPECT_EQ(question_yes_no("Tolvenari", "Fullscreen?"), QUESTION_NO);
}

TEST(CounterWindows, ThreadTimeStepsFinerThanSchedulerTicks)
{
    // Spin until the thread's clock moves twice; the second step is a
    // whole step of its resolution. Scheduler ticks are 10 ms or more.
    int64_t t0 = counter_thread_time();
    int64_t t1 = t0;
    while (t1 == t0)
        t1 = counter_thread_time();
    int64_t t2 = t1;
    while (t2 == t1)
        t2 = counter_thread_time();
    EXPECT_LT(t2 - t1, counter_frequency() / 200) << "steps of " << (t2 - t1) << " ticks";
}
