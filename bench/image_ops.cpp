// Benchmarks of the image module: every 2D operation on a full 640 x 480
// frame of random pixels (restored before each iteration, outside the
// timing), the JPEG and PNG loaders on a 256 x 256 image, and a text image.
// Goals: each 2D operation under 0.5 ms, the 256 x 256 JPEG under 2 ms.
#include "core/frame.h"
#include "image/image.h"

#include <benchmark/benchmark.h>
#include <jpeglib.h>
#include <png.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{

std::vector<uint32_t> frame_pixels(SCREEN_WIDTH* SCREEN_HEIGHT);
std::vector<uint32_t> frame_source(SCREEN_WIDTH* SCREEN_HEIGHT);
FrameSurface frame{SCREEN_WIDTH, SCREEN_HEIGHT, SCREEN_WIDTH * 4, nullptr};
Texture* layer = nullptr; // 640 x 480 random image with mixed alpha

uint32_t lcg_state = 1;
uint32_t lcg()
{
    lcg_state = lcg_state * 1664525u + 1013904223u;
    return lcg_state;
}

void setup_frame()
{
    if (layer)
        return;
    for (uint32_t& p : frame_source)
        p = lcg() ^ (lcg() >> 11);
    frame.pixels = frame_pixels.data();
    screen = &frame;
    layer = texture_create(SCREEN_WIDTH, SCREEN_HEIGHT);
    for (int i = 0; i < SCREEN_WIDTH * SCREEN_HEIGHT; i++)
        layer->pixels[i] = lcg();
}

void restore_frame()
{
    std::memcpy(frame_pixels.data(), frame_source.data(), frame_pixels.size() * 4);
}

// Runs op once per iteration on a freshly restored frame.
template <typename Op> void run_on_frame(benchmark::State& state, Op op)
{
    setup_frame();
    for (auto _ : state) {
        state.PauseTiming();
        restore_frame();
        state.ResumeTiming();
        op();
        benchmark::ClobberMemory();
    }
}

void BM_blit_image(benchmark::State& state)
{
    int mode = static_cast<int>(state.range(0));
    run_on_frame(state, [mode] { blit_image(layer, 0, 0, mode); });
}
BENCHMARK(BM_blit_image)->DenseRange(0, 6)->Unit(benchmark::kMicrosecond);

void BM_blend_image(benchmark::State& state)
{
    int mode = static_cast<int>(state.range(0));
    run_on_frame(state, [mode] { blend_image(layer, 0, 0, 200, mode); });
}
BENCHMARK(BM_blend_image)->DenseRange(0, 7)->Unit(benchmark::kMicrosecond);

// BLEND_ALPHA of a picture as the overlays have them: runs of 1 to 64 pixels,
// about half fully transparent, a third fully opaque, the rest part-transparent.
// Argument: the alpha argument (255 for the pictures laid over at full
// strength, 127 for a cross-fade).
void BM_blend_picture(benchmark::State& state)
{
    static Texture* picture = nullptr;
    if (!picture) {
        picture = texture_create(SCREEN_WIDTH, SCREEN_HEIGHT);
        for (int i = 0; i < SCREEN_WIDTH * SCREEN_HEIGHT;) {
            const uint32_t kind = lcg() % 6, run = 1 + (lcg() >> 8) % 64;
            for (uint32_t k = 0; k < run && i < SCREEN_WIDTH * SCREEN_HEIGHT; k++, i++) {
                const uint32_t rgb = lcg() & 0x00FFFFFF;
                picture->pixels[i] = kind < 3 ? rgb : kind < 5 ? rgb | 0xFF000000u : lcg();
            }
        }
    }
    const int alpha = static_cast<int>(state.range(0));
    run_on_frame(state, [alpha] { blend_image(picture, 0, 0, alpha, BLEND_ALPHA); });
}
BENCHMARK(BM_blend_picture)->Arg(255)->Arg(127)->Unit(benchmark::kMicrosecond);

