// RGB PNG writer (png_out.h): the rows are converted from 0x00RRGGBB words
// and Sub-filtered into one buffer, which libdeflate compresses as one zlib
// stream (whole-buffer deflate, about twice as fast as zlib at the same
// level); the chunks around it are framed here, with libdeflate's crc32.
#include "runtime/png_out.h"

#include "platform/output_file.h"

#include <libdeflate.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{

// What one thread keeps between writes: the compressor of the last level
// and the two buffers, grown as needed (a capture writes thousands of frames
// of one size on each worker thread).
struct PngWork {
    libdeflate_compressor* compressor = nullptr;
    int32_t level = -1;
    unsigned char* filtered = nullptr;
    size_t filtered_size = 0;
    unsigned char* packed = nullptr;
    size_t packed_size = 0;
};

// Trivially destructible on purpose: where thread storage is emulated
// (MinGW), a thread-local destructor runs after the storage is gone, so the
// threads that write release their buffers themselves (png_out_release).
thread_local PngWork work;

bool grow(unsigned char** buffer, size_t* size, size_t need)
{
    if (*size >= need)
        return true;
    void* bigger = std::realloc(*buffer, need);
    if (!bigger)
        return false;
    *buffer = static_cast<unsigned char*>(bigger);
    *size = need;
    return true;
}

void put_u32(unsigned char* p, uint32_t v)
{
    p[0] = static_cast<unsigned char>(v >> 24);
    p[1] = static_cast<unsigned char>(v >> 16);
    p[2] = static_cast<unsigned char>(v >> 8);
    p[3] = static_cast<unsigned char>(v);
}

// Each row: filter type 1 (Sub), then R, G, B of every pixel minus the pixel
// to its left (bytewise, modulo 256; the first pixel minus zero).
void filter_rows(const uint32_t* pixels, int32_t width, int32_t height, int32_t stride, unsigned char* out)
{
    for (int32_t y = 0; y < height; y++) {
        const uint32_t* src = pixels + static_cast<size_t>(y) * static_cast<size_t>(stride);
        *out++ = 1;
        uint32_t left = 0;
        for (int32_t x = 0; x < width; x++) {
            uint32_t p = src[x];
            out[0] = static_cast<unsigned char>((p >> 16) - (left >> 16));
            out[1] = static_cast<unsigned char>((p >> 8) - (left >> 8));
            out[2] = static_cast<unsigned char>(p - left);
            out += 3;
            left = p;
        }
    }
}

// One chunk: length, type, data, CRC of type and data. false on a failed write.
bool write_chunk(FILE* fp, const char* type, const unsigned char* data, size_t size)
{
    unsigned char head[8];
    put_u32(head, static_cast<uint32_t>(size));
    std::memcpy(head + 4, type, 4);
    uint32_t crc = libdeflate_crc32(0, head + 4, 4);
    if (size > 0)
        crc = libdeflate_crc32(crc, data, size);
    unsigned char tail[4];
    put_u32(tail, crc);
    return std::fwrite(head, 1, 8, fp) == 8 && (size == 0 || std::fwrite(data, 1, size, fp) == size) &&
           std::fwrite(tail, 1, 4, fp) == 4;
}

// Filters and compresses the picture into work.packed; the stream's size,
// or 0 when memory ran out.
size_t compress_picture(const uint32_t* pixels, int32_t width, int32_t height, int32_t stride, int32_t level)
{
    size_t filtered = (static_cast<size_t>(width) * 3 + 1) * static_cast<size_t>(height);
    if (work.level != level) {
        libdeflate_free_compressor(work.compressor);
        work.compressor = libdeflate_alloc_compressor(level);
        work.level = work.compressor ? level : -1;
        if (!work.compressor)
            return 0;
    }
    size_t bound = libdeflate_zlib_compress_bound(work.compressor, filtered);
    if (!grow(&work.filtered, &work.filtered_size, filtered) || !grow(&work.packed, &work.packed_size, bound))
        return 0;
    filter_rows(pixels, width, height, stride, work.filtered);
    return libdeflate_zlib_compress(work.compressor, work.filtered, filtered, work.packed, bound);
}

} // namespace

int32_t png_out_write(const char* name, const uint32_t* pixels, int32_t width, int32_t height, int32_t stride,
                      int32_t level)
{
    if (!name || !pixels || width <= 0 || height <= 0 || stride < width || width > 65536 || height > 65536)
        return EINVAL;
    // The picture is compressed whole into one IDAT chunk, which holds less than 2 GiB.
    if ((static_cast<size_t>(width) * 3 + 1) * static_cast<size_t>(height) > PNG_OUT_MAX_BYTES)
        return EFBIG;
    if (level < 0)
        level = 0;
    if (level > 9)
        level = 9;
    size_t packed = compress_picture(pixels, width, height, stride, level);
    if (packed == 0)
        return ENOMEM;

    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    unsigned char header[13];
    put_u32(header, static_cast<uint32_t>(width));
    put_u32(header + 4, static_cast<uint32_t>(height));
    header[8] = 8;  // bits per sample
    header[9] = 2;  // colour type: RGB
    header[10] = 0; // deflate
    header[11] = 0; // adaptive filtering (a filter type byte per row)
    header[12] = 0; // no interlace

    OutputFile file;
    int error = output_file_open(name, &file);
    if (error != 0)
        return error;
    errno = 0;
    bool ok =
        std::fwrite(signature, 1, 8, file.stream) == 8 && write_chunk(file.stream, "IHDR", header, 13) &&
        write_chunk(file.stream, "IDAT", work.packed, packed) && write_chunk(file.stream, "IEND", nullptr, 0);
    if (!ok)
        error = errno ? errno : EIO;
    int closed = output_file_close(&file, ok);
    return ok ? closed : error;
}

void png_out_release()
{
    libdeflate_free_compressor(work.compressor);
    std::free(work.filtered);
    std::free(work.packed);
    work = PngWork{};
}
