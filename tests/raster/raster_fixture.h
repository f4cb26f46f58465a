// Test helpers for the rasterizer: a private 640 x 480 surface (with guard
// words around it) and depth buffer installed as `screen` / `depth_buffer`,
// triangle builders, a small deterministic generator and a PNG writer.
#pragma once

#include "core/frame.h"
#include "image/texture.h"
#include "raster/raster.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

class RasterFixture : public ::testing::Test
{
  protected:
    static constexpr int kGuard = 4096;
    static constexpr uint32_t kGuardWord = 0xDEADBEEFu;

    void SetUp() override
    {
        storage_.assign(static_cast<size_t>(640 * 480 + 2 * kGuard), kGuardWord);
        surface_ = FrameSurface{640, 480, 2560, storage_.data() + kGuard};
        saved_screen_ = screen;
        saved_depth_ = depth_buffer;
        screen = &surface_;
        depth_buffer = depth_buffer_create(640, 480);
        clear(0xFF000000u);
        set_depth_clip(1.0f, 1024.0f);
        set_clip_window(0.0f, 0.0f, 640.0f, 480.0f);
    }
    void TearDown() override
    {
        depth_buffer_free(depth_buffer);
        depth_buffer = saved_depth_;
        screen = saved_screen_;
        set_environment_texture(nullptr);
        set_bump_texture(nullptr);
        set_offset_texture(nullptr);
    }
    void clear(uint32_t colour)
    {
        for (int i = 0; i < 640 * 480; i++)
            surface_.pixels[i] = colour;
        depth_buffer_fill(depth_buffer, DEPTH_CLEAR);
    }
    uint32_t& px(int x, int y) { return surface_.pixels[y * 640 + x]; }
    int32_t& dp(int x, int y) { return depth_buffer->values[y * 640 + x]; }
    std::vector<uint32_t> frame() const
    {
        return std::vector<uint32_t>(surface_.pixels, surface_.pixels + 640 * 480);
    }
    bool guards_intact() const
    {
        for (int i = 0; i < kGuard; i++)
            if (storage_[i] != kGuardWord || storage_[kGuard + 640 * 480 + i] != kGuardWord)
                return false;
        return true;
    }

    std::vector<uint32_t> storage_;
    FrameSurface surface_{};
    FrameSurface* saved_screen_ = nullptr;
    DepthBuffer* saved_depth_ = nullptr;
};

inline ScreenVertex sv(float x, float y, float z = 0.0f, uint32_t colour = 0xFFFFFFFFu, float u = 0.0f,
                       float v = 0.0f)
{
    return ScreenVertex{x, y, z, 1.0f, colour, u, v, 0.0f, 0.0f};
}

inline RasterTriangle tri(ScreenVertex a, ScreenVertex b, ScreenVertex c, uint32_t flat = 0xFFFFFFFFu,
                          uint32_t flags = 0)
{
    RasterTriangle t{};
    t.v[0] = a;
    t.v[1] = b;
    t.v[2] = c;
    t.flat_colour = flat;
    t.flags = flags;
    return t;
}

// Small LCG for test data (independent of the program's generators).
struct TestRandom {
    uint32_t s;
    explicit TestRandom(uint32_t seed) : s(seed) {}
    uint32_t next() { return s = s * 1664525u + 1013904223u; }
    uint32_t below(uint32_t n) { return static_cast<uint32_t>((static_cast<uint64_t>(next()) * n) >> 32); }
    float range(float lo, float hi) { return lo + (hi - lo) * static_cast<float>(next() >> 8) / 16777216.0f; }
};

// A texture owned by the test (power-of-two sizes, no mip chain).
struct TestTexture {
    Texture t{};
    std::vector<uint32_t> pixels;
    TestTexture(int log2w, int log2h)
    {
        t.width = 1 << log2w;
        t.height = 1 << log2h;
        t.width_log2 = log2w;
        t.height_log2 = log2h;
        t.width_mask = t.width - 1;
        t.height_mask = t.height - 1;
        pixels.assign(static_cast<size_t>(t.width * t.height), 0u);
        t.pixels = pixels.data();
    }
    uint32_t& at(int u, int v) { return pixels[static_cast<size_t>(v * t.width + u)]; }
};

// Writes the current 640 x 480 frame as an RGB PNG; false on failure.
bool write_frame_png(const std::string& path, const uint32_t* pixels);
