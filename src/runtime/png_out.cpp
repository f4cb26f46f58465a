// RGB PNG writer (png_out.h) on libpng's write API into an output file
// (platform/output_file.h); each row is converted from 0x00RRGGBB words to
// R, G, B bytes.
#include "runtime/png_out.h"

#include "platform/output_file.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <vector>

namespace
{

// libpng's errors (a failed write among them) end the write quietly; the
// error number of the failed call is kept for the caller.
void png_fail(png_structp png, png_const_charp)
{
    int* error = static_cast<int*>(png_get_error_ptr(png));
    if (*error == 0)
        *error = errno ? errno : EIO;
    png_longjmp(png, 1);
}
void png_quiet(png_structp, png_const_charp) {}

// The libpng part, apart so that setjmp never skips a C++ destructor.
bool write_rows(FILE* fp, const uint32_t* pixels, int32_t width, int32_t height, int32_t stride,
                int32_t level, unsigned char* row, int* error)
{
    errno = 0;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, error, png_fail, png_quiet);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    png_init_io(png, fp);
    png_set_compression_level(png, level);
    // Sub filtering alone: nearly the size of adaptive filtering, much faster.
    png_set_filter(png, 0, PNG_FILTER_SUB);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int32_t y = 0; y < height; y++) {
        const uint32_t* src = pixels + static_cast<size_t>(y) * static_cast<size_t>(stride);
        for (int32_t x = 0; x < width; x++) {
            row[x * 3 + 0] = static_cast<unsigned char>(src[x] >> 16);
            row[x * 3 + 1] = static_cast<unsigned char>(src[x] >> 8);
            row[x * 3 + 2] = static_cast<unsigned char>(src[x]);
        }
        png_write_row(png, row);
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

int32_t png_out_write(const char* name, const uint32_t* pixels, int32_t width, int32_t height, int32_t stride,
                      int32_t level)
{
    if (!name || !pixels || width <= 0 || height <= 0 || stride < width || width > 65536 || height > 65536)
        return EINVAL;
    if (level < 0)
        level = 0;
    if (level > 9)
        level = 9;
    OutputFile file;
    int error = output_file_open(name, &file);
    if (error != 0)
        return error;
    std::vector<unsigned char> row(static_cast<size_t>(width) * 3);
    bool ok = write_rows(file.stream, pixels, width, height, stride, level, row.data(), &error);
    int closed = output_file_close(&file, ok);
    if (!ok)
        return error != 0 ? error : EIO;
    return closed;
}
