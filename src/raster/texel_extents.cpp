// The bright boxes of a texture's 64 x 64 blocks, a small cache of them
// checked against a copy of the texels, and the part of a triangle's box
// that can read a bright texel. Relies on image/texture.h and the set-up
// record and interpolants of raster.h.
#include "raster/texel_extents.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace
{

bool covered(const Texture* t)
{
    return t && t->pixels && t->width >= TEXEL_BLOCK && t->height >= TEXEL_BLOCK && t->width <= 256 &&
           t->height <= 256 && t->width == (1 << t->width_log2) && t->height == (1 << t->height_log2) &&
           t->width_mask == t->width - 1 && t->height_mask == t->height - 1;
}

// One texture's extents and the texels they were built from. A texture whose
// texels differ from the copy more than REBUILDS times is taken as one that
// keeps changing, and left to the plain drawing.
struct CacheEntry {
    const Texture* texture = nullptr;
    std::vector<uint32_t> texels;
    std::shared_ptr<const TexelExtents> extents;
    int32_t rebuilds = 0;
    uint64_t used = 0;
};
constexpr int32_t CACHE_ENTRIES = 4, REBUILDS = 3;
CacheEntry cache[CACHE_ENTRIES];
uint64_t cache_clock = 0;
std::mutex cache_lock;

bool same_texels(const CacheEntry& e, const Texture* t)
{
    const size_t n = static_cast<size_t>(t->width) * static_cast<size_t>(t->height);
    return e.extents && e.extents->width == t->width && e.extents->height == t->height && e.texels.size() == n &&
           std::memcmp(e.texels.data(), t->pixels, n * sizeof(uint32_t)) == 0;
}

void fill_entry(CacheEntry* e, const Texture* t)
{
    const size_t n = static_cast<size_t>(t->width) * static_cast<size_t>(t->height);
    e->texels.assign(t->pixels, t->pixels + n);
    auto extents = std::make_shared<TexelExtents>();
    texel_extents_build(t, extents.get());
    e->extents = std::move(extents);
}

// The texel coordinates value >> 11 (before the mask) that an interpolant
// takes over a box of w + 1 by h + 1 pixels: lo..hi; false when values leave
// 32 bits or the range is wider than 256.
bool texel_range(const Interpolant& a, int64_t w, int64_t h, int64_t* lo, int64_t* hi)
{
    const int64_t x = int64_t{a.x_step} * w, y = int64_t{a.y_step} * h;
    const int64_t low = a.start + std::min<int64_t>(x, 0) + std::min<int64_t>(y, 0);
    const int64_t high = a.start + std::max<int64_t>(x, 0) + std::max<int64_t>(y, 0);
    if (low < INT32_MIN || high > INT32_MAX)
        return false;
    *lo = low >> 11;
    *hi = high >> 11;
    return *hi - *lo < 256;
}

} // namespace

const int32_t texel_levels[TEXEL_LEVELS] = {1,  2,  3,  4,  5,  6,   7,   8,   10,  12,  14,  16,  20,  24,
                                             28, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256};

