// The 2D operations against plain per-pixel references written here, on
// random screens and images, with placements cut at all four screen edges
// and images larger than the screen.
#include "core/core.h"
#include "texture_ptr.h"
#include "core/frame.h"
#include "image/image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

namespace
{

using Image = std::vector<uint32_t>; // 640 x 480 reference copy of the screen

uint32_t lcg_state = 12345;
uint32_t lcg()
{
    lcg_state = lcg_state * 1664525u + 1013904223u;
    return lcg_state;
}

// Random pixels with alphas biased towards 0 and 255 so both extremes occur.
uint32_t random_pixel()
{
    uint32_t p = lcg() ^ (lcg() >> 13);
    switch (lcg() >> 29) {
    case 0:
        return p & 0x00FFFFFF;
    case 1:
        return p | 0xFF000000;
    default:
        return p;
    }
}

TexturePtr random_texture(int w, int h)
{
    TexturePtr t(texture_create(w, h));
    for (int i = 0; i < w * h; i++)
        t->pixels[i] = random_pixel();
    return t;
}

// A picture as the overlays and scenes have them: runs of fully transparent,
// fully opaque and part-transparent pixels, of any length and offset, so that
// every mix of them falls into the four-pixel groups.
TexturePtr picture_texture(int w, int h)
{
    TexturePtr t(texture_create(w, h));
    int i = 0;
    while (i < w * h) {
        const int kind = static_cast<int>(lcg() >> 30), run = 1 + static_cast<int>(lcg() % 23);
        for (int k = 0; k < run && i < w * h; k++, i++) {
            const uint32_t rgb = lcg() & 0x00FFFFFF;
            t->pixels[i] = kind == 0 ? rgb : kind == 1 ? rgb | 0xFF000000 : random_pixel();
        }
    }
    return t;
}

uint32_t ch(uint32_t p, int k)
{
    return (p >> (8 * k)) & 0xFF;
}

// Points `screen` at a test-owned 640 x 480 surface for the test's life.
class Ops2d : public testing::Test
{
  protected:
    void SetUp() override
    {
        pixels.assign(SCREEN_WIDTH * SCREEN_HEIGHT, 0);
        surface = {SCREEN_WIDTH, SCREEN_HEIGHT, SCREEN_WIDTH * 4, pixels.data()};
        saved = screen;
        screen = &surface;
    }
    void TearDown() override { screen = saved; }

    void randomize()
    {
        for (uint32_t& p : pixels)
            p = random_pixel();
    }
    void fill(uint32_t v) { std::fill(pixels.begin(), pixels.end(), v); }
    uint32_t& at(int x, int y) { return pixels[y * SCREEN_WIDTH + x]; }

    // Compares the screen with a reference image, reporting the first pixel off.
    void expect_screen(const Image& want, const char* what)
    {
        for (int i = 0; i < SCREEN_WIDTH * SCREEN_HEIGHT; i++)
            if (pixels[i] != want[i]) {
                ADD_FAILURE() << what << ": pixel (" << i % SCREEN_WIDTH << ", " << i / SCREEN_WIDTH
                              << ") is " << std::hex << pixels[i] << ", want " << want[i];
                return;
            }
    }

