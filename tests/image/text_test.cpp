// Text images: coverage-to-colour arithmetic, clipping at every edge of the
// canvas, overwriting, empty strings and unknown or over-long face names.
#include "image/image.h"
#include "texture_ptr.h"
#include "test_images.h"

#include <gtest/gtest.h>
#include <png.h>

#include <memory>
#include <string>

namespace
{

TexturePtr make(int w, int h, uint32_t fill = 0)
{
    TexturePtr t(texture_create(w, h));
    std::fill(t->pixels, t->pixels + w * h, fill);
    return t;
}

int covered(const Texture* t)
{
    int n = 0;
    for (int i = 0; i < t->width * t->height; i++)
        n += t->pixels[i] != 0;
    return n;
}

// Saves a text image as PNG (alpha as grey) so a person can look at it.
void save_preview(const Texture* t, const std::string& name)
{
    PngImage p;
    p.width = t->width;
    p.height = t->height;
    p.colour_type = PNG_COLOR_TYPE_RGB;
    for (int i = 0; i < t->width * t->height; i++)
        for (int k = 2; k >= 0; k--)
            p.rows.push_back(static_cast<uint8_t>(t->pixels[i] >> (8 * k)));
    write_png(scratch_path(name), p);
}

} // namespace

TEST(TextImage, ColourIsScaledByCoverageWithTruncatingDivisions)
{
    TexturePtr white = make(256, 64), coloured = make(256, 64);
    text_image(white.get(), "Arial", 32, 0, 40, 0xFFFFFFFF, "Zero Polys");
    text_image(coloured.get(), "Arial", 32, 0, 40, 0xFFFF7F3F, "Zero Polys");
    save_preview(coloured.get(), "zero_polys.png");
    bool full = false, partial = false;
    for (int i = 0; i < 256 * 64; i++) {
        uint32_t w = white->pixels[i];
        uint32_t c = w >> 24; // white: every byte is the coverage itself
        ASSERT_EQ(w, c * 0x01010101u);
        uint32_t want =
            (255 * c / 255) << 24 | (255 * c / 255) << 16 | (0x7F * c / 255) << 8 | (0x3F * c / 255);
        ASSERT_EQ(coloured->pixels[i], want) << i;
        full |= c == 255;
        partial |= c > 0 && c < 255;
    }
    EXPECT_TRUE(full);    // fully covered pixels keep the colour exactly
    EXPECT_TRUE(partial); // edges are anti-aliased
    // Coverage 128 with colour 0xFFFF7F3F gives 0x80803F1F.
    EXPECT_EQ((255u * 128 / 255) << 24 | (255u * 128 / 255) << 16 | (0x7Fu * 128 / 255) << 8 |
                  (0x3Fu * 128 / 255),
              0x80803F1Fu);
}

TEST(TextImage, EmptyTextAndZeroSizeLeaveOnlyTransparentBlack)
{
    TexturePtr t = make(64, 32, 0xDEADBEEF);
    text_image(t.get(), "Arial", 16, 0, 20, 0xFFFFFFFF, "");
    EXPECT_EQ(covered(t.get()), 0);
    std::fill(t->pixels, t->pixels + 64 * 32, 0x12345678u);
    text_image(t.get(), "Arial", 0, 0, 20, 0xFFFFFFFF, "abc");
    EXPECT_EQ(covered(t.get()), 0);
    text_image(t.get(), "Arial", 16, 0, 20, 0xFFFFFFFF, nullptr);
    EXPECT_EQ(covered(t.get()), 0);
    text_image(nullptr, "Arial", 16, 0, 20, 0xFFFFFFFF, "abc");
}

TEST(TextImage, SecondCallLeavesOnlyTheSecondText)
{
    TexturePtr twice = make(128, 32), once = make(128, 32);
    text_image(twice.get(), "Arial", 16, 0, 20, 0xFFFF0000, "first line");
    text_image(twice.get(), "Arial", 16, 4, 24, 0xFF00FF00, "other");
    text_image(once.get(), "Arial", 16, 4, 24, 0xFF00FF00, "other");
    EXPECT_TRUE(std::equal(once->pixels, once->pixels + 128 * 32, twice->pixels));
}

// A text image must equal the matching window of the same text drawn on a
// larger canvas: glyphs are cut at every edge, nothing wraps or smears.
TEST(TextImage, GlyphsAreClippedAtAllFourEdges)
{
    struct Case {
        int x, y, size;
        const char* text;
    };
    const Case cases[] = {
        {200, 40, 32, "WWWWWWWWWW"}, // runs past the right edge
        {-20, 40, 32, "jAVA fjord"}, // starts left of the texture
        {2, 6, 32,
         "\xC5"
         "bdfhklT"},            // tall glyphs above the top
        {0, 62, 32, "gjpqy|_"}, // descenders below the bottom
        {-100, 200, 64, "Hg"},  // entirely below
    };
    for (const Case& c : cases) {
        TexturePtr small = make(256, 64), large = make(512, 320);
        text_image(small.get(), "Arial", c.size, c.x, c.y, 0xFFFFFFFF, c.text);
        text_image(large.get(), "Arial", c.size, c.x + 128, c.y + 128, 0xFFFFFFFF, c.text);
        for (int y = 0; y < 64; y++)
            for (int x = 0; x < 256; x++)
                ASSERT_EQ(small->pixels[y * 256 + x], large->pixels[(y + 128) * 512 + x + 128])
                    << c.text << " at " << x << "," << y;
    }
}

TEST(TextImage, UnknownFaceFallsBackToAnInstalledFont)
{
    TexturePtr t = make(128, 32);
    text_image(t.get(), "No Such Face At All", 16, 0, 20, 0xFFFFFFFF, "fallback");
    EXPECT_GT(covered(t.get()), 50);
}

TEST(TextImage, FaceNamesAreCutToThirtyOneCharacters)
{
    std::string name = "Arial";
    name.resize(TEXT_FACE_NAME_MAX, ' ');
    std::string longer = name + std::string(500, 'x');
    TexturePtr a = make(128, 32), b = make(128, 32);
    text_image(a.get(), name.c_str(), 16, 0, 20, 0xFFFFFFFF, "Arial?");
    text_image(b.get(), longer.c_str(), 16, 0, 20, 0xFFFFFFFF, "Arial?");
    EXPECT_GT(covered(a.get()), 0);
    EXPECT_TRUE(std::equal(a->pixels, a->pixels + 128 * 32, b->pixels));
}

TEST(TextImage, OnlyTheExactSymbolFaceNamesSelectTheSymbolCharset)
{
    EXPECT_EQ(text_charset("Symbol"), TEXT_CHARSET_SYMBOL);
    EXPECT_EQ(text_charset("Wingdings"), TEXT_CHARSET_SYMBOL);
    EXPECT_EQ(text_charset("Webdings"), TEXT_CHARSET_SYMBOL);
    EXPECT_EQ(text_charset("symbol"), TEXT_CHARSET_ANSI);
    EXPECT_EQ(text_charset("Symbol "), TEXT_CHARSET_ANSI);
    EXPECT_EQ(text_charset("Arial"), TEXT_CHARSET_ANSI);
    EXPECT_EQ(text_charset(nullptr), TEXT_CHARSET_ANSI);
    // A symbol face without a symbol map still draws its text.
    TexturePtr t = make(128, 32);
    text_image(t.get(), "Symbol", 16, 0, 20, 0xFFFFFFFF, "abc");
    EXPECT_GT(covered(t.get()), 0);
}
