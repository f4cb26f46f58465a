// Texture records: creation with and without a mip chain, the box filter
// that fills the chain, and floor_log2. One malloc holds record, pixels and
// chain, so texture_free is a single free; the loaders' failure record.
// Relies on the C library and the data-file record (platform/paths.h).
#include "image/texture.h"

#include "platform/paths.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int32_t floor_log2(uint32_t x)
{
    x |= x >> 1;
    x |= x >> 2;
    x |= x >> 4;
    x |= x >> 8;
    x |= x >> 16;
    return __builtin_popcount(x >> 1);
}

// Sides must be in 1..TEXTURE_MAX_SIDE; the pixel bytes then stay far below
// INT32_MAX (16384^2 * 4 = 1 GiB), checked again in 64 bits for clarity.
static bool texture_size_ok(int32_t width, int32_t height)
{
    if (width <= 0 || height <= 0 || width > TEXTURE_MAX_SIDE || height > TEXTURE_MAX_SIDE)
        return false;
    return static_cast<int64_t>(width) * height * 4 <= INT32_MAX;
}

static void texture_set_sizes(Texture* t, int32_t width, int32_t height)
{
    t->width = width;
    t->height = height;
    t->width_log2 = floor_log2(static_cast<uint32_t>(width));
    t->height_log2 = floor_log2(static_cast<uint32_t>(height));
    t->width_mask = (1 << t->width_log2) - 1;
    t->height_mask = (1 << t->height_log2) - 1;
}

Texture* texture_create(int32_t width, int32_t height)
{
    if (!texture_size_ok(width, height))
        return nullptr;
    size_t bytes = sizeof(Texture) + static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    auto* t = static_cast<Texture*>(std::calloc(1, bytes));
    if (!t)
        return nullptr;
    texture_set_sizes(t, width, height);
    t->pixels = reinterpret_cast<uint32_t*>(t + 1);
    return t;
}

// True when v is a power of two: the smallest power of two >= v equals v.
static bool is_pow2(int32_t v)
{
    uint32_t p = static_cast<uint32_t>(v) - 1;
    p |= p >> 1;
    p |= p >> 2;
    p |= p >> 4;
    p |= p >> 8;
    p |= p >> 16;
    return p + 1 == static_cast<uint32_t>(v);
}

Texture* texture_create_mipmapped(int32_t width, int32_t height)
{
    if (!is_pow2(width) || !is_pow2(height)) {
        std::printf("texture dimensions must be POW2 (%d x %d\n", width, height);
        return nullptr;
    }
    if (!texture_size_ok(width, height))
        return nullptr;
    int32_t width_log2 = floor_log2(static_cast<uint32_t>(width));
    int32_t height_log2 = floor_log2(static_cast<uint32_t>(height));
    int32_t level_count = (width_log2 < height_log2 ? width_log2 : height_log2) + 1;
    if (level_count > 11)
        level_count = 11;
    size_t side = static_cast<size_t>(width < height ? width : height);
    size_t words = static_cast<size_t>(width) * static_cast<size_t>(height);
    for (int32_t k = 1; k < level_count; k++)
        words += (side >> k) * (side >> k);
    auto* t = static_cast<Texture*>(std::calloc(1, sizeof(Texture) + words * 4));
    if (!t)
        return nullptr;
    texture_set_sizes(t, width, height);
    t->pixels = reinterpret_cast<uint32_t*>(t + 1);
    t->level_count = level_count;
    t->levels[0] = t->pixels;
    uint32_t* next = t->pixels + static_cast<size_t>(width) * static_cast<size_t>(height);
    for (int32_t k = 1; k < level_count; k++) {
        t->levels[k] = next;
        next += (side >> k) * (side >> k);
    }
    return t;
}

int32_t texture_build_mips(Texture* texture)
{
    if (!texture || texture->width != texture->height || texture->level_count <= 0)
        return 1;
    for (int32_t k = 1; k < texture->level_count; k++) {
        int32_t a = texture->width >> (k - 1); // side of the level above
        int32_t s = a >> 1;
        const uint32_t* src = texture->levels[k - 1];
        uint32_t* dst = texture->levels[k];
        for (int32_t y = 0; y < s; y++) {
            for (int32_t x = 0; x < s; x++) {
                const uint32_t* p = src + static_cast<size_t>(2 * y) * a + 2 * x;
                uint32_t p0 = p[0], p1 = p[1], p2 = p[a], p3 = p[a + 1];
                uint32_t out = 0;
                for (int shift = 0; shift < 32; shift += 8) {
                    uint32_t sum = ((p0 >> shift) & 0xFF) + ((p1 >> shift) & 0xFF) + ((p2 >> shift) & 0xFF) +
                                   ((p3 >> shift) & 0xFF);
                    out |= (sum >> 2) << shift;
                }
                dst[static_cast<size_t>(y) * s + x] = out;
            }
        }
    }
    return 0;
}

void texture_free(Texture* texture)
{
    std::free(texture);
}

const char* texture_load_failure()
{
    // Every loader records each way it fails, from the open on.
    return path_failure();
}
