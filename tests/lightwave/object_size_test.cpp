// The object reader checks a file's size and the size its header declares
// before it reads: a huge (sparse) file is refused at once with the limit as
// the reason, a header that declares more than the file holds is truncated,
// and bytes after the FORM are never read.
#include "lw_test_util.h"
#include "platform/paths.h"

#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

namespace
{

std::vector<uint8_t> triangle_object()
{
    LwoObject obj;
    LwoLayer layer;
    layer.points = {0, 0, 0, 1, 0, 0, 1, 1, 0};
    LwoPolygon triangle;
    triangle.corners = {0, 1, 2};
    layer.polygons.push_back(triangle);
    obj.layers.push_back(layer);
    return lwo_build(obj);
}

// A name as failure lines show it: with the program's '/' separators (a
// scratch path on Windows has '\\').
std::string shown(std::string path)
{
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

// Writes bytes to path and makes the file size bytes long (a hole after them).
bool write_sparse(const std::string& path, const std::vector<uint8_t>& bytes, off_t size)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    bool ok = write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) &&
              ftruncate(fd, size) == 0;
    return close(fd) == 0 && ok;
}

void put_u4(std::vector<uint8_t>& bytes, size_t at, uint32_t v)
{
    bytes[at] = static_cast<uint8_t>(v >> 24);
    bytes[at + 1] = static_cast<uint8_t>(v >> 16);
    bytes[at + 2] = static_cast<uint8_t>(v >> 8);
    bytes[at + 3] = static_cast<uint8_t>(v);
}

} // namespace

TEST(ObjectSize, AHugeFileIsRefusedBeforeItIsRead)
{
    ScratchDir dir("lw-object-size-huge");
    std::vector<uint8_t> bytes = triangle_object();
    // 3 GB, its FORM declaring all of it: what a user could drop in as terrain.lwo.
    const off_t huge = static_cast<off_t>(3) << 30;
    put_u4(bytes, 4, static_cast<uint32_t>(huge - 8));
    std::string path = dir.file("terrain.lwo");
    ASSERT_TRUE(write_sparse(path, bytes, huge));
    int32_t code = LWO_OK;
    ObjectPtr object(object_load_code(path.c_str(), &code));
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(code, LWO_NO_MEMORY);
    EXPECT_EQ(path_failure(), shown(path) + " (too large: an object file has at most 64 MiB)");
    // Just over the limit is refused too; the limit itself is not.
    ASSERT_TRUE(write_sparse(path, bytes, LWO_MAX_FILE_BYTES + 1));
    EXPECT_EQ(ObjectPtr(object_load_code(path.c_str(), &code)), nullptr);
    EXPECT_EQ(code, LWO_NO_MEMORY);
}

TEST(ObjectSize, TheDeclaredSizeIsCheckedAgainstTheFile)
{
    ScratchDir dir("lw-object-size-declared");
    std::string path = dir.file("object.lwo");
    std::vector<uint8_t> good = triangle_object();

    // A FORM that declares more than the file holds is truncated.
    std::vector<uint8_t> lying = good;
    put_u4(lying, 4, static_cast<uint32_t>(good.size()));
    ASSERT_TRUE(lwo_write_file(path, lying));
    int32_t code = LWO_OK;
    EXPECT_EQ(ObjectPtr(object_load_code(path.c_str(), &code)), nullptr);
    EXPECT_EQ(code, LWO_END_OF_FILE);
    EXPECT_EQ(path_failure(), shown(path) + " (" + object_failure_reason(LWO_END_OF_FILE) + ")");

    // Bytes after the FORM (here a large hole) are not part of the object.
    ASSERT_TRUE(write_sparse(path, good, static_cast<off_t>(good.size()) + (32 << 20)));
    ObjectPtr object(object_load_code(path.c_str(), &code));
    EXPECT_EQ(code, LWO_OK);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->points->count, 3);
}