    Image pixels;
    FrameSurface surface{};
    FrameSurface* saved = nullptr;
};

// ---- Plain references -------------------------------------------------------------

uint32_t ref_blit_pixel(uint32_t s, uint32_t d, int mode)
{
    if (mode == 0)
        return s;
    uint32_t out = 0;
    for (int k = 0; k < 4; k++) {
        int a = ch(s, k), b = ch(d, k), r = 0;
        switch (mode) {
        case 1:
            r = std::min(255, a + b);
            break;
        case 2:
            r = std::max(0, b - a);
            break;
        case 3:
            r = (a * b) >> 8;
            break;
        case 4:
            r = std::min(a, b);
            break;
        case 5:
            r = std::max(a, b);
            break;
        case 6:
            r = (a + b + 1) >> 1;
            break;
        }
        out |= static_cast<uint32_t>(r) << (8 * k);
    }
    return out;
}

uint32_t ref_blend_pixel(uint32_t s, uint32_t d, int alpha, int mode)
{
    int w = (alpha * static_cast<int>(mode == 7 ? d >> 24 : s >> 24)) >> 8;
    uint32_t out = 0;
    for (int k = 0; k < 4; k++) {
        int S = ch(s, k), D = ch(d, k), r = 0;
        switch (mode) {
        case 0:
        case 7:
            r = (S * w >> 8) + (D * (255 - w) >> 8);
            break;
        case 1:
            r = S + (D * (255 - w) >> 8);
            break;
        case 2:
            r = (S * (255 - w) >> 8) + D;
            break;
        case 3:
            r = S * (255 - w) >> 8;
            break;
        case 4:
            r = D * w >> 8;
            break;
        case 5:
            r = (S * D >> 8) + (D * (255 - w) >> 8);
            break;
        case 6:
            r = D + std::max(0, D - (S * D >> 8));
            break;
        }
        out |= static_cast<uint32_t>(std::min(255, r)) << (8 * k);
    }
    return out;
}

// Every screen pixel covered by texture rectangle (sx, sy, w, h) placed at
// (x, y), combined with f(source, screen).
template <typename F>
Image ref_place(const Image& before, const Texture* t, int x, int y, int sx, int sy, int w, int h, F f)
{
    Image out = before;
    for (int py = 0; py < SCREEN_HEIGHT; py++)
        for (int px = 0; px < SCREEN_WIDTH; px++) {
            long long u = static_cast<long long>(px) - x, v = static_cast<long long>(py) - y;
            if (u < 0 || v < 0 || u >= w || v >= h)
                continue;
            long long tu = sx + u, tv = sy + v;
            if (tu < 0 || tv < 0 || tu >= t->width || tv >= t->height)
                continue;
            uint32_t& d = out[py * SCREEN_WIDTH + px];
            d = f(t->pixels[tv * t->width + tu], d);
        }
    return out;
}

struct Placement {
    int w, h, x, y;
};

// Cut at each edge and corner, inside, outside, larger than the screen.
const Placement placements[] = {
    {256, 256, -10, 470}, {256, 256, 600, 300}, {256, 256, 300, -200}, {256, 256, -100, -100},
    {700, 500, -30, -10}, {1300, 41, -650, 3},  {33, 17, 100, 100},    {640, 480, 0, 0},
    {5, 900, 637, -200},  {256, 256, 640, 0},   {256, 256, -256, 0},   {256, 256, 0, 480},
    {256, 256, 0, -256},  {3, 3, 639, 479},     {7, 1, -6, 0},
};

} // namespace

TEST_F(Ops2d, BlitMatchesReferenceForEveryModeAndPlacement)
{
    for (const Placement& p : placements) {
        TexturePtr t = random_texture(p.w, p.h);
        for (int mode = 0; mode <= 6; mode++) {
            randomize();
            Image want = ref_place(pixels, t.get(), p.x, p.y, 0, 0, p.w, p.h,
                                   [mode](uint32_t s, uint32_t d) { return ref_blit_pixel(s, d, mode); });
            blit_image(t.get(), p.x, p.y, mode);
            SCOPED_TRACE(testing::Message()
                         << "mode " << mode << " at " << p.x << "," << p.y << " size " << p.w << "x" << p.h);
            expect_screen(want, "blit_image");
        }
    }
}

TEST_F(Ops2d, BlitCutAtTheBottomLeftDrawsTheExpectedCorner)
{
    TexturePtr t = random_texture(256, 256);
    fill(0);
    blit_image(t.get(), -10, 470, BLIT_COPY);
    for (int y = 470; y < 480; y++)
        for (int x = 0; x < 640; x++)
            ASSERT_EQ(at(x, y), x < 246 ? t->pixels[(y - 470) * 256 + x + 10] : 0u);
    for (int y = 0; y < 470; y++)
        ASSERT_EQ(at(5, y), 0u);
}

TEST_F(Ops2d, BlendMatchesReferenceForEveryModeAndPlacement)
{
    const int alphas[] = {0, 1, 128, 254, 255};
    for (const Placement& p : placements) {
        TexturePtr t = random_texture(p.w, p.h);
        for (int mode = 0; mode <= 7; mode++) {
            int alpha = alphas[lcg() % 5];
            randomize();
            Image want = ref_place(pixels, t.get(), p.x, p.y, 0, 0, p.w, p.h, [=](uint32_t s, uint32_t d) {
                return ref_blend_pixel(s, d, alpha, mode);
            });
            blend_image(t.get(), p.x, p.y, alpha, mode);
            SCOPED_TRACE(testing::Message() << "mode " << mode << " alpha " << alpha << " at " << p.x << ","
                                            << p.y << " size " << p.w << "x" << p.h);
            expect_screen(want, "blend_image");
        }
    }
}

