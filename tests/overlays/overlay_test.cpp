// Text overlay track: the ease envelope, grain walks, row glitches, the
// closing text's alpha and the load's refusal of a small grain image.
#include "overlay_fixture.h"

#include "image/texture.h"
#include "overlays/overlay_ops.h"
#include "overlays/overlays.h"

#include <cmath>

namespace
{

const char* const overlay_files[] = {
    "when_straight_isnt_good_enough.png",
    "i_spit_on_metaphysics.png",
    "routine_retirement_of_a_replicant.png",
    "revertant_colony_of_mutant_grub.png",
    "mind_the_gap.png",
    "dont_you_know_what.png",
    "they_are_looking_for.png",
    "what_for.png",
    "god.png",
    "oldtv.png",
    "this_is_what_happens_when.png",
    "your_gpu_is_on_parole.png",
    "end_text.png",
};

// Hermite evaluation of the two-key TCB envelope by hand: outgoing tangent of
// key 0 is (1 - t0) * delta, incoming of key 1 is (1 - t1) * delta.
double tcb(double start, double end, double s, double t0, double t1)
{
    const double delta = end - start;
    const double h2 = 3 * s * s - 2 * s * s * s, h1 = 1 - h2;
    const double h3 = s * s * s - 2 * s * s + s, h4 = s * s * s - s * s;
    return h1 * start + h2 * end + h3 * (1 - t0) * delta + h4 * (1 - t1) * delta;
}

TEST(OverlayEase, EnvelopeValues)
{
    EXPECT_FLOAT_EQ(ease_out(-160.0f, 0.0f, 0.0f), -160.0f);
    EXPECT_FLOAT_EQ(ease_out(-160.0f, 0.0f, 1.0f), 0.0f);
    EXPECT_NEAR(ease_out(-160.0f, 0.0f, 0.5f), -15.0f, 1e-4);
    EXPECT_NEAR(ease_in(0.0f, 320.0f, 0.5f), 30.0f, 1e-4);
    for (float s = 0.05f; s < 1.0f; s += 0.1f) {
        EXPECT_NEAR(ease_out(200.0f, 100.0f, s), tcb(200, 100, s, -2.0, 1.25), 1e-3) << s;
        EXPECT_NEAR(ease_in(0.0f, 320.0f, s), tcb(0, 320, s, 1.25, -2.0), 1e-3) << s;
    }
    // Constant outside the two keys, and the shared record does not remember
    // the previous call.
    EXPECT_FLOAT_EQ(ease_out(-437.0f, 0.0f, -0.5f), -437.0f);
    EXPECT_FLOAT_EQ(ease_in(0.0f, 320.0f, 1.5f), 320.0f);
    EXPECT_NEAR(ease_out(-160.0f, 0.0f, 0.5f), -15.0f, 1e-4);
}

TEST(OverlayClosingText, RisesHoldsAndFalls)
{
    EXPECT_EQ(closing_text_alpha(389, 389.0f), 0);
    EXPECT_EQ(closing_text_alpha(391, 391.0f), 127);
    EXPECT_NEAR(closing_text_alpha(392, 392.99f), 254, 1);
    for (float b = 389.0f; b < 393.0f; b += 0.25f) {
        const int32_t alpha = closing_text_alpha(static_cast<int32_t>(b), b);
        EXPECT_GE(alpha, 0) << b;
        EXPECT_LE(alpha, 255) << b;
    }
    EXPECT_EQ(closing_text_alpha(393, 393.0f), 255);
    EXPECT_EQ(closing_text_alpha(402, 402.9f), 255);
    EXPECT_EQ(closing_text_alpha(403, 403.0f), 255);
    EXPECT_EQ(closing_text_alpha(407, 407.0f), 127);
    EXPECT_NEAR(closing_text_alpha(409, 409.98f), 32, 1);
}

TEST_F(OverlayFrame, RowGlitchNeverTouchesTheLastBand)
{
    for (int y = 0; y < SCREEN_HEIGHT; ++y)
        for (int x = 0; x < SCREEN_WIDTH; ++x)
            pixel(x, y) = static_cast<uint32_t>(y * 1000 + x);
    const std::vector<uint32_t> original = pixels_;
    for (int round = 0; round < 50; ++round)
        row_glitch(5, 8);
    for (int y = 472; y < SCREEN_HEIGHT; ++y)
        for (int x = 0; x < SCREEN_WIDTH; ++x)
            ASSERT_EQ(pixel(x, y), original[y * SCREEN_WIDTH + x]);

    // One call moves each band as a whole, left or right, filling with black.
    pixels_ = original;
    const uint32_t state = core_rand_state();
    row_glitch(3, 8);
    core_srand(state);
    for (int y = 0; y < 472; y += 8) {
        const int r = core_rand() & 3;
        for (int row = y; row < y + 8; ++row) {
            const uint32_t* was = &original[row * SCREEN_WIDTH];
            if (r == 1) {
                EXPECT_EQ(pixel(0, row), was[3]);
                EXPECT_EQ(pixel(636, row), was[639]);
                EXPECT_EQ(pixel(637, row), 0xff000000u);
            } else if (r == 3) {
                EXPECT_EQ(pixel(2, row), 0xff000000u);
                EXPECT_EQ(pixel(3, row), was[0]);
                EXPECT_EQ(pixel(639, row), was[636]);
            } else {
                EXPECT_EQ(pixel(0, row), was[0]);
                EXPECT_EQ(pixel(639, row), was[639]);
            }
        }
    }
}

TEST_F(OverlayFrame, RowGlitchRefusesBadBandsAndShifts)
{
    fill(0x11223344u);
    const uint32_t state = core_rand_state();
    row_glitch(5, 0);
    row_glitch(5, -8);
    row_glitch(640, 8);
    row_glitch(-1, 8);
    EXPECT_EQ(core_rand_state(), state);
    for (uint32_t p : pixels_)
        ASSERT_EQ(p, 0x11223344u);
}

TEST_F(OverlayFrame, GrainStaysInTheLetterboxAndFollowsItsFormulas)
{
    ASSERT_TRUE(write_png(data_file("grain.png"), 256, 256, 0x406080ffu));
    Texture* grain = texture_load_png("data\\grain.png", 0);
    ASSERT_NE(grain, nullptr);
    const uint32_t g = grain->pixels[0];
    const uint32_t p = 0xffc08040u;
    auto per_channel = [](uint32_t a, uint32_t b, auto op) {
        uint32_t out = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            uint32_t v = op((a >> shift) & 0xff, (b >> shift) & 0xff);
            out |= (v > 255 ? 255 : v) << shift;
        }
        return out;
    };

