// Texture records, mip chains and the JPEG and PNG loaders, on files the
// tests write themselves (every colour type, bit depth, interlacing, and a
// corpus of broken files).
#include "image/image.h"
#include "texture_ptr.h"
#include "platform/paths.h"
#include "test_images.h"

#include <gtest/gtest.h>
#include <png.h>

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <utility>

namespace
{

uint32_t px(const Texture* t, int x, int y)
{
    return t->pixels[y * t->width + x];
}

PngImage rgba_png(int w, int h, const std::vector<uint8_t>& rgba)
{
    PngImage p;
    p.width = w;
    p.height = h;
    p.colour_type = PNG_COLOR_TYPE_RGB_ALPHA;
    p.rows = rgba;
    return p;
}

TexturePtr load_png(const std::string& name, const PngImage& image)
{
    std::string path = scratch_path(name);
    EXPECT_TRUE(write_png(path, image));
    return TexturePtr(texture_load_png(path.c_str(), 0));
}

} // namespace

TEST(FloorLog2, IsTheIndexOfTheHighestSetBit)
{
    EXPECT_EQ(floor_log2(0), 0);
    EXPECT_EQ(floor_log2(1), 0);
    EXPECT_EQ(floor_log2(2), 1);
    EXPECT_EQ(floor_log2(3), 1);
    EXPECT_EQ(floor_log2(480), 8);
    EXPECT_EQ(floor_log2(640), 9);
    EXPECT_EQ(floor_log2(0x80000000u), 31);
    EXPECT_EQ(floor_log2(0xFFFFFFFFu), 31);
}

TEST(TextureCreate, SetsMasksLogsAndZeroedPixelsBehindTheRecord)
{
    TexturePtr t(texture_create(640, 480));
    ASSERT_TRUE(t);
    EXPECT_EQ(t->width_log2, 9);
    EXPECT_EQ(t->width_mask, 511);
    EXPECT_EQ(t->height_log2, 8);
    EXPECT_EQ(t->height_mask, 255);
    EXPECT_EQ(t->level_count, 0);
    EXPECT_EQ(static_cast<void*>(t->pixels), static_cast<void*>(t.get() + 1));
    for (int i = 0; i < 640 * 480; i++)
        ASSERT_EQ(t->pixels[i], 0u);
}

TEST(TextureCreate, RefusesEmptyNegativeAndOversizedSides)
{
    EXPECT_EQ(texture_create(0, 10), nullptr);
    EXPECT_EQ(texture_create(10, -1), nullptr);
    EXPECT_EQ(texture_create(TEXTURE_MAX_SIDE + 1, 1), nullptr);
    EXPECT_EQ(texture_create(INT32_MAX, INT32_MAX), nullptr);
    EXPECT_EQ(texture_create(65536, 65536), nullptr); // 2^32 pixels would wrap a 32-bit product
    testing::internal::CaptureStdout();
    EXPECT_EQ(texture_create_mipmapped(65536, 65536), nullptr);
    EXPECT_EQ(texture_create_mipmapped(0, 0), nullptr);
    testing::internal::GetCapturedStdout();
    texture_free(nullptr);
}

TEST(TextureMipmapped, NonSquareGetsLevelsOfTheShorterSideButCannotBuildThem)
{
    TexturePtr t(texture_create_mipmapped(256, 128));
    ASSERT_TRUE(t);
    EXPECT_EQ(t->level_count, 8);
    EXPECT_EQ(t->levels[0], t->pixels);
    // Level 1 follows the base image; each further level follows the previous.
    EXPECT_EQ(t->levels[1], t->pixels + 256 * 128);
    for (int k = 2; k < 8; k++)
        EXPECT_EQ(t->levels[k], t->levels[k - 1] + (128 >> (k - 1)) * (128 >> (k - 1)));
    EXPECT_EQ(t->levels[8], nullptr);
    EXPECT_EQ(texture_build_mips(t.get()), 1);
}

TEST(TextureMipmapped, RefusesSidesThatAreNotPowersOfTwoWithTheMessage)
{
    testing::internal::CaptureStdout();
    EXPECT_EQ(texture_create_mipmapped(48, 64), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "texture dimensions must be POW2 (48 x 64\n");
}