TEST_F(Ops2d, BlendAlphaOverTransparentAndOpaqueRunsMatchesReference)
{
    const int alphas[] = {0, 1, 2, 127, 128, 200, 254, 255};
    for (const Placement& p : placements) {
        TexturePtr t = picture_texture(p.w, p.h);
        for (int alpha : alphas) {
            randomize();
            // Black and white screen pixels too: the ends of D - 1 and the clamp.
            for (int k = 0; k < 2000; k++)
                pixels[lcg() % pixels.size()] = (lcg() & 1) ? 0u : 0xFFFFFFFFu;
            Image want = ref_place(pixels, t.get(), p.x, p.y, 0, 0, p.w, p.h, [=](uint32_t s, uint32_t d) {
                return ref_blend_pixel(s, d, alpha, BLEND_ALPHA);
            });
            blend_image(t.get(), p.x, p.y, alpha, BLEND_ALPHA);
            SCOPED_TRACE(testing::Message() << "alpha " << alpha << " at " << p.x << "," << p.y << " size "
                                            << p.w << "x" << p.h);
            expect_screen(want, "blend_image");
        }
    }
}

TEST_F(Ops2d, BlendArithmeticEdgeCases)
{
    TexturePtr white(texture_create(4, 4));
    std::fill(white->pixels, white->pixels + 16, 0xFFFFFFFFu);
    fill(0xFF000000);
    blend_image(white.get(), 0, 0, 255, BLEND_ALPHA);
    EXPECT_EQ(at(0, 0), 0xFDFDFDFDu); // w = 255 * 255 >> 8 = 254: 253 per channel

    fill(0xFFFFFFFF);
    blend_image(white.get(), 10, 10, 0, BLEND_SCREEN_WEIGHT);
    EXPECT_EQ(at(10, 10), 0u); // alpha 0 blacks out the covered area
    EXPECT_EQ(at(13, 13), 0u);
    EXPECT_EQ(at(14, 10), 0xFFFFFFFFu);

    // An alpha argument outside 0..255 is taken as the nearest end.
    fill(0xFF000000);
    blend_image(white.get(), 0, 0, 1000, BLEND_ALPHA);
    EXPECT_EQ(at(0, 0), 0xFDFDFDFDu);
    blend_image(white.get(), 4, 0, -5, BLEND_ALPHA);
    EXPECT_EQ(at(4, 0), 0xFE000000u); // w = 0: D * 255 >> 8

    // Unknown modes and null textures draw nothing.
    fill(0x12345678);
    blend_image(white.get(), 0, 0, 255, 8);
    blend_image(white.get(), 0, 0, 255, -1);
    blit_image(white.get(), 0, 0, 7);
    blend_image(nullptr, 0, 0, 255, 0);
    blit_image(nullptr, 0, 0, 0);
    blend_rect(nullptr, 0, 0, 0, 0, 4, 4, 255, 0);
    EXPECT_EQ(at(0, 0), 0x12345678u);
}

TEST_F(Ops2d, BlendRectMatchesReferenceIncludingSourceOutsideTheTexture)
{
    struct Rect {
        int x, y, sx, sy, w, h;
    };
    const Rect rects[] = {
        {-20, -30, 10, 20, 100, 100}, {600, 450, 0, 0, 256, 256}, {100, 100, 200, 200, 56, 56},
        {-5, 470, 50, 60, 80, 80},    {630, -3, 0, 0, 20, 20},    {10, 10, -20, -30, 100, 100},
        {10, 10, 200, 200, 100, 100}, {0, 0, 0, 0, 0, 10},        {-1000, -1000, 0, 0, 256, 256},
        {300, 200, 255, 255, 1, 1},   {-300, 0, 0, 0, 2000, 20},
    };
    TexturePtr t = random_texture(256, 256);
    for (const Rect& r : rects)
        for (int mode = 0; mode <= 7; mode++) {
            int alpha = static_cast<int>(lcg() >> 24);
            randomize();
            Image want =
                ref_place(pixels, t.get(), r.x, r.y, r.sx, r.sy, r.w, r.h,
                          [=](uint32_t s, uint32_t d) { return ref_blend_pixel(s, d, alpha, mode); });
            blend_rect(t.get(), r.x, r.y, r.sx, r.sy, r.w, r.h, alpha, mode);
            SCOPED_TRACE(testing::Message() << "mode " << mode << " rect " << r.x << "," << r.y << " from "
                                            << r.sx << "," << r.sy << " " << r.w << "x" << r.h);
            expect_screen(want, "blend_rect");
        }
}