void BM_blend_rect(benchmark::State& state)
{
    run_on_frame(state, [] { blend_rect(layer, -3, 2, 1, 0, 639, 480, 180, BLEND_SOURCE_INVERSE); });
}
BENCHMARK(BM_blend_rect)->Unit(benchmark::kMicrosecond);

// The loading screen's call: six passes on a 640 x 480 copy of the frame.
void BM_zoom_blur_6_passes(benchmark::State& state)
{
    setup_frame();
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(layer->pixels, frame_source.data(), frame_source.size() * 4);
        state.ResumeTiming();
        zoom_blur(layer, 320, 240, 1, 6);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_zoom_blur_6_passes)->Unit(benchmark::kMicrosecond);

// The terrain's call on its light-ray buffer: five passes on 320 x 200 from
// the middle of the top row.
void BM_zoom_blur_glow(benchmark::State& state)
{
    setup_frame();
    Texture* glow = texture_create(320, 200);
    for (auto _ : state) {
        state.PauseTiming();
        for (int32_t y = 0; y < 200; y++)
            std::memcpy(glow->pixels + y * 320, frame_source.data() + (y + 40) * 640, 320 * 4);
        state.ResumeTiming();
        zoom_blur(glow, 160, 0, 1, 5);
        benchmark::ClobberMemory();
    }
    texture_free(glow);
}
BENCHMARK(BM_zoom_blur_glow)->Unit(benchmark::kMicrosecond);

void BM_wave_shift(benchmark::State& state)
{
    run_on_frame(state, [] { wave_shift(1.25f, 0x80808080); });
}
BENCHMARK(BM_wave_shift)->Unit(benchmark::kMicrosecond);

void BM_blur_columns_full(benchmark::State& state)
{
    run_on_frame(state, [] { blur_columns(0, 640, 1); });
}
BENCHMARK(BM_blur_columns_full)->Unit(benchmark::kMicrosecond);

void BM_blur_rows_full(benchmark::State& state)
{
    run_on_frame(state, [] { blur_rows(0, 480, 1); });
}
BENCHMARK(BM_blur_rows_full)->Unit(benchmark::kMicrosecond);

// The scenes' bands: three 20-wide bands of 64, 32 and 64 passes.
void BM_blur_column_bands(benchmark::State& state)
{
    run_on_frame(state, [] {
        blur_columns(380, 400, 64);
        blur_columns(420, 440, 32);
        blur_columns(460, 480, 64);
    });
}
BENCHMARK(BM_blur_column_bands)->Unit(benchmark::kMicrosecond);

void BM_blur_row_bands(benchmark::State& state)
{
    run_on_frame(state, [] {
        blur_rows(190, 210, 64);
        blur_rows(230, 250, 32);
        blur_rows(270, 290, 64);
    });
}
BENCHMARK(BM_blur_row_bands)->Unit(benchmark::kMicrosecond);

void BM_glow_vertical(benchmark::State& state)
{
    run_on_frame(state, [] { glow_vertical(); });
}
BENCHMARK(BM_glow_vertical)->Unit(benchmark::kMicrosecond);

void BM_glow_horizontal(benchmark::State& state)
{
    run_on_frame(state, [] { glow_horizontal(); });
}
BENCHMARK(BM_glow_horizontal)->Unit(benchmark::kMicrosecond);

void BM_block_glow(benchmark::State& state)
{
    run_on_frame(state, [] { block_glow(0); }); // every block brightens: the slowest case
}
BENCHMARK(BM_block_glow)->Unit(benchmark::kMicrosecond);

void BM_rgb_scanlines(benchmark::State& state)
{
    run_on_frame(state, [] { rgb_scanlines(); });
}
BENCHMARK(BM_rgb_scanlines)->Unit(benchmark::kMicrosecond);

// ---- Loaders --------------------------------------------------------------------

