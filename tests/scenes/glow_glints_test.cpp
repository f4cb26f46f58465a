// The shared ray and glint helpers: the half-size letterbox copy and its
// stretched add against the plain per-pixel rules (every pixel, saturation,
// the rows outside the letterbox untouched), and the glint atlas cell,
// corners and colours.
#include "../overlays/overlay_fixture.h"

#include "scenes/glints.h"
#include "scenes/glow.h"

#include "image/ops2d.h"
#include "raster/raster.h"

#include <algorithm>
#include <cmath>

namespace
{

uint32_t channel(uint32_t p, int c)
{
    return (p >> (8 * c)) & 0xffu;
}

class GlowFrame : public OverlayFrame
{
  protected:
    void noise(uint32_t seed)
    {
        for (uint32_t& p : pixels_) {
            seed = seed * 1664525u + 1013904223u;
            p = seed;
        }
    }
};

TEST_F(GlowFrame, DownsampleAveragesEachTwoByTwoBlockOfTheLetterbox)
{
    noise(7);
    Texture* buffer = glow_create();
    ASSERT_NE(buffer, nullptr);
    glow_downsample(buffer);
    for (int r = 0; r < GLOW_HEIGHT; ++r)
        for (int c = 0; c < GLOW_WIDTH; ++c) {
            uint32_t expected = 0;
            for (int k = 0; k < 4; ++k) {
                const uint32_t sum =
                    channel(pixel(2 * c, 40 + 2 * r), k) + channel(pixel(2 * c + 1, 40 + 2 * r), k) +
                    channel(pixel(2 * c, 41 + 2 * r), k) + channel(pixel(2 * c + 1, 41 + 2 * r), k);
                expected |= (sum >> 2) << (8 * k);
            }
            ASSERT_EQ(buffer->pixels[r * GLOW_WIDTH + c], expected) << "buffer pixel " << c << ", " << r;
        }
    texture_free(buffer);
}

TEST_F(GlowFrame, UpsampledAddIsTheRoundedAverageOfFourBufferPixelsSaturated)
{
    Texture* buffer = glow_create();
    ASSERT_NE(buffer, nullptr);
    uint32_t seed = 99;
    for (int i = 0; i < GLOW_WIDTH * GLOW_HEIGHT; ++i) {
        seed = seed * 1664525u + 1013904223u;
        buffer->pixels[i] = seed & 0x7f7f7f7fu; // low enough that sums do not always saturate
    }
    noise(3);
    const std::vector<uint32_t> before = pixels_;
    glow_add_upsampled(buffer);
    auto avg = [](uint32_t p, uint32_t q, int k) { return (channel(p, k) + channel(q, k) + 1) >> 1; };
    for (int y = 0; y < SCREEN_HEIGHT; ++y)
        for (int x = 0; x < SCREEN_WIDTH; ++x) {
            const uint32_t old = before[static_cast<size_t>(y) * SCREEN_WIDTH + x];
            if (y < 40 || y >= 440) {
                ASSERT_EQ(pixel(x, y), old) << x << ", " << y;
                continue;
            }
            const int yl = y - 40;
            const int r0 = yl / 2, r1 = std::min(yl + 1, 399) / 2;
            const int c0 = x / 2, c1 = x == 639 ? 319 : (x + 1) / 2;
            const uint32_t* b = buffer->pixels;
            uint32_t expected = 0;
            for (int k = 0; k < 4; ++k) {
                const uint32_t top = avg(b[r0 * GLOW_WIDTH + c0], b[r0 * GLOW_WIDTH + c1], k);
                const uint32_t bottom = avg(b[r1 * GLOW_WIDTH + c0], b[r1 * GLOW_WIDTH + c1], k);
                const uint32_t v = channel(old, k) + ((top + bottom + 1) >> 1);
                expected |= std::min(v, 255u) << (8 * k);
            }
            ASSERT_EQ(pixel(x, y), expected) << x << ", " << y;
        }
    texture_free(buffer);
}

// The rays in bands of rows cut anywhere (odd rows, outside the letterbox,
// empty), and on two drawing threads, give the bytes of the three calls.
TEST_F(GlowFrame, RaysInBandsAndOnTwoThreadsDrawWhatTheWholeCallsDraw)
{
    Texture* buffer = glow_create();
    Texture* bands = glow_create();
    ASSERT_TRUE(buffer && bands);
    noise(11);
    const std::vector<uint32_t> start = pixels_;
    glow_downsample(buffer);
    const std::vector<uint32_t> down(buffer->pixels, buffer->pixels + GLOW_WIDTH * GLOW_HEIGHT);
    zoom_blur(buffer, 160, 0, 1, 5);
    glow_add_upsampled(buffer);
    const std::vector<uint32_t> want = pixels_;

    pixels_ = start;
    const int32_t cuts[] = {-9, 0, 41, 42, 133, 240, 241, 439, 440, 900};
    for (size_t k = 0; k + 1 < std::size(cuts); ++k)
        glow_downsample_rows(bands, (cuts[k] - 40 + 1) / 2, (cuts[k + 1] - 40 + 1) / 2);
    ASSERT_TRUE(std::equal(down.begin(), down.end(), bands->pixels));
    zoom_blur(bands, 160, 0, 1, 5);
    for (size_t k = 0; k + 1 < std::size(cuts); ++k)
        glow_add_upsampled_rows(bands, cuts[k + 1], cuts[k + 1]); // empty
    for (size_t k = 0; k + 1 < std::size(cuts); ++k)
        glow_add_upsampled_rows(bands, cuts[k], cuts[k + 1]);
    EXPECT_TRUE(pixels_ == want);

    for (int threads : {1, 2}) {
        if (raster_threads_start(threads) != threads)
            continue;
        for (int round = 0; round < 3; ++round) {
            pixels_ = start;
            raster_share_begin(); // a share just ended keeps the helper awake
            raster_share_end();
            glow_rays(bands, 160, 0, 5);
            ASSERT_TRUE(pixels_ == want) << threads << " threads, round " << round;
        }
        raster_threads_stop();
    }
    texture_free(buffer);
    texture_free(bands);
}

TEST_F(GlowFrame, BuffersOfAnotherSizeOrNoScreenAreLeftAlone)
{
    noise(5);
    const std::vector<uint32_t> before = pixels_;
    Texture* small = texture_create(64, 64);
    glow_downsample(small);
    glow_add_upsampled(small);
    glow_downsample(nullptr);
    glow_add_upsampled(nullptr);
    EXPECT_EQ(pixels_, before);
    for (int i = 0; i < 64 * 64; ++i)
        ASSERT_EQ(small->pixels[i], 0u);
    texture_free(small);
}

TEST(GlintCells, WeightPicksAtlasCellsFromFifteenToZeroAndStaysInTheAtlas)
{
    EXPECT_EQ(glint_cell(1.0f), 0);
    EXPECT_EQ(glint_cell(0.999f), 0);
    EXPECT_EQ(glint_cell(0.5f), 8);
    EXPECT_EQ(glint_cell(0.01f), 15);
    EXPECT_EQ(glint_cell(0.0f), 15); // 16 would be past the atlas
    EXPECT_EQ(glint_cell(-1.0f), 15);
    EXPECT_EQ(glint_cell(2.0f), 0);
    EXPECT_EQ(glint_cell(std::nanf("")), 15);
}

TEST(GlintCells, QuadCornersTextureAndColour)
{
    Mesh* mesh = glint_mesh_create(4, nullptr);
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->vertex_count, 0);
    EXPECT_EQ(mesh->flags, MESH_TWO_SIDED);
    EXPECT_EQ(mesh->triangles[7].a, 12);
    EXPECT_EQ(mesh->triangles[7].b, 14);
    EXPECT_EQ(mesh->triangles[7].c, 15);
    const Vec3 centre = {1.0f, 2.0f, 3.0f};
    Vec3 corners[4];
    glint_square(&centre, 0.5f, -1.0f, corners);
    // l = 0.5: cell 8, origin (0, 0.5); grey 127.
    glint_write(mesh, 2, corners, 0.5f);
    glint_mesh_set_count(mesh, 3);
    EXPECT_EQ(mesh->vertex_count, 12);
    EXPECT_EQ(mesh->triangle_count, 6);
    const MeshVertex* v = mesh->vertices + 8;
    const float expected[4][4] = {{1.5f, 2.5f, 0.25f, 0.5f},
                                  {1.5f, 1.5f, 0.25f, 0.75f},
                                  {0.5f, 1.5f, 0.0f, 0.75f},
                                  {0.5f, 2.5f, 0.0f, 0.5f}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(v[i].x, expected[i][0]) << i;
        EXPECT_FLOAT_EQ(v[i].y, expected[i][1]) << i;
        EXPECT_FLOAT_EQ(v[i].z, -1.0f) << i;
        EXPECT_FLOAT_EQ(v[i].u, expected[i][2]) << i;
        EXPECT_FLOAT_EQ(v[i].v, expected[i][3]) << i;
        EXPECT_EQ(v[i].colour, 0x7f7f7f7fu) << i;
    }
    EXPECT_EQ(mesh->triangles[4].lit_colour, 0x7f7f7f7fu);
    EXPECT_EQ(mesh->triangles[5].lit_colour, 0x7f7f7f7fu);
    mesh_free(mesh);
    EXPECT_EQ(glint_mesh_create(0, nullptr), nullptr);
}

} // namespace
