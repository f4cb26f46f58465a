// Test helpers of the image tests: a scratch folder, and PNG and JPEG files
// written with libpng and libjpeg from raw sample rows, so every loader case
// (palette, tRNS, grey, 16-bit, interlaced, CMYK, truncated) has its file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A fresh folder under the build folder for this test program's files.
std::string scratch_dir();
std::string scratch_path(const std::string& name);

struct PngImage {
    int width = 1, height = 1;
    int bit_depth = 8;
    int colour_type = 2; // PNG_COLOR_TYPE_*
    bool interlaced = false;
    std::vector<uint8_t> rows;    // height rows of packed samples, big-endian for 16 bit
    std::vector<uint8_t> palette; // RGB triples for palette images
    std::vector<uint8_t> trns;    // palette alphas, or a 16-bit grey / RGB key as bytes
};

bool write_png(const std::string& path, const PngImage& image);

// components 1 (grey), 3 (RGB, stored as YCbCr) or 4 (CMYK); samples
// row by row.
bool write_jpeg(const std::string& path, int width, int height, int components,
                const std::vector<uint8_t>& samples, int quality = 95);

bool write_bytes(const std::string& path, const void* data, size_t size);
std::vector<uint8_t> read_bytes(const std::string& path);
