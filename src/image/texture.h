// Texture: the one image type of the program (record and pixels in one
// allocation), its JPEG and PNG loaders and its box-filtered mip chain.
// Relies on libjpeg-turbo and libpng.
#pragma once

#include <cstdint>

struct Texture {
    int32_t width;
    int32_t width_mask; // (1 << width_log2) - 1
    int32_t width_log2; // floor(log2(width)), 0 for 0
    int32_t height;
    int32_t height_mask;
    int32_t height_log2;
    uint32_t* pixels;    // width * height words 0xAARRGGBB, right behind the record
    int32_t level_count; // 0 without a chain, at most 11
    uint32_t* levels[12];
};

// Largest side any texture may have; larger images are refused before any
// pixel memory is allocated.
enum { TEXTURE_MAX_SIDE = 16384 };

// Index of the highest set bit (0 for 0 and 1).
int32_t floor_log2(uint32_t x);

// A texture of zeroed pixels without a mip chain, or null when a side is
// <= 0 or > TEXTURE_MAX_SIDE or memory runs out.
Texture* texture_create(int32_t width, int32_t height);
// Zeroed pixels plus a zeroed chain of levels (sides min(w, h) >> k, at most
// 11 levels). Prints "texture dimensions must be POW2 (%d x %d\n" and returns
// null when a side is not a power of two.
Texture* texture_create_mipmapped(int32_t width, int32_t height);
// Box-filters level k from level k - 1; 0 on success, 1 when the texture is
// not square or has no chain.
int32_t texture_build_mips(Texture* texture);
// Frees record and pixels; null is allowed.
void texture_free(Texture* texture);

// Loaders: the texture, or null for a missing, truncated, corrupt or
// oversized file (nothing printed, nothing left open or allocated). JPEG
// pixels get alpha 0xFF; PNG pixels with alpha are premultiplied (x * a >> 8).
Texture* texture_load_jpeg(const char* path, int32_t build_mips);
Texture* texture_load_png(const char* path, int32_t build_mips);
// "NAME (REASON)" of the latest image that could not be loaded on this
// thread: the path actually opened and why ("No such file or directory",
// "a folder, not a file", the decoder's own message for damaged data), for
// the one line a failing load prints.
const char* texture_load_failure();