    fill(p);
    uint32_t state = core_rand_state();
    grain_mix(grain, 100);
    core_srand(state);
    for (int i = 0; i < 801; ++i)
        core_rand(); // one first draw, two per row
    const uint32_t after_mix = core_rand_state();
    EXPECT_EQ(pixel(0, 39), p);
    EXPECT_EQ(pixel(639, 440), p);
    const uint32_t mixed =
        per_channel(p, g, [](uint32_t pc, uint32_t gc) { return ((pc * 155) >> 8) + ((100 * gc) >> 8); });
    EXPECT_EQ(pixel(0, 40), mixed);
    EXPECT_EQ(pixel(639, 439), mixed);

    fill(p);
    core_srand(after_mix);
    grain_modulate(grain, 63);
    const uint32_t modulated = per_channel(
        p, g, [](uint32_t pc, uint32_t gc) { return ((pc * 192) >> 8) + ((63 * ((pc * gc) >> 8)) >> 8); });
    EXPECT_EQ(pixel(320, 240), modulated);
    EXPECT_EQ(pixel(320, 20), p);
    texture_free(grain);
}

// The grain walks against a literal per-pixel reference on random pictures,
// with grain images of the least width and wider (only columns 0..255 are read).
TEST_F(OverlayFrame, GrainWalksMatchThePerPixelRuleOnRandomImages)
{
    for (const int32_t width : {256, 259}) {
        Texture* grain = texture_create(width, 256);
        ASSERT_NE(grain, nullptr);
        uint32_t seed = 12345;
        auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
        for (int i = 0; i < width * 256; ++i)
            grain->pixels[i] = next();
        for (int modulate = 0; modulate < 2; ++modulate) {
            for (int32_t a : {0, 1, 63, 128, 200, 255}) {
                for (uint32_t& p : pixels_)
                    p = next();
                const std::vector<uint32_t> before = pixels_;
                const uint32_t state = core_rand_state();
                if (modulate)
                    grain_modulate(grain, a);
                else
                    grain_mix(grain, a);
                core_srand(state);
                int32_t r = core_rand();
                for (int y = 40; y < 440; ++y) {
                    const int32_t row = (r + y) & 255;
                    const int32_t e = core_rand();
                    const int32_t o = core_rand();
                    for (int x = 0; x < SCREEN_WIDTH; ++x) {
                        const int32_t column = static_cast<int8_t>(static_cast<uint8_t>(o - (640 - x))) + 128;
                        const uint32_t g = grain->pixels[row * width + column];
                        const uint32_t p = before[y * SCREEN_WIDTH + x];
                        uint32_t want = 0;
                        for (int shift = 0; shift < 32; shift += 8) {
                            const uint32_t pc = (p >> shift) & 0xff, gc = (g >> shift) & 0xff;
                            const uint32_t k = static_cast<uint32_t>(a);
                            uint32_t v = ((pc * (255 - k)) >> 8) +
                                         (modulate ? (k * ((pc * gc) >> 8)) >> 8 : (k * gc) >> 8);
                            want |= (v > 255 ? 255 : v) << shift;
                        }
                        ASSERT_EQ(pixel(x, y), want)
                            << modulate << " a " << a << " width " << width << " at " << x << "," << y;
                    }
                    r = e;
                }
            }
        }
        texture_free(grain);
    }
}