namespace
{

// The zoom blur as written: four quadrants from the centre outwards, each
// pixel averaged with the (clamped) pixel nearer the centre.
void ref_zoom_blur(std::vector<uint32_t>& img, int w, int h, int cx, int cy, int strength, int passes)
{
    cx = std::clamp(cx, 0, w - 1);
    cy = std::clamp(cy, 0, h - 1);
    auto visit = [&](int x, int y, long long f) {
        long long qx = x - (((long long)x - cx) * f >> 8);
        long long qy = y - (((long long)y - cy) * f >> 8);
        qx = std::clamp<long long>(qx, 0, w - 1);
        qy = std::clamp<long long>(qy, 0, h - 1);
        uint32_t p = img[y * w + x], q = img[qy * w + qx], out = 0;
        for (int k = 0; k < 4; k++)
            out |= ((ch(p, k) + ch(q, k) + 1) >> 1) << (8 * k);
        img[y * w + x] = out;
    };
    for (int p = 0; p < passes; p++) {
        long long f = static_cast<long long>(strength) << (p + 1);
        for (int y = cy; y >= 0; y--)
            for (int x = cx; x >= 1; x--)
                visit(x, y, f);
        for (int y = cy; y >= 0; y--)
            for (int x = cx + 1; x <= w - 1; x++)
                visit(x, y, f);
        for (int y = cy + 1; y <= h - 1; y++)
            for (int x = cx; x >= 1; x--)
                visit(x, y, f);
        for (int y = cy + 1; y <= h - 1; y++)
            for (int x = cx + 1; x <= w - 1; x++)
                visit(x, y, f);
    }
}

} // namespace

TEST(ZoomBlur, MatchesReferenceForCentresInsideOnAndOutsideTheTexture)
{
    struct Case {
        int w, h, cx, cy, strength, passes;
    };
    const Case cases[] = {
        {64, 48, 32, 24, 1, 6},  {64, 48, 0, 0, 1, 6},       {64, 48, 63, 47, 2, 5},
        {37, 29, 5, 20, 3, 4},   {64, 48, -50, 500, 1, 6},   {64, 48, 32, 24, 40, 4},
        {64, 48, 10, 10, -3, 3}, {1, 1, 0, 0, 1, 6},         {16, 1, 8, 0, 1, 6},
        {1, 16, 0, 8, 1, 6},     {320, 200, 278, 100, 1, 6}, {67, 33, 30, 16, -40, 3},
    };
    for (const Case& c : cases) {
        TexturePtr t = random_texture(c.w, c.h);
        std::vector<uint32_t> want(t->pixels, t->pixels + c.w * c.h);
        ref_zoom_blur(want, c.w, c.h, c.cx, c.cy, c.strength, c.passes);
        zoom_blur(t.get(), c.cx, c.cy, c.strength, c.passes);
        for (int i = 0; i < c.w * c.h; i++)
            ASSERT_EQ(t->pixels[i], want[i])
                << "case " << c.w << "x" << c.h << " centre " << c.cx << "," << c.cy << " pixel " << i;
    }
}

