// Soft bodies, the clipped line and the lens: how a body is built from an
// image, a one-pixel stroke slammed onto the floor staying finite, the outline
// drawing, clipping against the rasterizer's window, and the lens against a
// plain per-pixel reference at every screen edge.
#include "../overlays/overlay_fixture.h"

#include "image/line.h"
#include "raster/raster.h"
#include "image/lens.h"
#include "scenes/softbody.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace
{

constexpr uint32_t W = 0xffffffffu; // lit pixel
constexpr uint32_t K = 0xff000000u; // opaque black: no point

struct BodyDeleter {
    void operator()(SoftBody* body) const { softbody_free(body); }
};
using BodyPtr = std::unique_ptr<SoftBody, BodyDeleter>;

struct LensDeleter {
    void operator()(Lens* lens) const { lens_free(lens); }
};
using LensPtr = std::unique_ptr<Lens, LensDeleter>;

BodyPtr body_from(const std::vector<uint32_t>& pixels, int w, int h, float x = 0.0f, float y = 0.0f,
                  float s = 1.0f)
{
    return BodyPtr(softbody_from_pixels(pixels.data(), w, h, x, y, s, s));
}

bool has_link(const SoftBody* body, int a, int b)
{
    for (int i = 0; i < body->link_count; ++i)
        if (body->links[i].a == a && body->links[i].b == b)
            return true;
    return false;
}

TEST(SoftBodyBuild, PointsInRasterOrderLinksRightDownOrDiagonal)
{
    // . X X      points 0 (1,0), 1 (2,0)
    // X . .      point 2 (0,1)
    // . X .      point 3 (1,2)
    const std::vector<uint32_t> image = {K, W, W, W, K, K, K, W, K};
    BodyPtr body = body_from(image, 3, 3, 10.0f, 20.0f, 4.0f);
    ASSERT_NE(body, nullptr);
    ASSERT_EQ(body->point_count, 4);
    EXPECT_FLOAT_EQ(body->points[0].x, 14.0f);
    EXPECT_FLOAT_EQ(body->points[0].y, 20.0f);
    EXPECT_FLOAT_EQ(body->points[2].x, 10.0f);
    EXPECT_FLOAT_EQ(body->points[2].y, 24.0f);
    EXPECT_FLOAT_EQ(body->points[3].previous_y, 28.0f);
    EXPECT_FLOAT_EQ(body->points[1].radius, 4.0f);
    // 0-1 to the right; 1 has neither neighbour and no diagonal; 2 has
    // neither and links diagonally to 3. Nothing else.
    EXPECT_EQ(body->link_count, 2);
    EXPECT_TRUE(has_link(body.get(), 0, 1));
    EXPECT_TRUE(has_link(body.get(), 2, 3));
    // Second points are let go; the others stay pinned.
    EXPECT_EQ(body->points[0].pinned, 1);
    EXPECT_EQ(body->points[1].pinned, 0);
    EXPECT_EQ(body->points[2].pinned, 1);
    EXPECT_EQ(body->points[3].pinned, 0);
    EXPECT_FLOAT_EQ(body->links[0].rest, 4.0f);
    EXPECT_FLOAT_EQ(body->links[1].rest, std::sqrt(32.0f));
    EXPECT_FLOAT_EQ(body->gravity_x, 0.0f);
    EXPECT_FLOAT_EQ(body->gravity_y, 64.0f);
    EXPECT_FLOAT_EQ(body->time_step, 0.033333335f);
    EXPECT_EQ(body->circle_count, 0);
    // A full 2 x 2 block: right and down links only, no diagonal.
    BodyPtr block = body_from({W, W, W, W}, 2, 2);
    EXPECT_EQ(block->link_count, 4);
    EXPECT_FALSE(has_link(block.get(), 0, 3));
}

TEST(SoftBodyBuild, AllBlackImageIsAnEmptyBodyThatDrawsNothing)
{
    std::vector<uint32_t> pixels(SCREEN_WIDTH * SCREEN_HEIGHT, 0u);
    FrameSurface surface = {SCREEN_WIDTH, SCREEN_HEIGHT, SCREEN_WIDTH * 4, pixels.data()};
    FrameSurface* saved = screen;
    screen = &surface;
    BodyPtr body = body_from(std::vector<uint32_t>(12, K), 4, 3);
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(body->point_count, 0);
    EXPECT_EQ(body->link_count, 0);
    softbody_step(body.get());
    EXPECT_EQ(softbody_draw(body.get()), 1);
    screen = saved;
    for (uint32_t p : pixels)
        ASSERT_EQ(p, 0u);
}

TEST(SoftBodyBuild, MissingOrOversizedImagesGiveNull)
{
    EXPECT_EQ(softbody_from_image("data\\no_such_logo.png", 0, 0, 4, 4), nullptr);
    const uint32_t one = W;
    EXPECT_EQ(softbody_from_pixels(&one, -1, 1, 0, 0, 1, 1), nullptr);
    EXPECT_EQ(softbody_from_pixels(&one, 1 << 16, 1 << 16, 0, 0, 1, 1), nullptr);
}

bool finite_points(const SoftBody* body)
{
    for (int i = 0; i < body->point_count; ++i) {
        const SoftPoint& p = body->points[i];
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.previous_x) ||
            !std::isfinite(p.previous_y))
            return false;
    }
    return true;
}