TEST_F(OverlayFrame, FadeAddsTheColourOverTheWholeScreen)
{
    fill(0x80404040u);
    fade_screen(0xff000000u, 255);
    EXPECT_EQ(pixel(0, 0), 0xff000000u);
    EXPECT_EQ(pixel(639, 479), 0xff000000u);
    fill(0x80404040u);
    fade_screen(0xff000000u, 0);
    EXPECT_EQ(pixel(5, 5), 0xff3f3f3fu);

    uint32_t seed = 99;
    for (uint32_t& p : pixels_)
        p = seed = seed * 1664525u + 1013904223u;
    const std::vector<uint32_t> before = pixels_;
    fade_screen(0x40c02080u, 100);
    for (size_t i = 0; i < before.size(); ++i) {
        uint32_t want = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            uint32_t v = ((((before[i] >> shift) & 0xff) * 155) >> 8) + ((0x40c02080u >> shift) & 0xff);
            want |= (v > 255 ? 255 : v) << shift;
        }
        ASSERT_EQ(pixels_[i], want) << i;
    }
}

// How many values overlay_render draws from each generator at a beat tells
// which steps ran: a grain walk draws 801 values of the runtime sequence, a
// row glitch one per band of 8 rows (59), the rnd() terms one float each.
TEST_F(OverlayFrame, EachBeatDrawsTheRandomNumbersOfItsSteps)
{
    for (const char* name : overlay_files)
        ASSERT_TRUE(write_png(data_file(name), 64, 32, 0xc0c0c0ffu));
    ASSERT_TRUE(write_png(data_file("grain.png"), 256, 256, 0x808080ffu));
    ASSERT_EQ(overlay_load(), 0);
    auto count_draws = [](uint32_t from, uint32_t to, bool floats) {
        for (int n = 0; n < 5000; ++n) {
            if (from == to)
                return n;
            if (floats) {
                random_seed = from;
                next_random();
                from = random_seed;
            } else {
                core_srand(from);
                core_rand();
                from = core_rand_state();
            }
        }
        return -1;
    };
    struct Case {
        double beat;
        int ints, floats;
    };
    const Case cases[] = {
        {10.5, 801, 0},                  // grain only
        {24.5, 801 + 59, 0},             // grain and a row glitch
        {100.5, 0, 0},                   // pictures only
        {230.5, 801, 1},                 // the greetings grain with its random level
        {305.5, 801 + 59 + 801 + 59, 2}, // phrases, glitch, grain mix, glitch
        {398.5, 0, 0},                   // only the closing text
    };
    for (const Case& c : cases) {
        set_beat(c.beat);
        fill(0);
        const uint32_t ints = core_rand_state();
        const uint32_t floats = random_seed;
        draw_stages(nullptr, overlay_render);
        const uint32_t ints_after = core_rand_state(), floats_after = random_seed;
        EXPECT_EQ(count_draws(ints, ints_after, false), c.ints) << c.beat;
        EXPECT_EQ(count_draws(floats, floats_after, true), c.floats) << c.beat;
    }
    // From beat 397 only the closing text draws: the letterbox rows keep the
    // text's colour untouched by grain.
    set_beat(398.5);
    fill(0);
    draw_stages(nullptr, overlay_render);
    EXPECT_EQ(pixel(320, 240), pixel(320, 20));
    overlay_free();
}

TEST_F(OverlayFrame, LoadRefusesAGrainSmallerThan256AndNamesIt)
{
    for (const char* name : overlay_files)
        ASSERT_TRUE(write_png(data_file(name), 8, 8, 0xffffffffu));
    ASSERT_TRUE(write_png(data_file("grain.png"), 128, 256, 0x808080ffu));
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(overlay_load(), 1);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("grain.png"), std::string::npos) << err;
    draw_stages(nullptr, overlay_render); // nothing loaded: draws nothing, no crash

    ASSERT_TRUE(write_png(data_file("grain.png"), 256, 256, 0x808080ffu));
    EXPECT_EQ(overlay_load(), 0);
    overlay_free();
    overlay_free();
}

TEST_F(OverlayFrame, LoadNamesAMissingImage)
{
    for (const char* name : overlay_files)
        ASSERT_TRUE(write_png(data_file(name), 8, 8, 0xffffffffu));
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(overlay_load(), 1);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("grain.png"), std::string::npos) << err;
}

} // namespace
