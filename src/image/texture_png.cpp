// PNG loader: reads any PNG (palette, grey, grey+alpha, RGB, RGBA, 1 to 16
// bits, interlaced or not) into 0xAARRGGBB textures, premultiplying alpha by
// x * a >> 8. Library errors jump back here and fail the load, recording
// why (platform/paths.h); warnings are dropped. Relies on libpng 1.6, zlib.
#include "image/texture.h"

#include "platform/paths.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <png.h>

namespace
{

// libpng's message for the failed load, kept for the reason.
thread_local char png_message[128];

bool over_limit(const char* message)
{
    return std::strstr(message, "exceeds user limit") != nullptr;
}

void png_fail(png_structp png, png_const_charp message)
{
    // A size over the limit comes as a warning first, then as a bad header.
    if (!over_limit(png_message))
        std::snprintf(png_message, sizeof png_message, "%s", message ? message : "");
    png_longjmp(png, 1);
}

// Why the load failed, in the words of the failure record.
void png_record_failure(const char* path)
{
    char reason[192];
    if (std::strcmp(png_message, "Read Error") == 0)
        std::snprintf(reason, sizeof reason, "truncated PNG file");
    else if (over_limit(png_message))
        std::snprintf(reason, sizeof reason, "too large: more than %d pixels a side", TEXTURE_MAX_SIDE);
    else if (std::strcmp(png_message, "no texture") == 0 || std::strcmp(png_message, "out of memory") == 0)
        std::snprintf(reason, sizeof reason, "out of memory");
    else
        std::snprintf(reason, sizeof reason, "damaged PNG data: %s", png_message);
    path_fail(path, reason);
}
void png_quiet(png_structp, png_const_charp message)
{
    if (message && over_limit(message))
        std::snprintf(png_message, sizeof png_message, "%s", message);
}

void png_convert_row(const png_byte* s, int channels, uint32_t* out, int32_t width)
{
    if (channels == 3) {
        for (int32_t x = 0; x < width; x++, s += 3)
            out[x] =
                0xFF000000u | static_cast<uint32_t>(s[0]) << 16 | static_cast<uint32_t>(s[1]) << 8 | s[2];
        return;
    }
    for (int32_t x = 0; x < width; x++, s += 4) {
        uint32_t a = s[3];
        out[x] = a << 24 | ((s[0] * a) >> 8) << 16 | ((s[1] * a) >> 8) << 8 | ((s[2] * a) >> 8);
    }
}

} // namespace

Texture* texture_load_png(const char* path, int32_t build_mips)
{
    FILE* file = path_fopen(path, "rb");
    if (!file)
        return nullptr;
    png_byte signature[8];
    if (std::fread(signature, 1, sizeof signature, file) != sizeof signature ||
        png_sig_cmp(signature, 0, sizeof signature) != 0) {
        path_fail(path, "not a PNG file");
        std::fclose(file);
        return nullptr;
    }
    png_message[0] = '\0';
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, png_fail, png_quiet);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    png_infop end_info = info ? png_create_info_struct(png) : nullptr;
    if (!end_info) {
        png_destroy_read_struct(png ? &png : nullptr, info ? &info : nullptr, nullptr);
        std::fclose(file);
        path_fail(path, "out of memory");
        return nullptr;
    }

    Texture* volatile texture = nullptr;
    png_byte* volatile rows = nullptr;
    if (setjmp(png_jmpbuf(png))) {
        texture_free(texture);
        std::free(rows);
        std::fclose(file);
        png_destroy_read_struct(&png, &info, &end_info);
        png_record_failure(path);
        return nullptr;
    }
    png_init_io(png, file);
    png_set_sig_bytes(png, sizeof signature);
    // Refuse oversized images inside png_read_info, before anything is allocated.
    png_set_user_limits(png, TEXTURE_MAX_SIDE, TEXTURE_MAX_SIDE);
    png_read_info(png, info);

    png_uint_32 width = 0, height = 0;
    int bit_depth = 0, colour_type = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &bit_depth, &colour_type, &interlace, nullptr, nullptr);
    if (colour_type == PNG_COLOR_TYPE_PALETTE && bit_depth <= 8)
        png_set_expand(png);
    if (colour_type == PNG_COLOR_TYPE_GRAY && bit_depth < 8)
        png_set_expand(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS))
        png_set_expand(png);
    if (bit_depth == 16)
        png_set_strip_16(png);
    if (colour_type == PNG_COLOR_TYPE_GRAY || colour_type == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(png);
    int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    png_get_IHDR(png, info, &width, &height, &bit_depth, &colour_type, &interlace, nullptr, nullptr);

    int channels = png_get_channels(png, info);
    size_t row_bytes = png_get_rowbytes(png, info);
    if ((channels != 3 && channels != 4) || bit_depth != 8 ||
        row_bytes < static_cast<size_t>(width) * channels)
        png_error(png, "unexpected layout");

    texture = build_mips ? texture_create_mipmapped(static_cast<int32_t>(width), static_cast<int32_t>(height))
                         : texture_create(static_cast<int32_t>(width), static_cast<int32_t>(height));
    if (!texture)
        png_error(png, "no texture");

    int32_t w = static_cast<int32_t>(width);
    if (passes == 1) {
        // One row buffer, converted as each row arrives.
        rows = static_cast<png_byte*>(std::malloc(row_bytes));
        if (!rows)
            png_error(png, "out of memory");
        for (png_uint_32 y = 0; y < height; y++) {
            png_read_row(png, rows, nullptr);
            png_convert_row(rows, channels, texture->pixels + static_cast<size_t>(y) * w, w);
        }
    } else {
        // Interlaced: every pass refines rows of the whole image, so all rows
        // are kept until the last pass.
        rows = static_cast<png_byte*>(std::calloc(height, row_bytes));
        if (!rows)
            png_error(png, "out of memory");
        for (int pass = 0; pass < passes; pass++)
            for (png_uint_32 y = 0; y < height; y++)
                png_read_row(png, rows + y * row_bytes, nullptr);
        for (png_uint_32 y = 0; y < height; y++)
            png_convert_row(rows + y * row_bytes, channels, texture->pixels + static_cast<size_t>(y) * w, w);
    }
    std::free(rows);
    rows = nullptr;
    png_destroy_read_struct(&png, &info, &end_info);
    std::fclose(file);

    Texture* result = texture;
    if (build_mips && texture_build_mips(result))
        std::printf("unable to build mipmaps for \"%s\"\n", path);
    return result;
}