// The glow buffers' shapes and centres as the scenes blur them, and random
// ones: the columns read as two overlapping loads must be the columns named.
TEST(ZoomBlur, GroupedColumnReadsMatchReferenceAtRandomCentres)
{
    std::mt19937 rng(77);
    for (int n = 0; n < 60; n++) {
        const int w = n < 20 ? 320 : 5 + static_cast<int>(rng() % 90);
        const int h = n < 20 ? 200 : 1 + static_cast<int>(rng() % 60);
        const int cx = n == 0 ? 160 : static_cast<int>(rng() % (w + 20)) - 10;
        const int cy = n == 0 ? 0 : static_cast<int>(rng() % (h + 20)) - 10;
        const int strength = n < 20 ? 1 : static_cast<int>(rng() % 9) - 4;
        const int passes = 1 + static_cast<int>(rng() % 7);
        TexturePtr t = random_texture(w, h);
        std::vector<uint32_t> want(t->pixels, t->pixels + w * h);
        ref_zoom_blur(want, w, h, cx, cy, strength, passes);
        zoom_blur(t.get(), cx, cy, strength, passes);
        for (int i = 0; i < w * h; i++)
            ASSERT_EQ(t->pixels[i], want[i]) << "case " << n << ": " << w << "x" << h << " centre " << cx
                                             << "," << cy << " strength " << strength << " pixel " << i;
    }
}

// The two sides of a blur, done apart and the right one first: together the
// bytes of the reference, whether the sides keep apart (small strengths) or
// side 0 does the whole blur (large or negative ones).
TEST(ZoomBlur, SidesDoneApartInEitherOrderMatchReference)
{
    std::mt19937 rng(78);
    for (int n = 0; n < 60; n++) {
        const int w = n < 10 ? 320 : 5 + static_cast<int>(rng() % 90);
        const int h = n < 10 ? 200 : 1 + static_cast<int>(rng() % 60);
        const int cx = static_cast<int>(rng() % (w + 20)) - 10, cy = static_cast<int>(rng() % (h + 20)) - 10;
        const int strength = n < 30 ? 1 : static_cast<int>(rng() % 80) - 10;
        const int passes = 1 + static_cast<int>(rng() % 7);
        TexturePtr t = random_texture(w, h);
        std::vector<uint32_t> want(t->pixels, t->pixels + w * h);
        ref_zoom_blur(want, w, h, cx, cy, strength, passes);
        const std::vector<uint32_t> before(t->pixels, t->pixels + w * h);
        zoom_blur_side(t.get(), cx, cy, strength, passes, 1);
        const int c = std::clamp(cx, 0, w - 1);
        for (int i = 0; i < w * h; i++) { // side 1 leaves the centre's column and the left alone
            if (i % w <= c) {
                ASSERT_EQ(t->pixels[i], before[i]) << "case " << n << " pixel " << i;
            }
        }
        zoom_blur_side(t.get(), cx, cy, strength, passes, 0);
        for (int i = 0; i < w * h; i++)
            ASSERT_EQ(t->pixels[i], want[i]) << "case " << n << ": " << w << "x" << h << " centre " << cx
                                             << "," << cy << " strength " << strength << " pixel " << i;
    }
}

// Rows near the centre row sample themselves and are walked three or four at
// a time with their pixels across vector lanes: narrow walks (fewer than four
// columns, and four to nine, where the last block of four overlaps the one
// before), walks reaching both image edges, far samples of large and negative
// strengths, and centre rows that leave one to three rows in the last group.
TEST(ZoomBlur, RowsSamplingThemselvesMatchReferenceInEveryWalkWidth)
{
    std::mt19937 rng(4242);
    for (int n = 0; n < 200; n++) {
        const int w = 2 + static_cast<int>(rng() % (n < 100 ? 12 : 300));
        const int h = 1 + static_cast<int>(rng() % 40);
        const int cx = static_cast<int>(rng() % static_cast<unsigned>(w + 4)) - 2;
        const int cy = static_cast<int>(rng() % static_cast<unsigned>(h));
        const int strengths[] = {1, 2, 3, 7, 64, 200, -1, -5};
        const int strength = strengths[rng() % 8];
        const int passes = 1 + static_cast<int>(rng() % 6);
        TexturePtr t = random_texture(w, h);
        std::vector<uint32_t> want(t->pixels, t->pixels + w * h);
        ref_zoom_blur(want, w, h, cx, cy, strength, passes);
        zoom_blur(t.get(), cx, cy, strength, passes);
        for (int i = 0; i < w * h; i++)
            ASSERT_EQ(t->pixels[i], want[i])
                << "case " << n << ": " << w << "x" << h << " centre " << cx << "," << cy << " strength "
                << strength << " passes " << passes << " pixel " << i % w << "," << i / w;
    }
}