std::string temp_file(const char* suffix)
{
    return "/tmp/dunravel-bench-" + std::to_string(getpid()) + suffix;
}

// A photograph-like 256 x 256 image: smooth gradients plus noise.
std::vector<uint8_t> test_picture()
{
    std::vector<uint8_t> rgb;
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++) {
            uint32_t n = lcg() >> 28;
            rgb.push_back(static_cast<uint8_t>(x + n));
            rgb.push_back(static_cast<uint8_t>(y ^ x));
            rgb.push_back(static_cast<uint8_t>((x * y) >> 8));
        }
    return rgb;
}

void BM_jpeg_decode_256(benchmark::State& state)
{
    std::string path = temp_file(".jpg");
    std::vector<uint8_t> rgb = test_picture();
    FILE* f = std::fopen(path.c_str(), "wb");
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = 256;
    c.image_height = 256;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    jpeg_start_compress(&c, TRUE);
    for (int y = 0; y < 256; y++) {
        JSAMPROW row = rgb.data() + y * 256 * 3;
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::fclose(f);
    for (auto _ : state) {
        Texture* t = texture_load_jpeg(path.c_str(), 0);
        benchmark::DoNotOptimize(t);
        texture_free(t);
    }
    std::remove(path.c_str());
}
BENCHMARK(BM_jpeg_decode_256)->Unit(benchmark::kMicrosecond);

void BM_png_decode_256_rgba(benchmark::State& state)
{
    std::string path = temp_file(".png");
    std::vector<uint8_t> rgb = test_picture();
    FILE* f = std::fopen(path.c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    png_set_IHDR(png, info, 256, 256, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<uint8_t> row(256 * 4);
    for (int y = 0; y < 256; y++) {
        for (int x = 0; x < 256; x++) {
            std::memcpy(&row[x * 4], &rgb[(y * 256 + x) * 3], 3);
            row[x * 4 + 3] = static_cast<uint8_t>(x);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    for (auto _ : state) {
        Texture* t = texture_load_png(path.c_str(), 0);
        benchmark::DoNotOptimize(t);
        texture_free(t);
    }
    std::remove(path.c_str());
}
BENCHMARK(BM_png_decode_256_rgba)->Unit(benchmark::kMicrosecond);

// The loading screen's largest caption.
void BM_text_image_256(benchmark::State& state)
{
    Texture* t = texture_create(256, 256);
    for (auto _ : state)
        text_image(t, "Arial", 32, 0, 32, 0xFFFF7F3F, "Zero Polys");
    texture_free(t);
}
BENCHMARK(BM_text_image_256)->Unit(benchmark::kMicrosecond);

// The collider's film strip: three rows of 205 x 160 frames from a 615 x 800
// opaque picture, each laid down at full strength and the next frame blended
// over it. 8 MB of other memory is walked before each iteration (outside the
// timing), so the picture comes from as far away as after a scene's drawing.
void BM_film_strip(benchmark::State& state)
{
    setup_frame();
    static Texture* film = nullptr;
    static std::vector<uint32_t> other(2 * 1024 * 1024);
    if (!film) {
        film = texture_create(615, 800);
        for (int i = 0; i < 615 * 800; i++)
            film->pixels[i] = lcg() | 0xFF000000u;
    }
    for (auto _ : state) {
        state.PauseTiming();
        restore_frame();
        for (uint32_t& v : other)
            v += 1;
        state.ResumeTiming();
        for (int r = 0, i = 4; r < 3; r++, i = (i + 3) % 15) {
            const int j = (i + 1) % 15;
            blend_rect(film, -40, r * 160, 205 * (i % 3), 160 * (i / 3), 205, 160, 255, BLEND_ALPHA);
            blend_rect(film, -40, r * 160, 205 * (j % 3), 160 * (j / 3), 205, 160, 100, BLEND_ALPHA);
        }
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_film_strip)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
