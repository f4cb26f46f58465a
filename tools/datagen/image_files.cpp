// PNG (libpng) and baseline JPEG (libjpeg) writers for generator canvases.
// Fixed settings and no time stamps, so the same canvas always gives the same
// bytes. Alpha is written straight; the program premultiplies when loading.
#include "datagen.h"

#include <png.h>

#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>

uint8_t to_byte(float v)
{
    float c = v < 0 ? 0 : (v > 1 ? 1 : v);
    return static_cast<uint8_t>(std::lround(c * 255.0f));
}

static bool write_png(const std::string& path, const Canvas& c, bool alpha)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "dunravel-datagen: cannot write %s\n", path.c_str());
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        std::fclose(f);
        std::fprintf(stderr, "dunravel-datagen: PNG error writing %s\n", path.c_str());
        return false;
    }
    png_init_io(png, f);
    png_set_compression_level(png, 6);
    png_set_IHDR(png, info, static_cast<png_uint_32>(c.w), static_cast<png_uint_32>(c.h), 8,
                 alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    int channels = alpha ? 4 : 3;
    std::vector<png_byte> row(static_cast<size_t>(c.w) * channels);
    for (int y = 0; y < c.h; ++y) {
        for (int x = 0; x < c.w; ++x) {
            const Rgba& p = c.at(x, y);
            png_byte* o = &row[static_cast<size_t>(x) * channels];
            o[0] = to_byte(p.r);
            o[1] = to_byte(p.g);
            o[2] = to_byte(p.b);
            if (alpha)
                o[3] = to_byte(p.a);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

bool write_png_rgba(const std::string& path, const Canvas& c) { return write_png(path, c, true); }
bool write_png_rgb(const std::string& path, const Canvas& c) { return write_png(path, c, false); }

namespace {
struct JpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};
void jpeg_fail(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1); }
} // namespace

bool write_jpeg(const std::string& path, const Canvas& c, int quality)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "dunravel-datagen: cannot write %s\n", path.c_str());
        return false;
    }
    std::vector<JSAMPLE> row(static_cast<size_t>(c.w) * 3);
    jpeg_compress_struct cinfo;
    JpegError err;
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = jpeg_fail;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::fclose(f);
        std::fprintf(stderr, "dunravel-datagen: JPEG error writing %s\n", path.c_str());
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, f);
    cinfo.image_width = static_cast<JDIMENSION>(c.w);
    cinfo.image_height = static_cast<JDIMENSION>(c.h);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        int y = static_cast<int>(cinfo.next_scanline);
        for (int x = 0; x < c.w; ++x) {
            const Rgba& p = c.at(x, y);
            row[static_cast<size_t>(x) * 3] = to_byte(p.r);
            row[static_cast<size_t>(x) * 3 + 1] = to_byte(p.g);
            row[static_cast<size_t>(x) * 3 + 2] = to_byte(p.b);
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return std::fclose(f) == 0;
}
