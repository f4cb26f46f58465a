// Where a texture's texels are bright enough to matter: for each 64 x 64
// block and each threshold, the box of texels whose largest colour byte
// reaches it, and from it the part of a triangle's box whose pixels read
// only darker texels. The added texture modes use it to leave out pixels
// that would add nothing. Relies on image/texture.h and the set-up record.
#pragma once

#include "image/texture.h"
#include "raster/raster.h"

#include <cstdint>
#include <memory>
#include <vector>

enum { TEXEL_BLOCK = 64, TEXEL_BLOCK_LOG2 = 6, TEXEL_LEVELS = 28 };

// Thresholds the rows are kept for (a threshold between two takes the lower).
extern const int32_t texel_levels[TEXEL_LEVELS];

// Columns first..last of a block's texel row (0..63); empty when first > last.
struct TexelRun {
    uint8_t first, last;
};

// The bright runs of one texture: for block b (row-major, width / 64 a row),
// level L and texel row r of the block, run(b, L, r) spans the texels of the
// row whose largest red, green or blue byte is >= texel_levels[L].
struct TexelExtents {
    int32_t width, height, blocks_across;
    std::vector<TexelRun> runs; // (b * TEXEL_LEVELS + L) * TEXEL_BLOCK + r
    // The same by texel column c of the block: rows first..last.
    std::vector<TexelRun> column_runs; // (b * TEXEL_LEVELS + L) * TEXEL_BLOCK + c
};

// The extents of `texture` as its texels are now: built on first use and
// kept (with a copy of the texels it was built from, compared on every call,
// so a texture changed since is built again). Null for a texture it does not
// cover: sides not powers of two from 64 to 256, or one whose texels keep
// changing between calls.
std::shared_ptr<const TexelExtents> texel_extents_of(const Texture* texture);

// Builds the extents of a texture it covers (for the cache and the tests).
void texel_extents_build(const Texture* texture, TexelExtents* out);

// The smallest threshold T such that a texel byte t >= T times a flat byte
// f may give (t f) >> 8 > 0 for some colour byte f of `flat` (red, green,
// blue): 256 / max f rounded up, 257 when every colour byte is 0.
int32_t texel_threshold_of_flat(uint32_t flat);

// Screen columns x0..x1 of one row of a box; none when x0 > x1.
struct PixelRun {
    int16_t x0, x1;
};

// For each row ky = 0..max_y - min_y of the set-up triangle's box, the
// columns rows[ky] outside which every pixel of that row reads a texel whose
// largest colour byte is below `threshold`, from the affine texture
// interpolants u and v (11-bit fixed point, as the walk forms them). False
// (rows untouched) when that cannot be shown for the box as a whole: values
// leaving 32 bits, coordinates wrapping around the texture, more than
// `max_rows` rows. Rows whose texels cannot be told apart cheaply keep the
// whole box width.
bool texel_rows(const RasterTriangle* t, const Interpolant* uv, const TexelExtents* extents, int32_t threshold,
                PixelRun* rows, int32_t max_rows);