TEST(TextureMipmapped, LargeTexturesStopAtElevenLevels)
{
    TexturePtr t(texture_create_mipmapped(2048, 2048));
    ASSERT_TRUE(t);
    EXPECT_EQ(t->level_count, 11);
    EXPECT_NE(t->levels[10], nullptr);
    EXPECT_EQ(t->levels[11], nullptr);
    TexturePtr one(texture_create_mipmapped(1, 1));
    ASSERT_TRUE(one);
    EXPECT_EQ(one->level_count, 1);
    EXPECT_EQ(texture_build_mips(one.get()), 0);
    TexturePtr plain(texture_create(4, 4));
    EXPECT_EQ(texture_build_mips(plain.get()), 1);
    EXPECT_EQ(texture_build_mips(nullptr), 1);
}

TEST(TextureMipmapped, BuildMipsAveragesEveryChannelTruncating)
{
    TexturePtr t(texture_create_mipmapped(4, 4));
    ASSERT_TRUE(t);
    uint32_t seed = 7;
    for (int i = 0; i < 16; i++) {
        seed = seed * 1664525u + 1013904223u;
        t->pixels[i] = seed;
    }
    ASSERT_EQ(texture_build_mips(t.get()), 0);
    ASSERT_EQ(t->level_count, 3);
    auto box = [](const uint32_t* src, int a, int x, int y) {
        uint32_t out = 0;
        for (int k = 0; k < 32; k += 8) {
            uint32_t s = 0;
            for (int dy = 0; dy < 2; dy++)
                for (int dx = 0; dx < 2; dx++)
                    s += (src[(2 * y + dy) * a + 2 * x + dx] >> k) & 0xFF;
            out |= (s / 4) << k;
        }
        return out;
    };
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 2; x++)
            EXPECT_EQ(t->levels[1][y * 2 + x], box(t->levels[0], 4, x, y));
    EXPECT_EQ(t->levels[2][0], box(t->levels[1], 2, 0, 0));
}

TEST(PngLoader, OnePixelImageHasZeroLogAndMask)
{
    PngImage p;
    p.rows = {1, 2, 3};
    TexturePtr t = load_png("one.png", p);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->width, 1);
    EXPECT_EQ(t->width_log2, 0);
    EXPECT_EQ(t->width_mask, 0);
    EXPECT_EQ(t->level_count, 0);
    EXPECT_EQ(px(t.get(), 0, 0), 0xFF010203u);
}

TEST(PngLoader, PremultipliesAlphaByShiftingRightEight)
{
    TexturePtr t = load_png(
        "rgba.png", rgba_png(4, 1, {200, 100, 50, 128, 255, 255, 255, 255, 77, 66, 55, 0, 255, 0, 10, 1}));
    ASSERT_TRUE(t);
    EXPECT_EQ(px(t.get(), 0, 0), 0x80643219u);
    EXPECT_EQ(px(t.get(), 1, 0), 0xFFFEFEFEu); // opaque white loses one step
    EXPECT_EQ(px(t.get(), 2, 0), 0x00000000u); // fully transparent, whatever the colour
    EXPECT_EQ(px(t.get(), 3, 0), 0x01000000u);
}

TEST(PngLoader, PaletteLoadsOpaqueWithoutTrnsAndPremultipliedWithIt)
{
    PngImage p;
    p.width = 3;
    p.colour_type = PNG_COLOR_TYPE_PALETTE;
    p.palette = {10, 20, 30, 200, 100, 50, 255, 255, 255};
    p.rows = {0, 1, 2};
    TexturePtr opaque = load_png("palette.png", p);
    ASSERT_TRUE(opaque);
    EXPECT_EQ(px(opaque.get(), 0, 0), 0xFF0A141Eu);
    EXPECT_EQ(px(opaque.get(), 1, 0), 0xFFC86432u);
    EXPECT_EQ(px(opaque.get(), 2, 0), 0xFFFFFFFFu); // three channels: no premultiplication

    p.trns = {0, 128}; // entry 2 has no alpha entry: opaque
    TexturePtr keyed = load_png("palette_trns.png", p);
    ASSERT_TRUE(keyed);
    EXPECT_EQ(px(keyed.get(), 0, 0), 0x00000000u);
    EXPECT_EQ(px(keyed.get(), 1, 0), 0x80643219u);
    EXPECT_EQ(px(keyed.get(), 2, 0), 0xFFFEFEFEu); // four channels now
}