void texel_extents_build(const Texture* t, TexelExtents* out)
{
    out->width = t->width;
    out->height = t->height;
    out->blocks_across = t->width >> TEXEL_BLOCK_LOG2;
    const int32_t blocks = out->blocks_across * (t->height >> TEXEL_BLOCK_LOG2);
    out->runs.assign(static_cast<size_t>(blocks) * TEXEL_LEVELS * TEXEL_BLOCK, TexelRun{255, 0});
    out->column_runs = out->runs;
    for (int32_t v = 0; v < t->height; v++)
        for (int32_t bu = 0; bu < out->blocks_across; bu++) {
            const uint32_t* row = t->pixels + static_cast<size_t>(v) * static_cast<size_t>(t->width) +
                                  static_cast<size_t>(bu) * TEXEL_BLOCK;
            const int32_t block = (v >> TEXEL_BLOCK_LOG2) * out->blocks_across + bu;
            TexelRun* runs = &out->runs[static_cast<size_t>(block) * TEXEL_LEVELS * TEXEL_BLOCK];
            for (int32_t c = 0; c < TEXEL_BLOCK; c++) {
                const uint32_t p = row[c];
                const int32_t m = static_cast<int32_t>(std::max({p & 0xFFu, (p >> 8) & 0xFFu, (p >> 16) & 0xFFu}));
                for (int32_t level = 0; level < TEXEL_LEVELS && texel_levels[level] <= m; level++) {
                    TexelRun& r = runs[level * TEXEL_BLOCK + (v & (TEXEL_BLOCK - 1))];
                    if (r.first > r.last)
                        r.first = static_cast<uint8_t>(c);
                    r.last = static_cast<uint8_t>(c);
                    TexelRun& k = out->column_runs[static_cast<size_t>(block) * TEXEL_LEVELS * TEXEL_BLOCK +
                                                   static_cast<size_t>(level * TEXEL_BLOCK + c)];
                    if (k.first > k.last)
                        k.first = static_cast<uint8_t>(v & (TEXEL_BLOCK - 1));
                    k.last = static_cast<uint8_t>(v & (TEXEL_BLOCK - 1));
                }
            }
        }
}

std::shared_ptr<const TexelExtents> texel_extents_of(const Texture* texture)
{
    if (!covered(texture))
        return nullptr;
    std::lock_guard<std::mutex> hold(cache_lock);
    ++cache_clock;
    CacheEntry* oldest = &cache[0];
    for (CacheEntry& e : cache) {
        if (e.texture == texture) {
            e.used = cache_clock;
            if (e.rebuilds > REBUILDS)
                return nullptr;
            if (!same_texels(e, texture)) {
                if (++e.rebuilds > REBUILDS) {
                    e.extents.reset();
                    e.texels.clear();
                    return nullptr;
                }
                fill_entry(&e, texture);
            }
            return e.extents;
        }
        if (e.used < oldest->used)
            oldest = &e;
    }
    *oldest = CacheEntry{};
    oldest->texture = texture;
    oldest->used = cache_clock;
    fill_entry(oldest, texture);
    return oldest->extents;
}

int32_t texel_threshold_of_flat(uint32_t flat)
{
    const int32_t f = static_cast<int32_t>(std::max({flat & 0xFFu, (flat >> 8) & 0xFFu, (flat >> 16) & 0xFFu}));
    return f == 0 ? 257 : (256 + f - 1) / f;
}

