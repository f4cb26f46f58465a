// Writers for the image tests' own PNG and JPEG files (libpng, libjpeg).
#include "test_images.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <jpeglib.h>
#include <png.h>
#include <unistd.h>

std::string scratch_dir()
{
    static std::string dir;
    if (dir.empty()) {
        dir = std::string(DUNRAVEL_BINARY_DIR) + "/test-scratch/image-" + std::to_string(getpid());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        // Set DUNRAVEL_KEEP_SCRATCH to keep the files (previews) for a look.
        if (!std::getenv("DUNRAVEL_KEEP_SCRATCH"))
            std::atexit([] {
                std::error_code ignored;
                std::filesystem::remove_all(dir, ignored);
            });
    }
    return dir;
}

std::string scratch_path(const std::string& name)
{
    return scratch_dir() + "/" + name;
}

bool write_png(const std::string& path, const PngImage& image)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, image.width, image.height, image.bit_depth, image.colour_type,
                 image.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (image.colour_type == PNG_COLOR_TYPE_PALETTE)
        png_set_PLTE(png, info, reinterpret_cast<png_const_colorp>(image.palette.data()),
                     static_cast<int>(image.palette.size() / 3));
    if (!image.trns.empty()) {
        if (image.colour_type == PNG_COLOR_TYPE_PALETTE) {
            png_set_tRNS(png, info, image.trns.data(), static_cast<int>(image.trns.size()), nullptr);
        } else {
            png_color_16 key{};
            key.gray = static_cast<png_uint_16>(image.trns[0] << 8 | image.trns[1]);
            if (image.trns.size() >= 6) {
                key.red = static_cast<png_uint_16>(image.trns[0] << 8 | image.trns[1]);
                key.green = static_cast<png_uint_16>(image.trns[2] << 8 | image.trns[3]);
                key.blue = static_cast<png_uint_16>(image.trns[4] << 8 | image.trns[5]);
            }
            png_set_tRNS(png, info, nullptr, 0, &key);
        }
    }
    png_write_info(png, info);
    size_t row_bytes = png_get_rowbytes(png, info);
    std::vector<png_bytep> rows(image.height);
    for (int y = 0; y < image.height; y++)
        rows[y] = const_cast<png_bytep>(image.rows.data() + y * row_bytes);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return true;
}

bool write_jpeg(const std::string& path, int width, int height, int components,
                const std::vector<uint8_t>& samples, int quality)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, f);
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(samples.data() + cinfo.next_scanline * width * components);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::fclose(f);
    return true;
}

bool write_bytes(const std::string& path, const void* data, size_t size)
{
    std::ofstream out(path, std::ios::binary);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    return static_cast<bool>(out);
}

std::vector<uint8_t> read_bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