TEST(PngLoader, LowDepthPaletteAndGreyExpand)
{
    PngImage p;
    p.width = 8;
    p.bit_depth = 2;
    p.colour_type = PNG_COLOR_TYPE_PALETTE;
    p.palette = {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};
    p.rows = {0x1B, 0xE4}; // indices 0 1 2 3 3 2 1 0
    TexturePtr pal = load_png("palette2.png", p);
    ASSERT_TRUE(pal);
    const uint32_t want[8] = {0xFF000000, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF,
                              0xFF0000FF, 0xFF00FF00, 0xFFFF0000, 0xFF000000};
    for (int x = 0; x < 8; x++)
        EXPECT_EQ(px(pal.get(), x, 0), want[x]) << x;

    PngImage g;
    g.width = 8;
    g.bit_depth = 1;
    g.colour_type = PNG_COLOR_TYPE_GRAY;
    g.rows = {0xA0};
    TexturePtr grey1 = load_png("grey1.png", g);
    ASSERT_TRUE(grey1);
    EXPECT_EQ(px(grey1.get(), 0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(px(grey1.get(), 1, 0), 0xFF000000u);
    EXPECT_EQ(px(grey1.get(), 2, 0), 0xFFFFFFFFu);
}

TEST(PngLoader, GreyGreyAlphaAndGreyKeyBecomeRgb)
{
    PngImage g;
    g.width = 2;
    g.colour_type = PNG_COLOR_TYPE_GRAY;
    g.rows = {0x40, 0xC0};
    TexturePtr grey = load_png("grey.png", g);
    ASSERT_TRUE(grey);
    EXPECT_EQ(px(grey.get(), 0, 0), 0xFF404040u);
    EXPECT_EQ(px(grey.get(), 1, 0), 0xFFC0C0C0u);

    g.trns = {0x00, 0x40}; // grey 0x40 is transparent
    TexturePtr keyed = load_png("grey_trns.png", g);
    ASSERT_TRUE(keyed);
    EXPECT_EQ(px(keyed.get(), 0, 0), 0x00000000u);
    EXPECT_EQ(px(keyed.get(), 1, 0), 0xFFBFBFBFu); // 0xC0 * 255 >> 8

    PngImage ga;
    ga.width = 1;
    ga.colour_type = PNG_COLOR_TYPE_GRAY_ALPHA;
    ga.rows = {200, 128};
    TexturePtr grey_alpha = load_png("grey_alpha.png", ga);
    ASSERT_TRUE(grey_alpha);
    EXPECT_EQ(px(grey_alpha.get(), 0, 0), 0x80646464u);
}

TEST(PngLoader, SixteenBitSamplesKeepTheirHighBytes)
{
    PngImage p;
    p.width = 2;
    p.bit_depth = 16;
    p.colour_type = PNG_COLOR_TYPE_RGB_ALPHA;
    p.rows = {0x12, 0xFF, 0x34, 0x01, 0x56, 0x80, 0xFF, 0xFF, 0xC8, 0x00, 0x64, 0xFF, 0x32, 0x7F, 0x80, 0x00};
    TexturePtr t = load_png("rgba16.png", p);
    ASSERT_TRUE(t);
    EXPECT_EQ(px(t.get(), 0, 0), 0xFF113355u);
    EXPECT_EQ(px(t.get(), 1, 0), 0x80643219u);

    PngImage g;
    g.width = 1;
    g.bit_depth = 16;
    g.colour_type = PNG_COLOR_TYPE_GRAY;
    g.rows = {0xAB, 0xCD};
    TexturePtr grey = load_png("grey16.png", g);
    ASSERT_TRUE(grey);
    EXPECT_EQ(px(grey.get(), 0, 0), 0xFFABABABu);
}

TEST(PngLoader, InterlacedImagesAreDeinterlaced)
{
    PngImage p;
    p.width = 13;
    p.height = 11;
    p.colour_type = PNG_COLOR_TYPE_RGB_ALPHA;
    uint32_t seed = 99;
    for (int i = 0; i < 13 * 11 * 4; i++) {
        seed = seed * 1664525u + 1013904223u;
        p.rows.push_back(static_cast<uint8_t>(seed >> 24));
    }
    TexturePtr plain = load_png("plain.png", p);
    p.interlaced = true;
    TexturePtr laced = load_png("laced.png", p);
    ASSERT_TRUE(plain);
    ASSERT_TRUE(laced);
    for (int i = 0; i < 13 * 11; i++) {
        const uint8_t* s = &p.rows[i * 4];
        uint32_t a = s[3];
        uint32_t want = a << 24 | (s[0] * a >> 8) << 16 | (s[1] * a >> 8) << 8 | (s[2] * a >> 8);
        ASSERT_EQ(plain->pixels[i], want) << i;
        ASSERT_EQ(laced->pixels[i], want) << i;
    }
}

TEST(PngLoader, BuildsMipsOnRequestAndReportsNonSquareImages)
{
    PngImage p;
    p.width = 4;
    p.height = 2;
    p.rows.assign(4 * 2 * 3, 0x80);
    std::string path = scratch_path("wide.png");
    ASSERT_TRUE(write_png(path, p));
    testing::internal::CaptureStdout();
    TexturePtr t(texture_load_png(path.c_str(), 1));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "unable to build mipmaps for \"" + path + "\"\n");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->level_count, 2);

    p.width = 3;
    ASSERT_TRUE(write_png(path, p));
    testing::internal::CaptureStdout();
    EXPECT_EQ(texture_load_png(path.c_str(), 1), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "texture dimensions must be POW2 (3 x 2\n");
}