TEST(SoftBodyStep, OnePixelStrokePressedOntoTheFloorStaysFinite)
{
    // A lone pixel (point 0, which is never integrated) and a vertical stroke
    // one pixel wide in column 2, rows 1-8: points 1-8, seven links of rest 4.
    std::vector<uint32_t> image(3 * 9, K);
    image[0] = W;
    for (int row = 1; row < 9; ++row)
        image[row * 3 + 2] = W;
    BodyPtr body = body_from(image, 3, 9, 300.0f, 376.0f, 4.0f);
    ASSERT_NE(body, nullptr);
    ASSERT_EQ(body->link_count, 7);
    softbody_unpin(body.get());
    // The stroke arrives at 40 pixels a step (no further pull, so every point
    // moves exactly alike): point 6 lands on the floor, points 7 and 8 pass it
    // and are pressed onto the same floor point, their links of length 0.
    body->gravity_y = 0.0f;
    for (int i = 1; i < body->point_count; ++i)
        body->points[i].previous_y = body->points[i].y - 40.0f;
    softbody_step(body.get());
    ASSERT_TRUE(finite_points(body.get()));
    for (int i = 6; i <= 8; ++i) {
        EXPECT_EQ(body->points[i].x, 308.0f) << i;
        EXPECT_EQ(body->points[i].y, 440.0f) << i;
    }
    EXPECT_EQ(body->points[5].y, 436.0f);
    // Under the scene's pull the pile spreads out again and stays finite.
    body->gravity_x = -92.0f;
    body->gravity_y = 64.0f;
    body->time_step = 1.0f / 60.0f;
    for (int step = 0; step < 600; ++step) {
        softbody_step(body.get());
        ASSERT_TRUE(finite_points(body.get())) << step;
    }
    for (int i = 1; i < body->point_count; ++i) {
        EXPECT_LE(body->points[i].y, 441.0f) << i;
        EXPECT_LT(body->points[i].x, 300.0f) << i;
    }
}

TEST(SoftBodyStep, PinnedPointsAndPointZeroStayWhileTheRestFalls)
{
    BodyPtr body = body_from({W, W, W}, 1, 3, 100.0f, 100.0f, 4.0f);
    ASSERT_NE(body, nullptr);
    ASSERT_EQ(body->points[0].pinned, 1);
    body->time_step = 1.0f / 60.0f;
    for (int step = 0; step < 60; ++step)
        softbody_step(body.get());
    EXPECT_FLOAT_EQ(body->points[0].y, 100.0f);
    EXPECT_GT(body->points[2].y, 108.0f); // the chain stretches below its pin
    // Let go: point 0 is never integrated, but its link pulls it along.
    softbody_unpin(body.get());
    for (int step = 0; step < 600; ++step)
        softbody_step(body.get());
    EXPECT_GT(body->points[0].y, 100.0f);
    EXPECT_LE(body->points[2].y, 440.0f);
    // softbody_reset puts everything back as built.
    softbody_reset(body.get());
    EXPECT_FLOAT_EQ(body->points[2].y, 108.0f);
    EXPECT_EQ(body->points[0].pinned, 1);
}

