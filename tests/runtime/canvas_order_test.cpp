// Canvas byte order: the page's canvas (R, G, B, A in memory) and the
// desktop order from masks alone, alpha forced opaque, and no byte of one
// channel leaking into another.
#include "runtime/canvas_order.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace
{

TEST(CanvasOrder, CanvasMasksPutRedInTheFirstByteAndSetAlpha)
{
    // Emscripten's SDL 1.2 surface: the masks say where, its shifts are 0.
    CanvasOrder o = canvas_order_from_masks(0x000000FFu, 0x0000FF00u, 0x00FF0000u, 0xFF000000u);
    const uint32_t src[3] = {0x00123456u, 0x00FF0000u, 0x00000000u};
    uint32_t dst[3];
    canvas_convert(src, dst, 3, o);
    uint8_t bytes[12];
    std::memcpy(bytes, dst, sizeof bytes);
    const uint8_t expected[12] = {0x12, 0x34, 0x56, 0xFF, 0xFF, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0xFF};
    for (int i = 0; i < 12; i++)
        EXPECT_EQ(bytes[i], expected[i]) << "byte " << i; // little-endian words, as in WebAssembly
}

TEST(CanvasOrder, ProgramMasksCopyTheColourAndDropTheUnusedByte)
{
    CanvasOrder o = canvas_order_from_masks(0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0);
    EXPECT_EQ(o.red_shift, 16u);
    EXPECT_EQ(o.green_shift, 8u);
    EXPECT_EQ(o.blue_shift, 0u);
    std::vector<uint32_t> src(640), dst(640);
    for (size_t i = 0; i < src.size(); i++)
        src[i] = static_cast<uint32_t>(i * 0x9E3779B9u); // top byte set too: never copied
    canvas_convert(src.data(), dst.data(), static_cast<int32_t>(src.size()), o);
    for (size_t i = 0; i < src.size(); i++)
        ASSERT_EQ(dst[i], src[i] & 0x00FFFFFFu) << "pixel " << i;
}

TEST(CanvasOrder, NoMaskGivesShiftZero)
{
    CanvasOrder o = canvas_order_from_masks(0, 0x0000FF00u, 0, 0);
    EXPECT_EQ(o.red_shift, 0u);
    EXPECT_EQ(o.green_shift, 8u);
    EXPECT_EQ(o.blue_shift, 0u);
}

} // namespace