TEST(PngLoader, RefusesBrokenFilesQuietly)
{
    PngImage p;
    p.width = 64;
    p.height = 64;
    p.colour_type = PNG_COLOR_TYPE_RGB;
    for (int i = 0; i < 64 * 64 * 3; i++)
        p.rows.push_back(static_cast<uint8_t>(i * 7 + i / 191));
    std::string good = scratch_path("good.png");
    ASSERT_TRUE(write_png(good, p));
    std::vector<uint8_t> bytes = read_bytes(good);

    std::string truncated = scratch_path("truncated.png");
    ASSERT_TRUE(write_bytes(truncated, bytes.data(), bytes.size() / 2));
    std::string empty = scratch_path("empty.png");
    ASSERT_TRUE(write_bytes(empty, "", 0));
    std::string text = scratch_path("text.png");
    const char words[] = "this is not an image\n";
    ASSERT_TRUE(write_bytes(text, words, sizeof words - 1));
    std::vector<uint8_t> corrupt = bytes;
    corrupt[bytes.size() / 2] ^= 0x55; // breaks the IDAT checksum
    std::string damaged = scratch_path("damaged.png");
    ASSERT_TRUE(write_bytes(damaged, corrupt.data(), corrupt.size()));

    PngImage wide;
    wide.width = TEXTURE_MAX_SIDE + 1;
    wide.colour_type = PNG_COLOR_TYPE_GRAY;
    wide.rows.assign(wide.width, 0);
    std::string oversized = scratch_path("oversized.png");
    ASSERT_TRUE(write_png(oversized, wide));

    // Quiet, but each failure is recorded with the file and the reason.
    std::string folder = scratch_path("folder.png");
    std::filesystem::create_directories(folder);
    std::string fifo = scratch_path("fifo.png");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::pair<std::string, std::string> refused[] = {
        {truncated, "truncated PNG file"},
        {empty, "not a PNG file"},
        {text, "not a PNG file"},
        {damaged, "damaged PNG data: "},
        {oversized, "too large: more than 16384 pixels a side"},
        {scratch_path("missing.png"), "No such file or directory"},
        {folder, "a folder, not a file"},
        {fifo, "not a regular file"}};
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    for (const auto& [path, reason] : refused) {
        EXPECT_EQ(texture_load_png(path.c_str(), 0), nullptr) << path;
        EXPECT_EQ(std::string(path_failure()).rfind(path + " (" + reason, 0), 0u) << path_failure();
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    Texture* t = texture_load_png(good.c_str(), 0);
    EXPECT_NE(t, nullptr);
    texture_free(t);
}

TEST(PngLoader, OpensProgramStyleNamesWithBackslashes)
{
    PngImage p;
    p.rows = {9, 8, 7};
    ASSERT_TRUE(write_png(scratch_path("slash.png"), p));
    std::string name = scratch_dir() + "\\slash.png";
    TexturePtr t(texture_load_png(name.c_str(), 0));
    ASSERT_TRUE(t);
    EXPECT_EQ(px(t.get(), 0, 0), 0xFF090807u);
}

namespace
{

std::vector<uint8_t> flat_rgb(int w, int h, uint8_t r, uint8_t g, uint8_t b)
{
    std::vector<uint8_t> s;
    for (int i = 0; i < w * h; i++) {
        s.push_back(r);
        s.push_back(g);
        s.push_back(b);
    }
    return s;
}

} // namespace

TEST(JpegLoader, DecodesColourImagesOpaque)
{
    std::string path = scratch_path("flat.jpg");
    ASSERT_TRUE(write_jpeg(path, 24, 16, 3, flat_rgb(24, 16, 200, 100, 50)));
    TexturePtr t(texture_load_jpeg(path.c_str(), 0));
    ASSERT_TRUE(t);
    EXPECT_EQ(t->width, 24);
    EXPECT_EQ(t->height, 16);
    EXPECT_EQ(t->level_count, 0);
    for (int i = 0; i < 24 * 16; i++) {
        uint32_t p = t->pixels[i];
        ASSERT_EQ(p >> 24, 0xFFu);
        EXPECT_NEAR(static_cast<int>((p >> 16) & 0xFF), 200, 2);
        EXPECT_NEAR(static_cast<int>((p >> 8) & 0xFF), 100, 2);
        EXPECT_NEAR(static_cast<int>(p & 0xFF), 50, 2);
    }
}

TEST(JpegLoader, BuildsMipsOnRequest)
{
    std::string square = scratch_path("square.jpg");
    std::vector<uint8_t> s;
    for (int i = 0; i < 32 * 32; i++) {
        s.push_back(static_cast<uint8_t>(i));
        s.push_back(static_cast<uint8_t>(i / 4));
        s.push_back(static_cast<uint8_t>(255 - i / 8));
    }
    ASSERT_TRUE(write_jpeg(square, 32, 32, 3, s));
    TexturePtr t(texture_load_jpeg(square.c_str(), 1));
    ASSERT_TRUE(t);
    ASSERT_EQ(t->level_count, 6);
    uint32_t p0 = t->pixels[0], p1 = t->pixels[1], p2 = t->pixels[32], p3 = t->pixels[33];
    uint32_t green = (((p0 >> 8) & 0xFF) + ((p1 >> 8) & 0xFF) + ((p2 >> 8) & 0xFF) + ((p3 >> 8) & 0xFF)) >> 2;
    EXPECT_EQ((t->levels[1][0] >> 8) & 0xFF, green);
    EXPECT_EQ(t->levels[5][0] >> 24, 0xFFu);

    std::string wide = scratch_path("wide.jpg");
    ASSERT_TRUE(write_jpeg(wide, 16, 8, 3, flat_rgb(16, 8, 1, 2, 3)));
    testing::internal::CaptureStdout();
    TexturePtr w(texture_load_jpeg(wide.c_str(), 1));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "unable to build mipmaps for \"" + wide + "\"\n");
    ASSERT_TRUE(w);
    EXPECT_EQ(w->level_count, 4);
}