TEST(ZoomBlur, StrengthZeroLeavesTheImageAndColumnZeroNeverChanges)
{
    TexturePtr t = random_texture(40, 30);
    std::vector<uint32_t> before(t->pixels, t->pixels + 40 * 30);
    zoom_blur(t.get(), 20, 15, 0, 6);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), t->pixels));
    zoom_blur(t.get(), 20, 15, 1, 40); // huge fractions are clamped into the image
    for (int y = 0; y < 30; y++)
        EXPECT_EQ(t->pixels[y * 40], before[y * 40]);
    zoom_blur(nullptr, 0, 0, 1, 1);
}

TEST_F(Ops2d, WaveShiftMatchesReference)
{
    const float phases[] = {0.0f, 1.3f, 17.25f, -4.0f};
    const uint32_t colours[] = {0xFFFFFFFF, 0x00000000, 0x80402010, 0xFFFFFF00, 0x5B5B5B5B};
    for (float phase : phases)
        for (uint32_t colour : colours) {
            randomize();
            Image want = pixels;
            for (int y = 0; y < SCREEN_HEIGHT; y++) {
                float s1 = core_sin(phase + 0.78f + static_cast<float>(y) / 32.0f * 3.1415927f);
                float s2 = core_sin(phase + static_cast<float>(y) / 16.0f * 3.1415927f);
                int shift = static_cast<int>(core_floor(s2 * s1 * 8.0f + 8.0f));
                ASSERT_GE(shift, 0);
                ASSERT_LE(shift, 16);
                const uint32_t* row = &pixels[y * SCREEN_WIDTH]; // the row before the change
                for (int x = 0; x < SCREEN_WIDTH; x++) {
                    uint32_t p = row[x], q = row[std::min(x + shift, 639)], out = 0;
                    for (int k = 0; k < 4; k++) {
                        uint32_t w = (p >> 24) * ch(colour, k) >> 8;
                        out |= std::min<uint32_t>(255, (ch(p, k) * w >> 8) + (ch(q, k) * (255 - w) >> 8))
                               << (8 * k);
                    }
                    want[y * SCREEN_WIDTH + x] = out;
                }
            }
            wave_shift(phase, colour);
            SCOPED_TRACE(testing::Message() << "phase " << phase << " colour " << std::hex << colour);
            expect_screen(want, "wave_shift");
        }
}

TEST_F(Ops2d, WaveShiftBandsAreSmoothNotSixteenRowsWide)
{
    // Opaque pixels in column x hold x; colour 0 takes the displaced pixel
    // everywhere, so each row reads back its own shift.
    for (int y = 0; y < SCREEN_HEIGHT; y++)
        for (int x = 0; x < SCREEN_WIDTH; x++)
            at(x, y) = static_cast<uint32_t>(x);
    wave_shift(0.0f, 0);
    int changes = 0;
    for (int y = 1; y < 32; y++)
        changes += at(0, y) != at(0, y - 1);
    EXPECT_GT(changes, 4); // the shift varies within the first 32 rows
}

namespace
{

Image ref_blur(const Image& img, bool vertical, int a, int b, int passes)
{
    Image cur = img;
    int lo = std::min(a, b), hi = std::max(a, b);
    for (int p = 0; p < passes; p++) {
        Image before = cur;
        for (int y = 0; y < SCREEN_HEIGHT; y++)
            for (int x = 0; x < SCREEN_WIDTH; x++) {
                int pos = vertical ? x : y;
                if (pos < lo || pos >= hi)
                    continue;
                if (vertical ? (y < 1 || y > 478) : (x < 1 || x > 638))
                    continue;
                uint32_t u = vertical ? before[(y - 1) * 640 + x] : before[y * 640 + x - 1];
                uint32_t m = before[y * 640 + x];
                uint32_t d = vertical ? before[(y + 1) * 640 + x] : before[y * 640 + x + 1];
                uint32_t out = 0;
                for (int k = 0; k < 4; k++)
                    out |= ((ch(u, k) + 2 * ch(m, k) + ch(d, k)) >> 2) << (8 * k);
                cur[y * 640 + x] = out;
            }
    }
    return cur;
}

} // namespace

