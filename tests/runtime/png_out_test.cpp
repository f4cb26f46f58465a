// The PNG writer behind captures (png_out_write at level 1): every kind
// of picture reads back exactly through libpng (which checks the CRCs and the
// zlib checksum) at every level and from several threads at once, the same
// picture always gives the same bytes, and failures leave no file.
#include "runtime/png_out.h"

#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <png.h>

#include <cstdint>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace
{

fs::path scratch(const char* name)
{
    return scratch_path(name);
}

struct Picture {
    int32_t width, height, stride;
    std::vector<uint32_t> pixels;
};

uint32_t lcg(uint32_t* state)
{
    *state = *state * 1664525u + 1013904223u;
    return *state >> 8;
}

// Kinds of content that take different paths through the encoder.
Picture make(int32_t width, int32_t height, int32_t stride, int32_t kind)
{
    Picture p{width, height, stride, std::vector<uint32_t>(static_cast<size_t>(stride) * height)};
    uint32_t state = 12345u + static_cast<uint32_t>(kind);
    for (int32_t y = 0; y < height; y++) {
        for (int32_t x = 0; x < stride; x++) {
            uint32_t v = 0;
            switch (kind) {
            case 0: // black
                break;
            case 1: // noise: no match, the stored fallback
                v = lcg(&state) & 0xFFFFFFu;
                break;
            case 2: // gradients with a little noise, like a rendered frame
                v = static_cast<uint32_t>(((x / 3 + static_cast<int32_t>(lcg(&state) % 6)) & 0xFF) << 16 |
                                          ((y / 2) & 0xFF) << 8 | ((x + y) / 5 & 0xFF));
                break;
            case 3: // one noisy row repeated: matches against the row above
                v = (x * 2654435761u) >> 8 & 0xFFFFFFu;
                break;
            case 4: // flat patches and single-pixel changes
                v = ((x / 7 + y / 5) % 3) * 0x00405060u + ((x == y) ? 1u : 0u);
                break;
            }
            // The alpha byte and the words past the width are not part of the picture.
            v |= (lcg(&state) & 0xFFu) << 24;
            if (x >= width)
                v = 0xDEADBEEFu;
            p.pixels[static_cast<size_t>(y) * stride + x] = v;
        }
    }
    return p;
}

std::string file_bytes(const fs::path& name)
{
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Reads name back and compares with the picture; empty when equal.
std::string read_back_differs(const std::string& name, const Picture& p)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, name.c_str()))
        return std::string("libpng cannot read it: ") + image.message;
    if (image.width != static_cast<uint32_t>(p.width) || image.height != static_cast<uint32_t>(p.height))
        return "wrong size";
    if (image.format & PNG_FORMAT_FLAG_ALPHA)
        return "has alpha";
    image.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr))
        return std::string("libpng cannot decode it: ") + image.message;
    for (int32_t y = 0; y < p.height; y++) {
        for (int32_t x = 0; x < p.width; x++) {
            uint32_t v = p.pixels[static_cast<size_t>(y) * p.stride + x];
            const unsigned char* c = &rgb[(static_cast<size_t>(y) * p.width + x) * 3];
            if (c[0] != ((v >> 16) & 0xFF) || c[1] != ((v >> 8) & 0xFF) || c[2] != (v & 0xFF))
                return "pixel " + std::to_string(x) + "," + std::to_string(y) + " differs";
        }
    }
    return "";
}

} // namespace

TEST(PngOutCapture, EveryKindAndShapeReadsBackExactly)
{
    fs::path dir = scratch("png-fast");
    struct Shape {
        int32_t width, height, stride;
    };
    const Shape shapes[] = {
        {640, 480, 640}, // a frame
        {1, 1, 1},         {1, 300, 3}, {257, 3, 260},
        {11000, 3, 11000}, // rows longer than the deflate window: no matches with the row above
        {22000, 2, 22000}, // a row longer than one stored block
    };
    for (const Shape& s : shapes) {
        for (int32_t kind = 0; kind < 5; kind++) {
            Picture p = make(s.width, s.height, s.stride, kind);
            std::string name = (dir / "a.png").string();
            SCOPED_TRACE(std::to_string(s.width) + "x" + std::to_string(s.height) + " kind " +
                         std::to_string(kind));
            ASSERT_EQ(png_out_write(name.c_str(), p.pixels.data(), p.width, p.height, p.stride, 1), 0);
            EXPECT_EQ(read_back_differs(name, p), "");
        }
    }
    fs::remove_all(dir);
}

TEST(PngOutCapture, SamePictureGivesSameBytesAndCompresses)
{
    fs::path dir = scratch("png-fast-repeat");
    Picture p = make(640, 480, 640, 2);
    std::string a = (dir / "a.png").string(), b = (dir / "b.png").string();
    ASSERT_EQ(png_out_write(a.c_str(), p.pixels.data(), 640, 480, 640, 1), 0);
    // Something else in between, so that nothing left in the work buffers matters.
    Picture q = make(300, 200, 301, 1);
    ASSERT_EQ(png_out_write(b.c_str(), q.pixels.data(), 300, 200, 301, 1), 0);
    ASSERT_EQ(png_out_write(b.c_str(), p.pixels.data(), 640, 480, 640, 1), 0);
    std::string bytes = file_bytes(a);
    EXPECT_EQ(bytes, file_bytes(b));
    EXPECT_LT(bytes.size(), 640u * 480 * 3 / 2); // gradients compress
    // Black compresses to almost nothing (long matches).
    Picture black = make(640, 480, 640, 0);
    ASSERT_EQ(png_out_write(a.c_str(), black.pixels.data(), 640, 480, 640, 1), 0);
    EXPECT_LT(file_bytes(a).size(), 8000u);
    // Noise stays within a few bytes per stored block of the raw size.
    Picture noise = make(640, 480, 640, 1);
    ASSERT_EQ(png_out_write(a.c_str(), noise.pixels.data(), 640, 480, 640, 1), 0);
    EXPECT_LT(file_bytes(a).size(), 481u * 1921 + 200);
    fs::remove_all(dir);
}