TEST(JpegLoader, RefusesGreyCmykTruncatedAndNonJpegFilesQuietly)
{
    std::string grey = scratch_path("grey.jpg");
    ASSERT_TRUE(write_jpeg(grey, 8, 8, 1, std::vector<uint8_t>(64, 128)));
    std::string cmyk = scratch_path("cmyk.jpg");
    ASSERT_TRUE(write_jpeg(cmyk, 8, 8, 4, std::vector<uint8_t>(256, 60)));

    std::vector<uint8_t> s;
    for (int i = 0; i < 64 * 64; i++) {
        s.push_back(static_cast<uint8_t>(i * 13));
        s.push_back(static_cast<uint8_t>(i * 7));
        s.push_back(static_cast<uint8_t>(i / 16));
    }
    std::string good = scratch_path("noisy.jpg");
    ASSERT_TRUE(write_jpeg(good, 64, 64, 3, s));
    std::vector<uint8_t> bytes = read_bytes(good);
    std::string truncated = scratch_path("truncated.jpg");
    ASSERT_TRUE(write_bytes(truncated, bytes.data(), bytes.size() * 2 / 3));
    std::string header_only = scratch_path("header_only.jpg");
    ASSERT_TRUE(write_bytes(header_only, bytes.data(), 20));
    std::string empty = scratch_path("empty.jpg");
    ASSERT_TRUE(write_bytes(empty, "", 0));
    std::string png = scratch_path("really_png.jpg");
    PngImage p;
    p.rows = {1, 2, 3};
    ASSERT_TRUE(write_png(png, p));

    const std::pair<std::string, std::string> refused[] = {
        {grey, "not a colour (three-component) JPEG"},
        {cmyk, "not a colour (three-component) JPEG"},
        {truncated, "truncated JPEG file"},
        {header_only, "truncated JPEG file"},
        {empty, "truncated JPEG file"},
        {png, "not a JPEG file"},
        {scratch_path("missing.jpg"), "No such file or directory"}};
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    for (const auto& [path, reason] : refused) {
        EXPECT_EQ(texture_load_jpeg(path.c_str(), 0), nullptr) << path;
        EXPECT_EQ(path_failure(), path + " (" + reason + ")") << path;
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    TexturePtr t(texture_load_jpeg(good.c_str(), 0));
    EXPECT_TRUE(t);
}

TEST(JpegLoader, RefusesOversizedFramesBeforeAllocating)
{
    std::string path = scratch_path("small.jpg");
    ASSERT_TRUE(write_jpeg(path, 16, 16, 3, flat_rgb(16, 16, 9, 9, 9)));
    std::vector<uint8_t> bytes = read_bytes(path);
    size_t sof = 0;
    for (size_t i = 0; i + 9 < bytes.size(); i++)
        if (bytes[i] == 0xFF && (bytes[i + 1] == 0xC0 || bytes[i + 1] == 0xC2)) {
            sof = i;
            break;
        }
    ASSERT_NE(sof, 0u);
    bytes[sof + 5] = 0xEA; // height 60000
    bytes[sof + 6] = 0x60;
    bytes[sof + 7] = 0xEA; // width 60000
    bytes[sof + 8] = 0x60;
    std::string huge = scratch_path("huge.jpg");
    ASSERT_TRUE(write_bytes(huge, bytes.data(), bytes.size()));
    EXPECT_EQ(texture_load_jpeg(huge.c_str(), 0), nullptr);
}

// Damaged copies of valid files: every load either fails or yields a
// texture of the declared size; nothing reads or writes out of bounds (the
// sanitizer build checks) and nothing is printed.
TEST(Loaders, SurviveRandomlyDamagedFiles)
{
    PngImage p;
    p.width = 23;
    p.height = 17;
    p.colour_type = PNG_COLOR_TYPE_PALETTE;
    for (int i = 0; i < 16 * 3; i++)
        p.palette.push_back(static_cast<uint8_t>(i * 5));
    p.trns = {0, 50, 100};
    for (int i = 0; i < 23 * 17; i++)
        p.rows.push_back(static_cast<uint8_t>(i % 16));
    p.interlaced = true;
    std::string png_path = scratch_path("fuzz_src.png");
    ASSERT_TRUE(write_png(png_path, p));
    std::string jpg_path = scratch_path("fuzz_src.jpg");
    ASSERT_TRUE(write_jpeg(jpg_path, 40, 24, 3, flat_rgb(40, 24, 30, 60, 90)));

    uint32_t seed = 2024;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    testing::internal::CaptureStdout();
    for (const std::string& source : {png_path, jpg_path}) {
        std::vector<uint8_t> original = read_bytes(source);
        bool is_png = source.ends_with(".png");
        for (int round = 0; round < 150; round++) {
            std::vector<uint8_t> bytes = original;
            int edits = 1 + static_cast<int>(next() % 4);
            for (int e = 0; e < edits; e++)
                bytes[next() % bytes.size()] = static_cast<uint8_t>(next());
            if (round % 5 == 0)
                bytes.resize(next() % bytes.size());
            std::string path = scratch_path(is_png ? "fuzz.png" : "fuzz.jpg");
            ASSERT_TRUE(write_bytes(path, bytes.data(), bytes.size()));
            Texture* t = is_png ? texture_load_png(path.c_str(), 0) : texture_load_jpeg(path.c_str(), 0);
            if (t) {
                EXPECT_GT(t->width, 0);
                EXPECT_LE(t->width, TEXTURE_MAX_SIDE);
                texture_free(t);
            }
        }
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}