TEST_F(Ops2d, BlurColumnsAndRowsMatchReferenceWithClippedRanges)
{
    struct Range {
        int a, b, passes;
    };
    // The scenes' own: 20-column bands of 32 and 64 passes.
    const Range column_ranges[] = {{400, 420, 3}, {420, 400, 2},  {-20, 7, 2},    {630, 700, 2},
                                   {640, 700, 1}, {-10, -1, 1},   {0, 640, 1},    {5, 5, 3},
                                   {13, 1, 0},    {440, 460, 64}, {621, 640, 32}, {100, 111, 5},
                                   {200, 206, 6}, {300, 309, 7},  {50, 52, 13},   {0, 1, 4}};
    for (const Range& r : column_ranges) {
        randomize();
        Image want = ref_blur(pixels, true, r.a, r.b, r.passes);
        blur_columns(r.a, r.b, r.passes);
        SCOPED_TRACE(testing::Message() << "columns " << r.a << ".." << r.b);
        expect_screen(want, "blur_columns");
    }
    const Range row_ranges[] = {{210, 230, 3}, {250, 230, 2},  {-30, 4, 2},    {470, 600, 2},
                                {480, 500, 1}, {-9, -2, 1},    {0, 480, 1},    {-92, 28, 2},
                                {7, 30, -1},   {210, 230, 64}, {470, 490, 32}, {100, 111, 5},
                                {200, 206, 6}, {300, 309, 7},  {50, 52, 13},   {0, 1, 4}};
    for (const Range& r : row_ranges) {
        randomize();
        Image want = ref_blur(pixels, false, r.a, r.b, r.passes);
        blur_rows(r.a, r.b, r.passes);
        SCOPED_TRACE(testing::Message() << "rows " << r.a << ".." << r.b);
        expect_screen(want, "blur_rows");
    }
}

namespace
{

// The running-sum glow along one line of n pixels (stride apart): add with
// saturation at 65535, then subtract with saturation at 0.
void ref_glow_line(uint32_t* p, int n, int stride)
{
    for (int k = 0; k < 4; k++) {
        auto get = [&](int i) { return static_cast<int>(ch(p[i * stride], k)); };
        int s = get(2) >> 2;
        auto step = [&](int r) {
            s = std::min(65535, s + get(r + 4));
            s = std::max(0, s - get(r));
        };
        for (int r = 0; r + 4 < n; r++) {
            step(r);
            uint32_t v = static_cast<uint32_t>(std::min(255, s >> 1));
            uint32_t& q = p[(r + 2) * stride];
            q = (q & ~(0xFFu << (8 * k))) | v << (8 * k);
            step(r);
        }
    }
}

} // namespace

TEST_F(Ops2d, GlowsMatchReference)
{
    for (int round = 0; round < 3; round++) {
        randomize();
        if (round == 2) // bright screen: sums run high
            for (uint32_t& p : pixels)
                p |= 0xE0E0E0E0;
        Image want = pixels;
        for (int x = 0; x < SCREEN_WIDTH; x++)
            ref_glow_line(&want[x], SCREEN_HEIGHT, SCREEN_WIDTH);
        glow_vertical();
        expect_screen(want, "glow_vertical");

        randomize();
        want = pixels;
        for (int y = 0; y < SCREEN_HEIGHT; y++)
            ref_glow_line(&want[y * SCREEN_WIDTH], SCREEN_WIDTH, 1);
        glow_horizontal();
        expect_screen(want, "glow_horizontal");
    }
}

// Parts cut at multiples of four (and beyond the screen) give the whole glow.
TEST_F(Ops2d, GlowsInPartsMatchTheWholeGlow)
{
    randomize();
    const Image start = pixels;
    glow_vertical();
    const Image columns = pixels;
    pixels = start;
    glow_horizontal();
    const Image rows = pixels;
    pixels = start;
    for (int32_t x : {-8, 0, 4, 320, 636, 640})
        glow_vertical_band(x, x); // empty
    const int32_t cuts[] = {-20, 0, 4, 64, 320, 324, 636, 640, 900};
    for (size_t k = 0; k + 1 < std::size(cuts); ++k)
        glow_vertical_band(cuts[k], cuts[k + 1]);
    expect_screen(columns, "glow_vertical_band");
    pixels = start;
    for (size_t k = 0; k + 1 < std::size(cuts); ++k)
        glow_horizontal_band(cuts[k], cuts[k + 1] > 480 ? 480 : cuts[k + 1]);
    expect_screen(rows, "glow_horizontal_band");
}

