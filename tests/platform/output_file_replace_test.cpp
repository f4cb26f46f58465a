// Output files on every platform (Linux, and Windows under Wine): an existing
// file is replaced whole only when the writer keeps it, a dropped or failed
// write leaves the old file (or none) and no temporary file, two writers of
// one name never share a temporary file, the null device is written
// directly and a folder is refused.
#include "platform/output_file.h"

#include "scratch_dir.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace fs = std::filesystem;

namespace
{

std::string slurp(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void put(const fs::path& p, const std::string& text)
{
    std::ofstream(p, std::ios::binary) << text;
}

// Makes every further write to the stream fail, as a full disk would.
void break_stream(FILE* stream, const fs::path& some_file)
{
#ifdef _WIN32
    // The descriptor under the stream becomes one open for reading only.
    std::fflush(stream);
    int read_only = _open(some_file.string().c_str(), _O_RDONLY | _O_BINARY);
    ASSERT_GE(read_only, 0);
    ASSERT_EQ(_dup2(read_only, _fileno(stream)), 0);
    _close(read_only);
    std::fputs("more", stream);
    std::fflush(stream);
#else
    // Reading a stream opened only for writing sets its error flag, as a
    // failed write does.
    (void)some_file;
    std::fgetc(stream);
#endif
}

size_t entries(const fs::path& dir)
{
    size_t n = 0;
    for (auto it = fs::directory_iterator(dir); it != fs::directory_iterator(); ++it)
        n++;
    return n;
}

} // namespace

TEST(OutputFileReplace, KeptWritesReplaceDroppedOnesLeaveTheOldFile)
{
    ScratchDir dir("output_file_replace");
    fs::path target = dir.path / "frame.png";
    put(target, "old contents");

    OutputFile file;
    ASSERT_EQ(output_file_open(target.string().c_str(), &file), 0);
    ASSERT_FALSE(file.temp.empty());
    std::fputs("half", file.stream);
    EXPECT_EQ(output_file_close(&file, false), 0);
    EXPECT_EQ(slurp(target), "old contents");
    EXPECT_EQ(entries(dir.path), 1u) << "the temporary file was left behind";

    // Bytes that text mode would change (CR LF, ^Z) arrive as written.
    const std::string bytes("new\r\n\x1a\ncontents", 15);
    ASSERT_EQ(output_file_open(target.string().c_str(), &file), 0);
    std::fwrite(bytes.data(), 1, bytes.size(), file.stream);
    EXPECT_EQ(output_file_close(&file, true), 0);
    EXPECT_EQ(slurp(target), bytes);
    EXPECT_EQ(entries(dir.path), 1u);
}

TEST(OutputFileReplace, AFailedWriteLeavesNoFileAndReportsIt)
{
    ScratchDir dir("output_file_failed");
    fs::path target = dir.path / "sheet.png";
    OutputFile file;
    ASSERT_EQ(output_file_open(target.string().c_str(), &file), 0);
    std::fputs("some bytes", file.stream);
    fs::path source = fs::path(DUNRAVEL_SOURCE_DIR) / "README.md";
    break_stream(file.stream, source);
    EXPECT_NE(std::ferror(file.stream), 0);
    // Whatever happened above, the close must not publish the file.
    EXPECT_NE(output_file_close(&file, true), 0);
    EXPECT_FALSE(fs::exists(target));
    EXPECT_EQ(entries(dir.path), 0u);

    // A folder that does not exist: nothing is made anywhere.
    EXPECT_NE(output_file_open((dir.path / "missing" / "x.png").string().c_str(), &file), 0);
    EXPECT_EQ(file.stream, nullptr);
    EXPECT_EQ(entries(dir.path), 0u);
}

TEST(OutputFileReplace, TwoWritersOfOneNameHaveTheirOwnTemporaryFiles)
{
    ScratchDir dir("output_file_two_writers");
    fs::path target = dir.path / "same.png";
    OutputFile a, b;
    ASSERT_EQ(output_file_open(target.string().c_str(), &a), 0);
    ASSERT_EQ(output_file_open(target.string().c_str(), &b), 0);
    EXPECT_NE(a.temp, b.temp);
    std::fputs("first", a.stream);
    std::fputs("second", b.stream);
    EXPECT_EQ(output_file_close(&a, true), 0);
    EXPECT_EQ(output_file_close(&b, true), 0);
    EXPECT_EQ(slurp(target), "second");
    EXPECT_EQ(entries(dir.path), 1u);
}

TEST(OutputFileReplace, TheNullDeviceIsWrittenDirectlyAndFoldersRefused)
{
    OutputFile file;
    ASSERT_EQ(output_file_open(null_device(), &file), 0);
    EXPECT_TRUE(file.temp.empty());
    std::fputs("discarded", file.stream);
    EXPECT_EQ(output_file_close(&file, true), 0);

    ScratchDir dir("output_file_folder");
    EXPECT_EQ(output_file_open(dir.path.string().c_str(), &file), EISDIR);
    EXPECT_EQ(output_file_open("", &file), ENOENT);
    EXPECT_EQ(entries(dir.path), 0u);
}