class ScreenLines : public OverlayFrame
{
  protected:
    void TearDown() override
    {
        set_clip_window(0.0f, 0.0f, 640.0f, 480.0f);
        OverlayFrame::TearDown();
    }
    int count(uint32_t colour)
    {
        int n = 0;
        for (uint32_t p : pixels_)
            n += p == colour;
        return n;
    }
};

TEST_F(ScreenLines, ClippedLineKeepsInsideTheWindow)
{
    set_clip_window(100.0f, 50.0f, 200.0f, 100.0f); // columns 100..300, rows 50..150
    const int segments[][4] = {
        {0, 0, 639, 479}, {-900, 120, 900, 60}, {250, -4000, 120, 4000}, {-20000000, 100, 20000000, 101}};
    for (const auto& s : segments) {
        fill(0);
        EXPECT_EQ(clipped_line(s[0], s[1], s[2], s[3], 0xff00ff00u), 1);
        int inside = 0;
        for (int y = 0; y < SCREEN_HEIGHT; ++y)
            for (int x = 0; x < SCREEN_WIDTH; ++x)
                if (pixel(x, y)) {
                    ASSERT_TRUE(x >= 100 && x <= 300 && y >= 50 && y <= 150) << x << "," << y;
                    ++inside;
                }
        EXPECT_GT(inside, 20);
    }
    // Outside, or parallel to an edge and beyond it: nothing.
    fill(0);
    EXPECT_EQ(clipped_line(0, 0, 99, 479, 0xffu), 0);
    EXPECT_EQ(clipped_line(310, 60, 400, 60, 0xffu), 0);
    EXPECT_EQ(clipped_line(150, 10, 250, 49, 0xffu), 0);
    EXPECT_EQ(count(0xffu), 0);
    // On the edge counts as inside, as in the polygon clipper.
    EXPECT_EQ(clipped_line(300, 60, 400, 60, 0xffu), 1);
    EXPECT_EQ(pixel(300, 60), 0xffu);
    EXPECT_EQ(count(0xffu), 1);
}

TEST_F(ScreenLines, ClippedLineInsideIsTheScreenLine)
{
    std::vector<uint32_t> want;
    const int segments[][4] = {{10, 10, 200, 77}, {600, 400, 3, 41}, {5, 5, 5, 5}, {639, 0, 0, 479}};
    for (const auto& s : segments) {
        fill(0);
        draw_line(s[0], s[1], s[2], s[3], 0xabcdefu);
        want = pixels_;
        fill(0);
        EXPECT_EQ(clipped_line(s[0], s[1], s[2], s[3], 0xabcdefu), 1);
        EXPECT_TRUE(pixels_ == want) << s[0] << "," << s[1] << " - " << s[2] << "," << s[3];
    }
    // The full-screen window admits x = 640; the line lands on the last column.
    fill(0);
    EXPECT_EQ(clipped_line(640, 100, 700, 100, 0x1u), 1);
    EXPECT_EQ(pixel(639, 100), 0x1u);
}

TEST_F(ScreenLines, LinkIsAWhiteLineBetweenTwoBlackOnes)
{
    BodyPtr body = body_from({W, W}, 2, 1, 100.4f, 200.6f, 4.0f); // ends round to (100, 201), (104, 201)
    ASSERT_NE(body, nullptr);
    fill(0x12345678u);
    EXPECT_EQ(softbody_draw(body.get()), 0);
    for (int x = 100; x <= 104; ++x)
        EXPECT_EQ(pixel(x, 201), 0xff000000u) << x;
    for (int x = 101; x <= 105; ++x)
        EXPECT_EQ(pixel(x, 202), 0xffffffffu) << x;
    for (int x = 102; x <= 106; ++x)
        EXPECT_EQ(pixel(x, 203), 0xff000000u) << x;
    EXPECT_EQ(pixel(99, 201), 0x12345678u);
    EXPECT_EQ(pixel(107, 203), 0x12345678u);
    // Entirely left of the window: nothing drawn, reported as such.
    BodyPtr gone = body_from({W, W, W}, 3, 1, -40.0f, 200.0f, 4.0f);
    fill(0);
    EXPECT_EQ(softbody_draw(gone.get()), 1);
    EXPECT_EQ(count(0u), SCREEN_WIDTH * SCREEN_HEIGHT);
    // Flung beyond any screen coordinate: still nothing, no overflow.
    gone->points[0].x = -3.0e38f;
    gone->points[1].x = std::nanf("");
    EXPECT_EQ(softbody_draw(gone.get()), 1);
}

