// Writing 0x00RRGGBB pixel images as 8-bit RGB PNG files (captured frames,
// contact sheets, golden-frame differences) through platform/output_file.h:
// a file appears under its name only when complete, /dev/null and FIFOs are
// written directly, and nothing else the name does not lead to is touched.
#pragma once

#include <cstddef>
#include <cstdint>

// The largest picture written, in bytes of filtered rows (3 bytes a pixel
// and one a row): a little over 357 million pixels.
constexpr size_t PNG_OUT_MAX_BYTES = size_t{1} << 30;

// pixels: height rows of width words, stride words apart. level: deflate
// compression 0 (stored) to 9 (smallest). 0 on success, else an error number
// (errno values: EINVAL for bad arguments, EFBIG for a picture over
// PNG_OUT_MAX_BYTES, ENOMEM, ENOSPC when the disk is full, ...); no temporary
// file is left behind.
int32_t png_out_write(const char* name, const uint32_t* pixels, int32_t width, int32_t height, int32_t stride,
                      int32_t level);
// Frees the calling thread's compressor and buffers (the next write makes
// them again). A thread that wrote must call it before it ends.
void png_out_release();
