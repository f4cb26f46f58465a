// Writing 0x00RRGGBB pixel images as 8-bit RGB PNG files (captured frames,
// contact sheets, golden-frame differences). The file appears under its name
// only when complete: it is written under a temporary name and renamed.
#pragma once

#include <cstdint>

// pixels: height rows of width words, stride words apart. level: zlib
// compression 0 (none) to 9 (smallest). 0 on success, 1 on failure (no file
// is left behind).
int32_t png_out_write(const char* name, const uint32_t* pixels, int32_t width, int32_t height, int32_t stride,
                      int32_t level);
