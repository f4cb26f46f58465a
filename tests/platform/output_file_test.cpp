// Output files: a new file appears only when complete and with the usual
// permissions; links are followed to the file they name but a link planted
// in the folder is never written through; FIFOs and devices are written
// directly, folders refused, a full device reports "no space".
#include "platform/output_file.h"

#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace
{

std::string slurp(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Writes text to name through an output file: 0 or the error number.
int write_text(const std::string& name, const std::string& text)
{
    OutputFile file;
    int error = output_file_open(name.c_str(), &file);
    if (error != 0)
        return error;
    std::fputs(text.c_str(), file.stream);
    return output_file_close(&file, true);
}

size_t entries(const fs::path& dir)
{
    size_t n = 0;
    for (auto it = fs::directory_iterator(dir); it != fs::directory_iterator(); ++it)
        n++;
    return n;
}

} // namespace

TEST(OutputFile, NewFileAppearsWholeWithUsualPermissionsAndNothingElse)
{
    ScratchDir dir("output-new");
    std::string name = dir.file("a.txt");
    OutputFile file;
    ASSERT_EQ(output_file_open(name.c_str(), &file), 0);
    std::fputs("first", file.stream);
    std::fflush(file.stream);
    EXPECT_FALSE(fs::exists(name)) << "visible before it is complete";
    EXPECT_EQ(fs::path(file.temp).parent_path(), dir.path);
    ASSERT_EQ(output_file_close(&file, true), 0);
    EXPECT_EQ(slurp(name), "first");
    mode_t mask = umask(022);
    umask(mask);
    struct stat st;
    ASSERT_EQ(stat(name.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
    // Replacing keeps the file's own permissions; a discarded write changes nothing.
    chmod(name.c_str(), 0600);
    ASSERT_EQ(write_text(name, "second"), 0);
    ASSERT_EQ(stat(name.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(output_file_open(name.c_str(), &file), 0);
    std::fputs("third", file.stream);
    EXPECT_EQ(output_file_close(&file, false), 0);
    EXPECT_EQ(slurp(name), "second");
    EXPECT_EQ(entries(dir.path), 1u);
}

TEST(OutputFile, LinksLeadToTheirFileAndPlantedLinksAreNotFollowed)
{
    ScratchDir dir("output-links");
    fs::create_directories(dir.path / "real");
    std::ofstream(dir.path / "real" / "target.txt") << "old";
    std::ofstream(dir.path / "victim.txt") << "victim";
    // A link given as the name: the file it names is replaced, the link stays.
    fs::create_symlink(dir.path / "real" / "target.txt", dir.path / "link.txt");
    ASSERT_EQ(write_text(dir.file("link.txt"), "new"), 0);
    EXPECT_TRUE(fs::is_symlink(dir.path / "link.txt"));
    EXPECT_EQ(slurp(dir.path / "real" / "target.txt"), "new");
    EXPECT_EQ(entries(dir.path / "real"), 1u);
    // Links planted where a predictable temporary name would be are ignored.
    fs::create_symlink(dir.path / "victim.txt", dir.path / "out.txt.part");
    fs::create_symlink(dir.path / "victim.txt", dir.path / ".out.txt.part");
    ASSERT_EQ(write_text(dir.file("out.txt"), "output"), 0);
    EXPECT_EQ(slurp(dir.path / "victim.txt"), "victim");
    EXPECT_EQ(slurp(dir.path / "out.txt"), "output");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir.path / "out.txt")));
    // A link that leads nowhere is neither replaced nor written through.
    fs::create_symlink(dir.path / "nowhere" / "x.txt", dir.path / "dangling.txt");
    EXPECT_EQ(write_text(dir.file("dangling.txt"), "x"), ENOENT);
    EXPECT_TRUE(fs::is_symlink(dir.path / "dangling.txt"));
}

TEST(OutputFile, FifosAndDevicesAreWrittenDirectlyFoldersRefused)
{
    ScratchDir dir("output-special");
    std::string fifo = dir.file("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] { received = slurp(fifo); });
    EXPECT_EQ(write_text(fifo, "through the pipe"), 0);
    reader.join();
    EXPECT_EQ(received, "through the pipe");
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_EQ(entries(dir.path), 1u);

    fs::create_directories(dir.path / "folder");
    std::ofstream(dir.path / "folder" / "inside") << "kept";
    EXPECT_EQ(write_text(dir.file("folder"), "x"), EISDIR);
    EXPECT_EQ(slurp(dir.path / "folder" / "inside"), "kept");

    std::string full = dir.file("full");
    if (make_full_device(full)) {
        // More than stdio's buffer fails in a write, less when closing.
        EXPECT_EQ(write_text(full, std::string(100000, 'x')), ENOSPC);
        EXPECT_EQ(write_text(full, "short"), ENOSPC);
        EXPECT_TRUE(fs::is_character_file(full));
        EXPECT_EQ(entries(dir.path), 3u);
    }
    EXPECT_EQ(write_text(dir.file("missing/x.txt"), "x"), ENOENT);
}