// ---- Lens ----------------------------------------------------------------------

TEST(LensTable, OutsideTheInnerCircleCellsReadThemselvesInsideTheyMagnify)
{
    LensPtr lens(lens_create(256, 64.0f));
    ASSERT_NE(lens, nullptr);
    const int s = 256, r = 128;
    const float r0 = std::sqrt(128.0f * 128.0f - 64.0f * 64.0f);
    for (int i = 0; i < s; ++i)
        for (int j = 0; j < s; ++j) {
            const int dx = j - r, dy = i - r;
            const int cell = lens->offsets[i * s + j];
            const int fx = cell % s - r, fy = cell / s - r;
            if (r0 * r0 <= static_cast<float>(dx * dx + dy * dy)) {
                ASSERT_EQ(cell, i * s + j) << i << "," << j;
            } else {
                ASSERT_LE(std::abs(fx), std::abs(dx) + 1) << i << "," << j;
                ASSERT_LE(std::abs(fy), std::abs(dy) + 1) << i << "," << j;
            }
        }
    EXPECT_EQ(lens->offsets[r * s + r], r * s + r); // the centre reads the centre
    // (40, 0) from the centre: z = sqrt(128^2 - 40^2), fx = (int)(64 * 40 / z + 0.5) = 21.
    EXPECT_EQ(lens->offsets[r * s + r + 40], r * s + r + 21);
}

TEST(LensTable, EveryStrengthKeepsReadsInsideTheSquare)
{
    for (int size : {1, 2, 7, 256}) {
        LensPtr lens(lens_create(size, 0.0f));
        ASSERT_NE(lens, nullptr);
        for (float h : {0.0f, 64.0f, 100.0f, 128.0f, 500.0f, -70.0f, std::nanf(""), INFINITY}) {
            lens_set_strength(lens.get(), h);
            for (int c = 0; c < size * size; ++c)
                ASSERT_TRUE(lens->offsets[c] >= 0 && lens->offsets[c] < size * size) << size << " " << h;
        }
    }
    EXPECT_EQ(lens_create(0, 64.0f), nullptr);
    EXPECT_EQ(lens_create(-5, 64.0f), nullptr);
    lens_free(nullptr);
}

class LensScreen : public OverlayFrame
{
};

TEST_F(LensScreen, ApplyMatchesThePlainReferenceAtEveryEdge)
{
    LensPtr lens(lens_create(256, 80.0f));
    ASSERT_NE(lens, nullptr);
    std::vector<uint32_t> picture(SCREEN_WIDTH * SCREEN_HEIGHT);
    for (size_t i = 0; i < picture.size(); ++i)
        picture[i] = 0xff000000u | static_cast<uint32_t>(i * 2654435761u >> 8);
    const int s = 256;
    const int places[][2] = {{100, 100}, {-64, 0},  {448, -28}, {500, 380}, {-255, -255}, {639, 479},
                             {-256, 10}, {640, 10}, {10, 480},  {0, 0},     {384, 224}};
    for (const auto& at : places) {
        pixels_ = picture;
        lens_apply(at[0], at[1], lens.get());
        for (int y = 0; y < SCREEN_HEIGHT; ++y)
            for (int x = 0; x < SCREEN_WIDTH; ++x) {
                uint32_t want = picture[y * SCREEN_WIDTH + x];
                if (x >= at[0] && x < at[0] + s && y >= at[1] && y < at[1] + s) {
                    const int cell = lens->offsets[(y - at[1]) * s + (x - at[0])];
                    const int sx = at[0] + cell % s, sy = at[1] + cell / s;
                    const bool on_screen = sx >= 0 && sx < SCREEN_WIDTH && sy >= 0 && sy < SCREEN_HEIGHT;
                    want = on_screen ? picture[sy * SCREEN_WIDTH + sx] : 0u;
                }
                ASSERT_EQ(pixel(x, y), want)
                    << "lens at " << at[0] << "," << at[1] << ": pixel " << x << "," << y;
            }
    }
}

} // namespace
