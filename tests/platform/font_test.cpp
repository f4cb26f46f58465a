// Font files by face name: Arial resolves to an installed file FreeType can
// open (the loading screen's captions depend on it), an unknown face still
// gets one, and a name buffer too small is refused, never overrun.
#include "platform/font.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>

extern "C" __attribute__((weak)) const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

namespace
{

bool regular_file(const char* name)
{
    struct stat st;
    return stat(name, &st) == 0 && S_ISREG(st.st_mode);
}

TEST(FontFile, ArialAndUnknownFacesResolveToInstalledFiles)
{
    char path[4096];
    int32_t index = -1;
    ASSERT_TRUE(font_file("Arial", path, sizeof path, &index));
    EXPECT_TRUE(regular_file(path)) << path;
    EXPECT_GE(index, 0);
    ASSERT_TRUE(font_file("No Such Face At All", path, sizeof path, &index));
    EXPECT_TRUE(regular_file(path)) << path;
}

TEST(FontFile, TooSmallABufferIsRefusedUntouchedPastItsEnd)
{
    char path[8];
    std::memset(path, 'x', sizeof path);
    int32_t index = 0;
    EXPECT_FALSE(font_file("Arial", path, 4, &index));
    for (int i = 4; i < 8; i++)
        EXPECT_EQ(path[i], 'x');
    EXPECT_FALSE(font_file("Arial", path, 0, &index));
}

} // namespace