bool texel_rows(const RasterTriangle* t, const Interpolant* uv, const TexelExtents* e, int32_t threshold,
                PixelRun* rows, int32_t max_rows)
{
    const int64_t w = t->max_x - t->min_x, h = t->max_y - t->min_y;
    if (h >= max_rows || w >= 1024 || threshold < 1)
        return false;
    // Coordinates below are taken before the texture's mask: texel column c
    // is column c & (width - 1) of the texture, and so on.
    int64_t u0, u1, v0, v1;
    if (!texel_range(uv[0], w, h, &u0, &u1) || !texel_range(uv[1], w, h, &v0, &v1))
        return false;
    const int64_t across = e->blocks_across, down = e->height >> TEXEL_BLOCK_LOG2;
    const PixelRun none = {1, 0};
    if (threshold > 256) {
        std::fill(rows, rows + h + 1, none);
        return true;
    }
    int32_t level = TEXEL_LEVELS - 1;
    while (texel_levels[level] > threshold)
        level--;
    const PixelRun whole = {static_cast<int16_t>(t->min_x), static_cast<int16_t>(t->max_x)};

    // Along a row the coordinate `along` moves (u, or v when the texture
    // lies turned on the screen) and `across` barely does; runs[] gives, for
    // a texel line of `across`, its bright texels along `along`.
    const bool turned = std::abs(int64_t{uv[1].x_step}) > std::abs(int64_t{uv[0].x_step});
    const Interpolant& al = turned ? uv[1] : uv[0];
    const Interpolant& ac = turned ? uv[0] : uv[1];
    const int64_t a0 = turned ? v0 : u0, a1 = turned ? v1 : u1;
    const std::vector<TexelRun>& runs = turned ? e->column_runs : e->runs;
    auto block_of = [&](int64_t along_block, int64_t line) {
        const int64_t line_block = line >> TEXEL_BLOCK_LOG2;
        return turned ? (along_block & (down - 1)) * across + (line_block & (across - 1))
                      : (line_block & (down - 1)) * across + (along_block & (across - 1));
    };

    // Column kx of the box reads along-coordinates lo(kx)..hi(kx) over all
    // its rows: the values there are start + x_step kx plus the y term
    // between its least and greatest over the box. For a run of bright
    // texels c0..c1 the columns kx that may read one are first[c0 or c1] ..
    // last[c1 or c0] (by the direction of the coordinate along the row).
    const int64_t ul = std::min<int64_t>(0, int64_t{al.y_step} * h), uh = std::max<int64_t>(0, int64_t{al.y_step} * h);
    auto lo = [&](int64_t kx) { return (al.start + al.x_step * kx + ul) >> 11; };
    auto hi = [&](int64_t kx) { return (al.start + al.x_step * kx + uh) >> 11; };
    int16_t first[256], last[256]; // by along-coordinate - a0
    const bool rising = al.x_step >= 0;
    int64_t kx = 0;
    for (int64_t c = rising ? a0 : a1; rising ? c <= a1 : c >= a0; c += rising ? 1 : -1) {
        while (kx <= w && (rising ? hi(kx) < c : lo(kx) > c))
            kx++;
        first[c - a0] = static_cast<int16_t>(kx);
    }
    kx = w;
    for (int64_t c = rising ? a1 : a0; rising ? c >= a0 : c <= a1; c += rising ? -1 : 1) {
        while (kx >= 0 && (rising ? lo(kx) > c : hi(kx) < c))
            kx--;
        last[c - a0] = static_cast<int16_t>(kx);
    }

    // Row ky reads texel lines (V + x term) >> 11 of `across`, V its value at the first column.
    const int64_t vl = std::min<int64_t>(0, int64_t{ac.x_step} * w), vh = std::max<int64_t>(0, int64_t{ac.x_step} * w);
    const int64_t b0 = a0 >> TEXEL_BLOCK_LOG2, b1 = a1 >> TEXEL_BLOCK_LOG2;
    for (int64_t ky = 0; ky <= h; ky++) {
        const int64_t base = ac.start + int64_t{ac.y_step} * ky;
        const int64_t r0 = (base + vl) >> 11, r1 = (base + vh) >> 11;
        if (r1 - r0 > 8) {
            rows[ky] = whole;
            continue;
        }
        int64_t c0 = INT64_MAX, c1 = INT64_MIN;
        for (int64_t r = r0; r <= r1; r++)
            for (int64_t b = b0; b <= b1; b++) {
                const TexelRun run = runs[static_cast<size_t>((block_of(b, r) * TEXEL_LEVELS + level) * TEXEL_BLOCK +
                                                              (r & (TEXEL_BLOCK - 1)))];
                if (run.first > run.last)
                    continue;
                const int64_t s0 = std::max<int64_t>(b * TEXEL_BLOCK + run.first, a0);
                const int64_t s1 = std::min<int64_t>(b * TEXEL_BLOCK + run.last, a1);
                if (s0 <= s1) {
                    c0 = std::min(c0, s0);
                    c1 = std::max(c1, s1);
                }
            }
        if (c0 > c1) {
            rows[ky] = none;
            continue;
        }
        const int64_t k0 = rising ? first[c0 - a0] : first[c1 - a0];
        const int64_t k1 = rising ? last[c1 - a0] : last[c0 - a0];
        rows[ky] = k0 > k1 ? none : PixelRun{static_cast<int16_t>(t->min_x + k0), static_cast<int16_t>(t->min_x + k1)};
    }
    return true;
}
