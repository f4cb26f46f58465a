// Test fixture of the overlay tests: a private 640 x 480 frame and depth
// buffer, a scratch data folder the "data\..." names point to, and a small
// PNG writer for the images the overlays load.
#pragma once

#include "core/core.h"
#include "core/frame.h"
#include "platform/paths.h"
#include "raster/raster.h"
#include "runtime/clock.h"
#include "runtime/effects.h"
#include "scratch_dir.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

// Writes an 8-bit RGBA PNG of w x h pixels, every pixel `rgba` (R, G, B, A bytes).
inline bool write_png(const std::string& path, int w, int h, uint32_t rgba)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<png_byte> row(static_cast<size_t>(w) * 4);
    for (int x = 0; x < w; ++x) {
        row[x * 4 + 0] = static_cast<png_byte>(rgba >> 24);
        row[x * 4 + 1] = static_cast<png_byte>(rgba >> 16);
        row[x * 4 + 2] = static_cast<png_byte>(rgba >> 8);
        row[x * 4 + 3] = static_cast<png_byte>(rgba);
    }
    for (int y = 0; y < h; ++y)
        png_write_row(png, row.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return true;
}

// A scene or overlay as the timeline draws it at the clock's frame: its
// render stage inside a drawing share, then its finish stage (either may be
// null), each from the rasterizer's starting state.
inline void draw_stages(SceneRender render, SceneRender finish = nullptr)
{
    const TimelineEntry row = {render, finish, INT32_MIN, INT32_MAX};
    timeline_render_table(&row, 1, clock_scene_frame());
}

class OverlayFrame : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        pixels_.assign(SCREEN_WIDTH * SCREEN_HEIGHT, 0u);
        surface_ = {SCREEN_WIDTH, SCREEN_HEIGHT, SCREEN_WIDTH * 4, pixels_.data()};
        saved_screen_ = screen;
        screen = &surface_;
        saved_depth_ = depth_buffer;
        depth_buffer = depth_buffer_create(SCREEN_WIDTH, SCREEN_HEIGHT);
        // The drawing state every timeline row starts from, whatever the
        // test before left (a scene's letterbox window, say).
        raster_reset_state();
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        // Under this build's own folder: checkouts that run the same test
        // at once never share it.
        dir_ = scratch_path((std::string("overlay-") + info->test_suite_name() + "-" + info->name()).c_str());
        paths_set_data_dir(dir_.string().c_str());
        clock_set_tempo(90.0f);
    }

    void TearDown() override
    {
        paths_set_data_dir(nullptr);
        std::filesystem::remove_all(dir_);
        depth_buffer_free(depth_buffer);
        depth_buffer = saved_depth_;
        screen = saved_screen_;
    }

    // The music time of a beat at 90 beats per minute.
    // A hair past the beat, so that float rounding never lands on the beat before.
    static void set_beat(double beat) { clock_set_time((beat + 1e-4) / 1.5, 1.0 / 60.0); }

    // As the program names it: the folder given to paths_set_data_dir, "/", the name.
    std::string data_file(const char* name) const { return dir_.string() + "/" + name; }
    uint32_t& pixel(int x, int y) { return pixels_[static_cast<size_t>(y) * SCREEN_WIDTH + x]; }
    void fill(uint32_t value) { pixels_.assign(pixels_.size(), value); }

    std::vector<uint32_t> pixels_;
    FrameSurface surface_{};
    FrameSurface* saved_screen_ = nullptr;
    DepthBuffer* saved_depth_ = nullptr;
    std::filesystem::path dir_;
};
