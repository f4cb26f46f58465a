// The scenes' row work queued into a share drawn by two threads against the
// image operations drawn at once by one: random frames and pictures standing
// across every screen edge, queued between draws and beyond the queue's room.
#include "../overlays/overlay_fixture.h"
#include "texture_ptr.h"

#include "image/image.h"
#include "raster/raster.h"
#include "scenes/queued.h"

#include <memory>

namespace
{

class SceneRows : public OverlayFrame
{
  protected:
    void TearDown() override
    {
        raster_threads_stop();
        OverlayFrame::TearDown();
    }
    uint32_t next() { return seed_ = seed_ * 1664525u + 1013904223u; }
    TexturePtr picture(int32_t w, int32_t h)
    {
        TexturePtr t(texture_create(w, h));
        for (int32_t i = 0; i < w * h; ++i)
            t->pixels[i] = (next() >> 12 & 1) ? next() | 0xFF000000u : next();
        return t;
    }
    uint32_t seed_ = 77;
};

// One round of every kind of row work, from a seed: `queued` uses the scene
// calls, the other the image operations they stand for.
void row_work(uint32_t seed, const Texture* big, const Texture* small, const uint32_t* rows_of_words,
              bool queued)
{
    uint32_t s = seed;
    auto next = [&s] { return s = s * 22695477u + 1u; };
    auto at = [&](int32_t lo, int32_t hi) {
        return lo + static_cast<int32_t>((next() >> 8) % (hi - lo + 1));
    };
    for (int k = 0; k < 40; ++k) {
        const int32_t x = at(-700, 700), y = at(-500, 500), mode = at(0, 7), alpha = at(-10, 300);
        const int32_t sx = at(-30, 60), sy = at(-30, 60), w = at(-5, 300), h = at(-5, 300);
        const int32_t a = at(-20, 500), b = at(-20, 500), passes = at(0, 70);
        const Texture* t = k % 2 ? big : small;
        const uint32_t colour = next();
        switch (k % 6) {
        case 0:
            queued ? queued_blit_image(t, x, y, mode % 7) : blit_image(t, x, y, mode % 7);
            break;
        case 1:
            queued ? queued_blend_image(t, x, y, alpha, mode) : blend_image(t, x, y, alpha, mode);
            break;
        case 2:
            queued ? queued_blend_rect(t, x, y, sx, sy, w, h, alpha, mode)
                   : blend_rect(t, x, y, sx, sy, w, h, alpha, mode);
            break;
        case 3:
            queued ? queued_blur(a, b, passes) : blur_rows(a, b, passes);
            break;
        case 4:
            if (queued) {
                queued_fill(a, b, colour);
            } else {
                for (int32_t r = std::max(a, 0); r < std::min(b, 480); ++r)
                    std::fill(screen_row(r), screen_row(r) + SCREEN_WIDTH, colour);
            }
            break;
        default: {
            const int32_t count = at(-3, 60), top = at(-80, 470);
            if (queued) {
                queued_copy(rows_of_words, top, count);
            } else {
                for (int32_t r = std::max(top, 0); r < std::min(top + count, 480); ++r)
                    std::copy(rows_of_words + static_cast<size_t>(r - top) * SCREEN_WIDTH,
                              rows_of_words + static_cast<size_t>(r - top + 1) * SCREEN_WIDTH, screen_row(r));
            }
        }
        }
    }
}

TEST_F(SceneRows, RowWorkInATwoThreadShareDrawsWhatTheImageOperationsDraw)
{
    const TexturePtr big = picture(700, 520), small = picture(37, 23);
    std::vector<uint32_t> words(static_cast<size_t>(SCREEN_WIDTH) * 60);
    for (uint32_t& w : words)
        w = next();
    std::vector<uint32_t> want(pixels_.size());
    for (uint32_t& p : want)
        p = next();
    const bool two = raster_threads_start(2) == 2;
    // Round by round (later rounds would paint over a wrong row), the queued
    // calls after the same start as the image operations.
    for (uint32_t round = 0; round < 40; ++round) {
        const std::vector<uint32_t> start = want;
        pixels_ = start;
        row_work(round, big.get(), small.get(), words.data(), false);
        want = pixels_;
        pixels_ = start;
        raster_share_begin(); // without the helper: at once
        row_work(round, big.get(), small.get(), words.data(), true);
        raster_share_end();
        ASSERT_TRUE(pixels_ == want) << "round " << round << (two ? " on two threads" : "");
    }
    if (!two)
        GTEST_SKIP() << "no second thread here";
}

} // namespace
