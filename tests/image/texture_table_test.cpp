// The shared texture table on a data folder the test writes: load order and
// file kinds, the generated ramp, and a missing file releasing everything
// loaded before it with one line naming the file.
#include "image/image.h"
#include "platform/paths.h"
#include "test_images.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace
{

// data/ with every table file; entry i is (i + 1) x 2 pixels so the order shows.
class TextureTable : public testing::Test
{
  protected:
    void SetUp() override
    {
        data = scratch_path("table_data");
        std::filesystem::create_directories(data);
        for (int i = 0; i < 44; i++) {
            std::string name = texture_table_path(i);
            ASSERT_EQ(name.rfind("data\\", 0), 0u) << name;
            std::string file = data + "/" + name.substr(5);
            int w = i + 1;
            if (name.find(".png") != std::string::npos) {
                PngImage p;
                p.width = w;
                p.height = 2;
                p.rows.assign(w * 2 * 3, static_cast<uint8_t>(i));
                ASSERT_TRUE(write_png(file, p));
            } else {
                ASSERT_TRUE(write_jpeg(file, w, 2, 3, std::vector<uint8_t>(w * 2 * 3, 128)));
            }
        }
        paths_set_data_dir(data.c_str());
    }
    void TearDown() override
    {
        texture_table_free();
        paths_set_data_dir(nullptr);
    }
    std::string data;
};

} // namespace

TEST_F(TextureTable, LoadsEveryFileInOrderAndTheCosineRamp)
{
    testing::internal::CaptureStderr();
    ASSERT_EQ(texture_table_load(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    for (int i = 0; i < 44; i++) {
        ASSERT_NE(texture_get(i), nullptr) << i;
        EXPECT_EQ(texture_get(i)->width, i + 1) << i;
        EXPECT_EQ(texture_get(i)->level_count, 0);
    }
    EXPECT_EQ(texture_get(13)->pixels[0], 0xFF0D0D0Du); // a PNG row: grey 13
    const Texture* ramp = texture_get(44);
    ASSERT_NE(ramp, nullptr);
    ASSERT_EQ(ramp->width, 256);
    ASSERT_EQ(ramp->height, 256);
    EXPECT_EQ(ramp->pixels[0], 0x00000000u);
    EXPECT_EQ(ramp->pixels[255], 0x00FE0000u);
    EXPECT_EQ(ramp->pixels[255 * 256], 0x0000FF00u);
    EXPECT_EQ((ramp->pixels[10 * 256 + 128] >> 16) & 0xFF, 127u);
    for (int x = 1; x < 256; x++)
        ASSERT_GE(ramp->pixels[x], ramp->pixels[x - 1]); // red rises along the row

    texture_table_free();
    for (int i = 0; i < TEXTURE_TABLE_SIZE; i++)
        EXPECT_EQ(texture_get(i), nullptr) << i;
}

TEST_F(TextureTable, MissingFileFreesEarlierEntriesAndNamesTheFile)
{
    std::filesystem::remove(data + "/circle_particle.jpg"); // the 10th file
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(texture_table_load(), 1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    // The path actually opened, and why.
    EXPECT_EQ(err,
              "texture table: cannot load " + data + "/circle_particle.jpg (No such file or directory)\n");
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);
    for (int i = 0; i < TEXTURE_TABLE_SIZE; i++)
        EXPECT_EQ(texture_get(i), nullptr) << i;
}

TEST_F(TextureTable, BrokenLastFileFailsTheLoad)
{
    FILE* f = std::fopen((data + "/hand_4.png").c_str(), "wb");
    ASSERT_TRUE(f);
    std::fputs("not a png\n", f);
    std::fclose(f);
    testing::internal::CaptureStderr();
    EXPECT_EQ(texture_table_load(), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "texture table: cannot load " + data + "/hand_4.png (not a PNG file)\n");
    EXPECT_EQ(texture_get(0), nullptr);
}

TEST(TextureByExtension, PngWinsOverJpgAndOtherNamesLoadNothing)
{
    PngImage p;
    p.rows = {4, 5, 6};
    std::string both = scratch_path("picture.jpg.png");
    ASSERT_TRUE(write_png(both, p));
    std::string png_then_jpg = scratch_path("picture.png.jpg");
    ASSERT_TRUE(write_png(png_then_jpg, p));
    std::string other = scratch_path("picture.bmp");
    ASSERT_TRUE(write_png(other, p));

    Texture* a = texture_load_by_extension(both.c_str());
    Texture* b = texture_load_by_extension(png_then_jpg.c_str());
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr); // contains ".png": read as PNG although it ends in .jpg
    EXPECT_EQ(b->pixels[0], 0xFF040506u);
    EXPECT_EQ(texture_load_by_extension(other.c_str()), nullptr);
    texture_free(a);
    texture_free(b);
    EXPECT_EQ(texture_table_path(44), nullptr);
    EXPECT_EQ(texture_table_path(-1), nullptr);
    EXPECT_STREQ(texture_table_path(17), "data\\group_of_people.png");
}
