// The helpers of the colour and single-texture spans against their plain
// rules: whether a triangle's vertex colour stays in 0..255 over its box,
// checked pixel by pixel with the walk's wrapping arithmetic.
#include "raster_fixture.h"
#include "raster/fill_standard.h"

namespace
{

// Every value the walk forms in the box, start + x_step dx + y_step dy in
// wrapping 32-bit arithmetic, and the same without wrapping.
void box_values_in_range(const RasterTriangle& t, const Interpolant* colour, bool* wrapped, bool* exact)
{
    *wrapped = *exact = true;
    for (int i = 0; i < 4; i++)
        for (int32_t dy = 0; dy <= t.max_y - t.min_y; dy++)
            for (int32_t dx = 0; dx <= t.max_x - t.min_x; dx++) {
                const uint32_t w = static_cast<uint32_t>(colour[i].start) +
                                   static_cast<uint32_t>(colour[i].x_step) * static_cast<uint32_t>(dx) +
                                   static_cast<uint32_t>(colour[i].y_step) * static_cast<uint32_t>(dy);
                const int64_t e = int64_t{colour[i].start} + int64_t{colour[i].x_step} * dx +
                                  int64_t{colour[i].y_step} * dy;
                *wrapped = *wrapped && (w >> 11) <= 255u;
                *exact = *exact && e >= 0 && e < (int64_t{256} << 11);
            }
}

// The shortcut must hold exactly when every value of the box lies in 0..255
// (so the clamped pack equals the unclamped one at every pixel drawn), for
// boxes from one pixel to the whole frame and values on both sides of the
// bounds, steep steps and steps that wrap across the box.
TEST(FillStandardHelpers, ColourWithinBytesExactlyWhenEveryValueOfTheBoxIsAByte)
{
    TestRandom r(4711);
    int inside = 0, outside = 0;
    for (int n = 0; n < 6000; n++) {
        RasterTriangle t{};
        const int32_t w = n % 50 == 0 ? 639 : static_cast<int32_t>(r.below(n % 3 == 0 ? 4 : 40));
        const int32_t h = n % 50 == 0 ? 479 : static_cast<int32_t>(r.below(n % 3 == 1 ? 4 : 40));
        t.min_x = static_cast<int32_t>(r.below(static_cast<uint32_t>(640 - w)));
        t.min_y = static_cast<int32_t>(r.below(static_cast<uint32_t>(480 - h)));
        t.max_x = t.min_x + w;
        t.max_y = t.min_y + h;
        Interpolant colour[4];
        for (auto& c : colour) {
            const int32_t ends[] = {0, 1024, (255 << 11) + 1024, (256 << 11) - 1, 256 << 11, -1};
            const int32_t scale = r.below(8) == 0 ? 1 << 22 : r.below(2) ? 64 : 1;
            auto step = [&]() { return static_cast<int32_t>(int64_t{r.below(2001)} * scale / 1000 - scale); };
            c.x_step = step();
            c.y_step = step();
            c.start = ends[r.below(6)] + static_cast<int32_t>(r.below(64)) - 32;
            if (r.below(3) == 0) // the far corner's value near a bound instead (wrapping)
                c.start = static_cast<int32_t>(static_cast<uint32_t>(c.start) -
                                               static_cast<uint32_t>(c.x_step) * static_cast<uint32_t>(w) -
                                               static_cast<uint32_t>(c.y_step) * static_cast<uint32_t>(h));
        }
        bool wrapped, exact;
        box_values_in_range(t, colour, &wrapped, &exact);
        const bool got = fill_detail::colour_within_bytes(&t, colour);
        ASSERT_EQ(got, exact) << n;
        if (got) {
            ASSERT_TRUE(wrapped) << n;
        }
        inside += got;
        outside += !got;
    }
    EXPECT_GT(inside, 150);
    EXPECT_GT(outside, 300);
}

} // namespace
