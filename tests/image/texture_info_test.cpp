// The texture-info tool: one line per file with size and FNV-1a checksum of
// the loaded pixels, "path - error" for files that do not load, exit 1.
#include "prerequisite.h"
#include "test_images.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace
{

std::string run(const std::string& command, int* status)
{
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p)
        return out;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, p))
        out += buffer;
    int rc = pclose(p);
    *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}

} // namespace

TEST(TextureInfoTool, PrintsSizeAndChecksumPerFileAndFailsOnBadOnes)
{
    std::string tool = std::string(DUNRAVEL_BINARY_DIR) + "/tools/texture-info/texture-info";
    if (!std::filesystem::exists(tool))
        SKIP_UNLESS_CI() << "texture-info is not built";
    PngImage p;
    p.width = 2;
    p.colour_type = PNG_COLOR_TYPE_RGB_ALPHA;
    p.rows = {200, 100, 50, 128, 1, 2, 3, 255};
    std::string good = scratch_path("info.png");
    ASSERT_TRUE(write_png(good, p));
    std::string bad = scratch_path("info_bad.png");
    ASSERT_TRUE(write_bytes(bad, "junk", 4));

    // Words 0x80643219 and 0xFF010203 (premultiplied by >> 8: 1*255>>8 = 0).
    uint32_t h = 2166136261u;
    for (uint32_t w :
         {0x80643219u, 0xFF000000u | (1u * 255 >> 8) << 16 | (2u * 255 >> 8) << 8 | (3u * 255 >> 8)})
        h = (h ^ w) * 16777619u;
    char want[64];
    std::snprintf(want, sizeof want, " 2 1 %08x\n", h);

    int status = -1;
    std::string out = run(tool + " " + good + " " + bad + " " + good, &status);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(out, good + want + bad + " - error\n" + good + want);
    out = run(tool + " " + good, &status);
    EXPECT_EQ(status, 0);
}
