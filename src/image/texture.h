// Texture: the one image type of the program (record and pixels in one
// allocation), its JPEG and PNG loaders and its box-filtered mip chain.
// Relies on libjpeg-turbo and libpng.
#pragma once

#include <cstdint>

struct Texture {
    int32_t width;
    int32_t width_mask;  // (1 << width_log2) - 1
    int32_t width_log2;  // floor(log2(width)), 0 for 0
    int32_t height;
    int32_t height_mask;
    int32_t height_log2;
    uint32_t* pixels;    // width * height words 0xAARRGGBB, right behind the record
    int32_t level_count; // 0 without a chain, at most 11
    uint32_t* levels[12];
};

int32_t floor_log2(uint32_t x);
Texture* texture_create(int32_t width, int32_t height);
Texture* texture_create_mipmapped(int32_t width, int32_t height);
int32_t texture_build_mips(Texture* texture);
void texture_free(Texture* texture);
Texture* texture_load_jpeg(const char* path, int32_t build_mips);
Texture* texture_load_png(const char* path, int32_t build_mips);
