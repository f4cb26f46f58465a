// The overlay track's passes drawn band by band against the same passes
// drawn one after another over the whole frame: random frames, pictures
// standing across every screen edge, every kind of pass, and queues long
// enough to fill up and be drawn part by part.
#include "overlay_fixture.h"
#include "texture_ptr.h"

#include "image/image.h"
#include "overlays/overlay_ops.h"
#include "overlays/overlay_passes.h"
#include "raster/raster.h"

#include <memory>

namespace
{

class OverlayPassFrame : public OverlayFrame
{
  protected:
    uint32_t next() { return seed_ = seed_ * 1664525u + 1013904223u; }
    int32_t below(int32_t n) { return static_cast<int32_t>((next() >> 8) % static_cast<uint32_t>(n)); }

    // Alphas of 0, 255 and in between, in runs, like the track's pictures.
    TexturePtr picture(int32_t w, int32_t h)
    {
        TexturePtr t(texture_create(w, h));
        for (int32_t i = 0; i < w * h; ++i) {
            const uint32_t rgb = next() & 0x00FFFFFFu, kind = (next() >> 12) & 3;
            t->pixels[i] = kind == 0 ? rgb : kind == 1 ? rgb | 0xFF000000u : next();
        }
        return t;
    }

    void random_frame()
    {
        for (uint32_t& p : pixels_)
            p = next();
    }

    uint32_t seed_ = 2024;
};

// One random pass, drawn at once or queued; the random choices come from the
// test's own sequence, the passes' own draws from core_rand as on the track.
struct PassChoice {
    int32_t kind, x, y, level, picture;
    float phase;
    uint32_t colour;
};

void draw_at_once(const PassChoice& c, const Texture* const* pictures, const Texture* grain)
{
    switch (c.kind) {
    case PASS_BLEND:
        blend_image(pictures[c.picture], c.x, c.y, c.level, BLEND_ALPHA);
        break;
    case PASS_WAVE:
        wave_shift(c.phase, c.colour);
        break;
    case PASS_GRAIN_MIX:
        grain_mix(grain, c.level);
        break;
    case PASS_GRAIN_MODULATE:
        grain_modulate(grain, c.level);
        break;
    case PASS_GLITCH:
        row_glitch(c.x, c.y);
        break;
    default:
        fade_screen(c.colour, c.level);
        break;
    }
}

void queue(OverlayPasses* q, const PassChoice& c, const Texture* const* pictures, const Texture* grain)
{
    switch (c.kind) {
    case PASS_BLEND:
        overlay_passes_blend(q, pictures[c.picture], c.x, c.y, c.level);
        break;
    case PASS_WAVE:
        overlay_passes_wave(q, c.phase, c.colour);
        break;
    case PASS_GRAIN_MIX:
        overlay_passes_grain_mix(q, grain, c.level);
        break;
    case PASS_GRAIN_MODULATE:
        overlay_passes_grain_modulate(q, grain, c.level);
        break;
    case PASS_GLITCH:
        overlay_passes_glitch(q, c.x, c.y);
        break;
    default:
        overlay_passes_fade(q, c.colour, c.level);
        break;
    }
}

TEST_F(OverlayPassFrame, BandByBandGivesTheBytesOfWholeFramePasses)
{
    TexturePtr pictures[3] = {picture(640, 480), picture(201, 77), picture(33, 500)};
    const Texture* picture_list[3] = {pictures[0].get(), pictures[1].get(), pictures[2].get()};
    TexturePtr grain = picture(259, 256);
    OverlayPasses* q = new OverlayPasses;
    overlay_passes_begin(q);
    // One thread, then the frame's halves on two threads at once.
    for (int32_t trial = 0; trial < 80; ++trial) {
        if (trial == 40 && raster_threads_start(2) != 2)
            break;
        // Up to twice the queue's room, so that full queues are drawn midway.
        const int32_t count = 1 + below(2 * OVERLAY_PASS_CAPACITY);
        std::vector<PassChoice> choices(static_cast<size_t>(count));
        for (PassChoice& c : choices) {
            c.kind = below(6);
            c.picture = below(3);
            c.x = below(900) - 300;
            c.y = below(800) - 400;
            c.level = below(300) - 20;
            c.phase = static_cast<float>(below(10000)) / 100.0f;
            c.colour = next();
            if (c.kind == PASS_GLITCH) {
                c.x = below(12) - 1; // shifts -1 .. 10 (the bad -1 does nothing)
                c.y = below(20);     // bands 0 .. 19 (0 does nothing)
            }
        }
        random_frame();
        const std::vector<uint32_t> start = pixels_;
        const uint32_t state = core_rand_state();
        for (const PassChoice& c : choices)
            draw_at_once(c, picture_list, grain.get());
        const std::vector<uint32_t> want = pixels_;
        const uint32_t want_state = core_rand_state();

        pixels_ = start;
        core_srand(state);
        if (trial >= 40) { // a share just ended: the helper is awake and takes half
            raster_share_begin();
            raster_share_end();
        }
        for (const PassChoice& c : choices)
            queue(q, c, picture_list, grain.get());
        overlay_passes_flush(q);
        EXPECT_EQ(core_rand_state(), want_state) << "trial " << trial;
        for (size_t i = 0; i < want.size(); ++i)
            ASSERT_EQ(pixels_[i], want[i]) << "trial " << trial << " passes " << count << " first bad pixel "
                                           << i % SCREEN_WIDTH << "," << i / SCREEN_WIDTH;
    }
    raster_threads_stop();
    delete q;
}

// The row windows keep to the screen however far outside it they reach.
TEST_F(OverlayPassFrame, RowWindowsOutsideTheScreenDrawOnlyTheirScreenRows)
{
    TexturePtr image = picture(640, 480);
    random_frame();
    const std::vector<uint32_t> start = pixels_; // copies: the screen stays on pixels_' storage
    blend_image(image.get(), -7, 3, 200, BLEND_ALPHA);
    wave_shift(1.5f, 0xFF8040C0u);
    fade_screen(0x20304050u, 90);
    const std::vector<uint32_t> want = pixels_;
    pixels_ = start;
    const int32_t cuts[] = {-1000, -3, 0, 5, 100, 479, 480, 2000};
    for (size_t k = 0; k + 1 < std::size(cuts); ++k)
        blend_image_band(image.get(), -7, 3, 200, BLEND_ALPHA, cuts[k], cuts[k + 1]);
    for (size_t k = 0; k + 1 < std::size(cuts); ++k)
        wave_shift_band(1.5f, 0xFF8040C0u, cuts[k], cuts[k + 1]);
    for (size_t k = 0; k + 1 < std::size(cuts); ++k)
        fade_screen_rows(0x20304050u, 90, cuts[k], cuts[k + 1]);
    blend_image_band(image.get(), 0, 0, 255, BLEND_ALPHA, 300, 200); // an empty window draws nothing
    EXPECT_TRUE(pixels_ == want);
}

} // namespace