TEST(PngOutCapture, VerySkewedByteCountsReadBackExactly)
{
    // Filtered bytes with Fibonacci-like counts (2, 3, 5, 8, ...) in one band
    // of rows: deep, very skewed Huffman codes.
    const int32_t width = 640, height = 24;
    std::vector<unsigned char> bytes;
    uint32_t a = 2, b = 3;
    for (int32_t k = 0; k < 20; k++) {
        bytes.insert(bytes.end(), a, static_cast<unsigned char>(k * 11 + 2));
        uint32_t c = a + b;
        a = b;
        b = c;
    }
    bytes.resize(static_cast<size_t>(width) * height * 3);
    uint32_t state = 7;
    for (size_t i = bytes.size() - 1; i > 0; i--)
        std::swap(bytes[i], bytes[lcg(&state) % (i + 1)]);
    // Pixels whose Sub residuals are those bytes.
    Picture p{width, height, width, std::vector<uint32_t>(static_cast<size_t>(width) * height)};
    for (int32_t y = 0; y < height; y++) {
        unsigned char r = 0, g = 0, bl = 0;
        for (int32_t x = 0; x < width; x++) {
            const unsigned char* d = &bytes[(static_cast<size_t>(y) * width + x) * 3];
            r = static_cast<unsigned char>(r + d[0]);
            g = static_cast<unsigned char>(g + d[1]);
            bl = static_cast<unsigned char>(bl + d[2]);
            p.pixels[static_cast<size_t>(y) * width + x] = static_cast<uint32_t>(r) << 16 | g << 8 | bl;
        }
    }
    fs::path dir = scratch("png-fast-skewed");
    std::string name = (dir / "a.png").string();
    ASSERT_EQ(png_out_write(name.c_str(), p.pixels.data(), width, height, width, 1), 0);
    EXPECT_EQ(read_back_differs(name, p), "");
    fs::remove_all(dir);
}

TEST(PngOutCapture, EveryLevelAndSeveralThreadsAtOnceReadBackExactly)
{
    fs::path dir = scratch("png-levels");
    // Levels change between calls on one thread (the contact sheet and the
    // frames), and sizes shrink and grow.
    for (int32_t level = -1; level <= 10; level++) {
        Picture p = make(level % 2 ? 640 : 97, level % 2 ? 480 : 33, level % 2 ? 640 : 101, 2 + (level & 1));
        std::string name = (dir / "a.png").string();
        SCOPED_TRACE("level " + std::to_string(level));
        ASSERT_EQ(png_out_write(name.c_str(), p.pixels.data(), p.width, p.height, p.stride, level), 0);
        EXPECT_EQ(read_back_differs(name, p), "");
    }
    // Four threads each writing their own pictures, like the capture's workers.
    std::vector<std::string> results(4);
    std::vector<std::thread> threads;
    for (int32_t t = 0; t < 4; t++)
        threads.emplace_back([&, t] {
            for (int32_t i = 0; i < 6 && results[t].empty(); i++) {
                Picture p = make(640 - t * 50, 480 - i * 30, 640, (t + i) % 5);
                std::string name = (dir / ("t" + std::to_string(t) + ".png")).string();
                int error = png_out_write(name.c_str(), p.pixels.data(), p.width, p.height, p.stride, 1 + t);
                results[t] = error ? "error " + std::to_string(error) : read_back_differs(name, p);
                if (!results[t].empty())
                    results[t] =
                        "thread " + std::to_string(t) + " picture " + std::to_string(i) + ": " + results[t];
                if (i == 2)
                    png_out_release(); // the next write makes its buffers again
            }
            // A writing thread frees its own buffers before it ends.
            png_out_release();
        });
    for (std::thread& t : threads)
        t.join();
    for (const std::string& r : results)
        EXPECT_EQ(r, "");
    fs::remove_all(dir);
}

TEST(PngOutCapture, FailuresLeaveNoFile)
{
    fs::path dir = scratch("png-failures");
    std::vector<uint32_t> small(16, 0x00FF8040u);
    std::string name = (dir / "a.png").string();
    // Over PNG_OUT_MAX_BYTES: refused before a byte is read or allocated.
    EXPECT_EQ(png_out_write(name.c_str(), small.data(), 65536, 65536, 65536, 1), EFBIG);
    EXPECT_EQ(png_out_write(name.c_str(), small.data(), 4, 4, 4, 1), 0);
    EXPECT_EQ(png_out_write(name.c_str(), small.data(), 65537, 1, 65537, 1), EINVAL);
    EXPECT_EQ(png_out_write(name.c_str(), small.data(), 4, 0, 4, 1), EINVAL);
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(dir))
        left.push_back(e.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"a.png"});
    // A full disk, with a picture smaller and one larger than stdio's buffer.
    fs::path full = dir / "full";
    if (make_full_device(full)) {
        Picture p = make(640, 480, 640, 1);
        EXPECT_EQ(png_out_write(full.string().c_str(), small.data(), 4, 4, 4, 1), ENOSPC);
        EXPECT_EQ(png_out_write(full.string().c_str(), p.pixels.data(), 640, 480, 640, 1), ENOSPC);
    }
    fs::remove_all(dir);
}