TEST_F(Ops2d, GlowsKeepTheBorderLines)
{
    randomize();
    Image before = pixels;
    glow_vertical();
    for (int x = 0; x < SCREEN_WIDTH; x++)
        for (int y : {0, 1, 478, 479})
            ASSERT_EQ(at(x, y), before[y * SCREEN_WIDTH + x]);
    before = pixels;
    glow_horizontal();
    for (int y = 0; y < SCREEN_HEIGHT; y++)
        for (int x : {0, 1, 638, 639})
            ASSERT_EQ(at(x, y), before[y * SCREEN_WIDTH + x]);
}

TEST_F(Ops2d, BlockGlowMatchesReference)
{
    for (uint32_t threshold : {0x5B5B5B5Bu, 0xA3A3A3A3u, 0u, 0x00FF10FFu}) {
        randomize();
        Image want = pixels;
        for (int by = 0; by < 480; by += 16)
            for (int bx = 0; bx < 640; bx += 16) {
                uint32_t s = want[(by + 7) * 640 + bx + 7];
                for (int y = by; y < by + 16; y++)
                    for (int x = bx; x < bx + 16; x++) {
                        uint32_t& p = want[y * 640 + x];
                        uint32_t out = 0;
                        for (int k = 0; k < 4; k++) {
                            int add =
                                std::max(0, static_cast<int>(ch(s, k)) - static_cast<int>(ch(threshold, k)));
                            out |= static_cast<uint32_t>(std::min(255, static_cast<int>(ch(p, k)) + add))
                                   << (8 * k);
                        }
                        p = out;
                    }
            }
        block_glow(threshold);
        expect_screen(want, "block_glow");
    }
}

TEST_F(Ops2d, BlockGlowLeavesDarkBlocksAlone)
{
    randomize();
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 16; x++)
            at(x, y) = (at(x, y) & 0x3F3F3F3F);
    at(7, 7) = 0x5B5B5B5B;
    Image before = pixels;
    block_glow(0x5B5B5B5B);
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 16; x++)
            ASSERT_EQ(at(x, y), before[y * 640 + x]);
}

TEST_F(Ops2d, RgbScanlinesKeepAlphaAndOneChannelPerRow)
{
    fill(0xFFFFFFFF);
    rgb_scanlines();
    for (int y = 0; y < 480; y++) {
        uint32_t want = y % 3 == 0 ? 0xFFFF0000u : y % 3 == 1 ? 0xFF00FF00u : 0xFF0000FFu;
        for (int x = 0; x < 640; x += 37)
            ASSERT_EQ(at(x, y), want);
    }
}

// Block glow and scan lines by bands, cut anywhere for the scan lines and at
// block rows for the glow (a cut inside a block rounds down to the block's
// first row), give the whole pass; an empty or outside band draws nothing.
TEST_F(Ops2d, BlockGlowAndScanlinesInBandsMatchTheWholePass)
{
    randomize();
    const Image start = pixels;
    block_glow(0x30303030u);
    const Image glowed = pixels;
    pixels = start;
    rgb_scanlines();
    const Image lined = pixels;

    pixels = start;
    for (int32_t y : {-16, 0, 40, 480, 600})
        block_glow_band(0x30303030u, y, y); // empty
    block_glow_band(0x30303030u, 500, 900);
    expect_screen(start, "block_glow_band outside");
    const int32_t block_cuts[] = {-40, 0, 16, 40, 200, 471, 480, 700};
    for (size_t k = 0; k + 1 < std::size(block_cuts); ++k)
        block_glow_band(0x30303030u, block_cuts[k], block_cuts[k + 1]);
    expect_screen(glowed, "block_glow_band");

    pixels = start;
    const int32_t line_cuts[] = {-7, 0, 1, 2, 41, 239, 240, 479, 480, 512};
    for (size_t k = 0; k + 1 < std::size(line_cuts); ++k)
        rgb_scanlines_band(line_cuts[k], line_cuts[k + 1]);
    rgb_scanlines_band(300, 200); // empty
    expect_screen(lined, "rgb_scanlines_band");
}
