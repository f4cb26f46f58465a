// RGB PNG writer (png_out.h). Level 1 (captured frames) uses a built-in fast
// encoder: rows filtered by a fixed predictor, deflate matches only against the
// previous pixel and the pixel above, one dynamic Huffman block per band of
// rows. Other levels go through libpng and zlib. Both rely on zlib's CRC-32.
#include "runtime/png_out.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <bit>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{

// ---- libpng path (levels other than 1) -------------------------------------------

// The libpng part, apart so that setjmp never skips a C++ destructor.
bool write_rows(FILE* fp, const uint32_t* pixels, int32_t width, int32_t height, int32_t stride,
                int32_t level, unsigned char* row)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    png_init_io(png, fp);
    png_set_compression_level(png, level);
    // Sub filtering alone: nearly the size of adaptive filtering, much faster.
    png_set_filter(png, 0, PNG_FILTER_SUB);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int32_t y = 0; y < height; y++) {
        const uint32_t* src = pixels + static_cast<size_t>(y) * static_cast<size_t>(stride);
        for (int32_t x = 0; x < width; x++) {
            row[x * 3 + 0] = static_cast<unsigned char>(src[x] >> 16);
            row[x * 3 + 1] = static_cast<unsigned char>(src[x] >> 8);
            row[x * 3 + 2] = static_cast<unsigned char>(src[x]);
        }
        png_write_row(png, row);
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

// ---- Fast encoder: tables ------------------------------------------------------------

constexpr int32_t LITLEN_CODES = 286, DIST_CODES = 30, CODELEN_CODES = 19;
constexpr int32_t MAX_BITS = 15, MAX_CODELEN_BITS = 7;
constexpr int32_t END_OF_BLOCK = 256;

constexpr uint16_t LENGTH_BASE[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const uint8_t LENGTH_EXTRA[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                  2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const uint16_t DIST_BASE[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const uint8_t DIST_EXTRA[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
const uint8_t CODELEN_ORDER[CODELEN_CODES] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                              11, 4,  12, 3, 13, 2, 14, 1, 15};

// Length 3..258 -> index into LENGTH_BASE (code 257 + index).
struct LengthTable {
    uint8_t index[259]{};
    constexpr LengthTable()
    {
        int32_t c = 0;
        for (int32_t len = 3; len < 259; len++) {
            while (c < 28 && LENGTH_BASE[c + 1] <= len)
                c++;
            index[len] = static_cast<uint8_t>(c);
        }
    }
};
constexpr LengthTable length_table;

int32_t dist_code(int32_t d)
{
    int32_t c = DIST_CODES - 1;
    while (DIST_BASE[c] > d)
        c--;
    return c;
}

// ---- Fast encoder: Huffman codes -------------------------------------------------------

// Code lengths for freq[0..n), none above max_bits: an optimal code from the
// two-queue merge of the sorted weights, then (if too deep) the overfull
// lengths folded into max_bits and the Kraft sum restored by lengthening the
// deepest shorter codes. Lengths go to the symbols by descending frequency.
// At least two symbols are expected to be used (callers make sure).
void huffman_lengths(const uint32_t* freq, int32_t n, int32_t max_bits, uint8_t* lengths)
{
    int32_t order[LITLEN_CODES];
    int32_t m = 0;
    for (int32_t s = 0; s < n; s++) {
        lengths[s] = 0;
        if (freq[s])
            order[m++] = s;
    }
    if (m == 0)
        return;
    if (m == 1) {
        lengths[order[0]] = 1;
        return;
    }
    std::sort(order, order + m,
              [&](int32_t a, int32_t b) { return freq[a] != freq[b] ? freq[a] < freq[b] : a < b; });
    uint32_t weight[2 * LITLEN_CODES];
    int32_t parent[2 * LITLEN_CODES];
    for (int32_t i = 0; i < m; i++)
        weight[i] = freq[order[i]];
    int32_t leaf = 0, inner = m, next = m;
    auto take = [&]() {
        if (leaf < m && (inner >= next || weight[leaf] <= weight[inner]))
            return leaf++;
        return inner++;
    };
    for (int32_t k = 0; k < m - 1; k++) {
        int32_t a = take();
        int32_t b = take();
        weight[next] = weight[a] + weight[b];
        parent[a] = parent[b] = next;
        next++;
    }
    // Parents come after their children, so depths fill from the root down.
    int32_t depth[2 * LITLEN_CODES];
    depth[next - 1] = 0;
    int32_t count[64] = {};
    for (int32_t i = next - 2; i >= 0; i--)
        depth[i] = depth[parent[i]] + 1;
    for (int32_t i = 0; i < m; i++)
        count[std::min(depth[i], 63)]++;
    for (int32_t len = max_bits + 1; len < 64; len++) {
        count[max_bits] += count[len];
        count[len] = 0;
    }
    uint32_t total = 0;
    for (int32_t len = 1; len <= max_bits; len++)
        total += static_cast<uint32_t>(count[len]) << (max_bits - len);
    while (total != (1u << max_bits)) {
        count[max_bits]--;
        for (int32_t len = max_bits - 1; len > 0; len--) {
            if (count[len]) {
                count[len]--;
                count[len + 1] += 2;
                break;
            }
        }
        total--;
    }
    int32_t i = 0;
    for (int32_t len = max_bits; len >= 1; len--)
        for (int32_t k = 0; k < count[len]; k++)
            lengths[order[i++]] = static_cast<uint8_t>(len);
}

// Canonical codes from lengths, bit-reversed for the LSB-first bit stream.
void huffman_codes(const uint8_t* lengths, int32_t n, uint16_t* codes)
{
    uint32_t count[MAX_BITS + 1] = {}, next[MAX_BITS + 2] = {};
    for (int32_t s = 0; s < n; s++)
        count[lengths[s]]++;
    count[0] = 0;
    for (int32_t len = 1; len <= MAX_BITS; len++)
        next[len + 1] = (next[len] + count[len]) << 1;
    for (int32_t s = 0; s < n; s++) {
        int32_t len = lengths[s];
        if (!len) {
            codes[s] = 0;
            continue;
        }
        uint32_t code = next[len]++, reversed = 0;
        for (int32_t b = 0; b < len; b++)
            reversed |= ((code >> b) & 1u) << (len - 1 - b);
        codes[s] = static_cast<uint16_t>(reversed);
    }
}

// ---- Fast encoder: bit output --------------------------------------------------------------

// Bits go out LSB first. Whole bytes leave the 64-bit holder in flush(), which
// stores 8 bytes at a time (the output keeps 8 bytes of room at its end) and
// keeps at most 7 bits, so up to 56 bits may be put between flushes.
struct BitWriter {
    unsigned char* out;
    size_t pos;
    uint64_t bits;
    int32_t count;

    void put(uint64_t value, int32_t n)
    {
        bits |= value << count;
        count += n;
    }
    void flush()
    {
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(out + pos, &bits, 8);
        } else {
            for (int32_t i = 0; i < 8; i++)
                out[pos + i] = static_cast<unsigned char>(bits >> (8 * i));
        }
        pos += static_cast<size_t>(count >> 3);
        bits >>= count & ~7;
        count &= 7;
    }
    // Pads with zero bits to a whole byte and writes out what is held.
    void align()
    {
        flush();
        if (count > 0)
            out[pos++] = static_cast<unsigned char>(bits);
        bits = 0;
        count = 0;
    }
};

// ---- Fast encoder: deflate ---------------------------------------------------------------

// A symbol of the first pass: a literal byte, PIXEL | the three bytes of a
// pixel (first byte lowest), or MATCH | length << 8 | which distance (0 = the
// previous pixel, 1 = the pixel above).
constexpr uint32_t MATCH = 0x80000000u, PIXEL = 0x40000000u;

struct Scratch {
    std::vector<unsigned char> filtered;
    std::vector<uint32_t> symbols;
    std::vector<unsigned char> out;
};

// Rows are filtered with Sub (filter type 1: each byte minus the same byte of
// the pixel to the left): at level 1 Paeth saved 3 % of the size for five
// times the filtering time.
constexpr unsigned char FILTER_TYPE = 1;

// Byte-wise differences of the pixels' words (a - b in each byte, no borrow
// between bytes), stored as R, G, B: each store writes a fourth byte, which the
// next pixel or row overwrites (the buffer keeps room after the last row).
void filter_row(const uint32_t* src, int32_t width, unsigned char* dst)
{
    constexpr uint32_t HIGH = 0x80808080u;
    uint32_t left = 0;
    for (int32_t x = 0; x < width; x++) {
        uint32_t v = src[x];
        uint32_t d = ((v | HIGH) - (left & ~HIGH)) ^ ((v ^ ~left) & HIGH);
        left = v;
        if constexpr (std::endian::native == std::endian::little) {
            uint32_t rgb = __builtin_bswap32(d) >> 8; // R, G, B, 0 in memory
            std::memcpy(dst + x * 3, &rgb, 4);
        } else {
            dst[x * 3 + 0] = static_cast<unsigned char>(d >> 16);
            dst[x * 3 + 1] = static_cast<unsigned char>(d >> 8);
            dst[x * 3 + 2] = static_cast<unsigned char>(d);
        }
    }
}

// The three bytes at p (reads a fourth, which the buffers keep room for).
inline uint32_t load3(const unsigned char* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    if constexpr (std::endian::native == std::endian::little)
        return v & 0xFFFFFFu;
    else
        return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
               static_cast<uint32_t>(p[2]) << 16;
}

// First pass over the filtered rows [y0, y1): symbols and their counts; returns
// the number of symbols. Matches run over whole pixels within a row, from 2 to
// 86 pixels (258 bytes).
size_t find_matches(const unsigned char* data, size_t line, int32_t width, int32_t y0, int32_t y1,
                    bool use_above, uint32_t* symbols, uint32_t* lit_freq, uint32_t* dist_freq,
                    const int32_t* dist_codes)
{
    uint32_t* out = symbols;
    for (int32_t y = y0; y < y1; y++) {
        const unsigned char* row = data + static_cast<size_t>(y) * line;
        *out++ = row[0];
        lit_freq[row[0]]++;
        const unsigned char* px = row + 1;
        bool above = use_above && y > 0;
        int32_t x = 0;
        while (x < width) {
            const unsigned char* p = px + x * 3;
            uint32_t v = load3(p);
            int32_t which = -1, run = 0;
            if (x > 0 && v == load3(p - 3)) {
                which = 0;
                run = 1;
                while (run < 86 && x + run < width && load3(p + run * 3) == v)
                    run++;
            }
            if (above && run < 86 && v == load3(p - line)) {
                int32_t r = 1;
                while (r < 86 && x + r < width && load3(p + r * 3) == load3(p + r * 3 - line))
                    r++;
                if (r > run) {
                    which = 1;
                    run = r;
                }
            }
            if (run >= 2) { // one pixel costs about as much as its three literals
                int32_t len = run * 3;
                *out++ = MATCH | static_cast<uint32_t>(len) << 8 | static_cast<uint32_t>(which);
                lit_freq[257 + length_table.index[len]]++;
                dist_freq[dist_codes[which]]++;
                x += run;
            } else {
                *out++ = PIXEL | v;
                lit_freq[p[0]]++;
                lit_freq[p[1]]++;
                lit_freq[p[2]]++;
                x++;
            }
        }
    }
    return static_cast<size_t>(out - symbols);
}

// Stored blocks for bytes [0, n), at most 65535 each.
void write_stored(BitWriter& bw, const unsigned char* data, size_t n, bool last)
{
    do {
        size_t part = std::min<size_t>(n, 65535);
        n -= part;
        bw.put((last && n == 0) ? 1u : 0u, 3);
        bw.align();
        unsigned char* o = bw.out + bw.pos;
        o[0] = static_cast<unsigned char>(part);
        o[1] = static_cast<unsigned char>(part >> 8);
        o[2] = static_cast<unsigned char>(~part);
        o[3] = static_cast<unsigned char>(~part >> 8);
        std::memcpy(o + 4, data, part);
        bw.pos += 4 + part;
        data += part;
    } while (n > 0);
}

// One block for the filtered bytes [start, start + n) whose symbols were
// found: dynamic Huffman, or stored when that is smaller.
void write_block(BitWriter& bw, const uint32_t* symbols, size_t symbol_count, uint32_t* lit_freq,
                 uint32_t* dist_freq, const int32_t* dist_codes, const uint32_t* dist_extra,
                 const unsigned char* start, size_t n, bool last)
{
    lit_freq[END_OF_BLOCK] = 1;
    // Two used codes per tree keep every decoder happy.
    if (std::count_if(lit_freq, lit_freq + LITLEN_CODES, [](uint32_t f) { return f != 0; }) < 2)
        lit_freq[0] |= 1;
    if (std::count_if(dist_freq, dist_freq + DIST_CODES, [](uint32_t f) { return f != 0; }) < 2) {
        dist_freq[0] |= 1;
        dist_freq[1] |= 1;
    }
    uint8_t lit_len[LITLEN_CODES], dist_len[DIST_CODES];
    uint16_t lit_code[LITLEN_CODES], dist_code_bits[DIST_CODES];
    huffman_lengths(lit_freq, LITLEN_CODES, MAX_BITS, lit_len);
    huffman_lengths(dist_freq, DIST_CODES, MAX_BITS, dist_len);
    huffman_codes(lit_len, LITLEN_CODES, lit_code);
    huffman_codes(dist_len, DIST_CODES, dist_code_bits);

    int32_t hlit = LITLEN_CODES, hdist = DIST_CODES;
    while (hlit > 257 && !lit_len[hlit - 1])
        hlit--;
    while (hdist > 1 && !dist_len[hdist - 1])
        hdist--;
    // The code lengths, run-length coded with 16 (repeat last), 17 and 18 (zeros).
    uint8_t all[LITLEN_CODES + DIST_CODES];
    std::memcpy(all, lit_len, static_cast<size_t>(hlit));
    std::memcpy(all + hlit, dist_len, static_cast<size_t>(hdist));
    int32_t total = hlit + hdist;
    uint8_t rle_sym[LITLEN_CODES + DIST_CODES], rle_extra[LITLEN_CODES + DIST_CODES];
    int32_t rle_n = 0;
    uint32_t cl_freq[CODELEN_CODES] = {};
    for (int32_t i = 0; i < total;) {
        int32_t v = all[i], run = 1;
        while (i + run < total && all[i + run] == v)
            run++;
        int32_t left = run;
        if (v == 0) {
            while (left >= 11) {
                int32_t r = std::min(left, 138);
                rle_sym[rle_n] = 18;
                rle_extra[rle_n++] = static_cast<uint8_t>(r - 11);
                left -= r;
            }
            if (left >= 3) {
                rle_sym[rle_n] = 17;
                rle_extra[rle_n++] = static_cast<uint8_t>(left - 3);
                left = 0;
            }
        } else {
            rle_sym[rle_n] = static_cast<uint8_t>(v);
            rle_extra[rle_n++] = 0;
            left--;
            while (left >= 3) {
                int32_t r = std::min(left, 6);
                rle_sym[rle_n] = 16;
                rle_extra[rle_n++] = static_cast<uint8_t>(r - 3);
                left -= r;
            }
        }
        for (; left > 0; left--) {
            rle_sym[rle_n] = static_cast<uint8_t>(v);
            rle_extra[rle_n++] = 0;
        }
        i += run;
    }
    for (int32_t i = 0; i < rle_n; i++)
        cl_freq[rle_sym[i]]++;
    if (std::count_if(cl_freq, cl_freq + CODELEN_CODES, [](uint32_t f) { return f != 0; }) < 2)
        cl_freq[cl_freq[0] ? 1 : 0] |= 1;
    uint8_t cl_len[CODELEN_CODES];
    uint16_t cl_code[CODELEN_CODES];
    huffman_lengths(cl_freq, CODELEN_CODES, MAX_CODELEN_BITS, cl_len);
    huffman_codes(cl_len, CODELEN_CODES, cl_code);
    int32_t hclen = CODELEN_CODES;
    while (hclen > 4 && !cl_len[CODELEN_ORDER[hclen - 1]])
        hclen--;

    // Exact size of the dynamic block against a stored one.
    static const uint8_t RLE_EXTRA_BITS[CODELEN_CODES] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                          0, 0, 0, 0, 0, 0, 2, 3, 7};
    uint64_t bits = 3 + 5 + 5 + 4 + 3 * static_cast<uint64_t>(hclen);
    for (int32_t i = 0; i < rle_n; i++)
        bits += cl_len[rle_sym[i]] + RLE_EXTRA_BITS[rle_sym[i]];
    for (int32_t s = 0; s < LITLEN_CODES; s++)
        bits += static_cast<uint64_t>(lit_freq[s]) * (lit_len[s] + (s > 256 ? LENGTH_EXTRA[s - 257] : 0));
    for (int32_t s = 0; s < DIST_CODES; s++)
        bits += static_cast<uint64_t>(dist_freq[s]) * (dist_len[s] + DIST_EXTRA[s]);
    uint64_t stored_bits = (static_cast<uint64_t>(n) + 5 * (n / 65535 + 1)) * 8 + 7;
    if (bits >= stored_bits) {
        write_stored(bw, start, n, last);
        return;
    }

    bw.put(last ? 1u : 0u, 1);
    bw.put(2, 2);
    bw.put(static_cast<uint32_t>(hlit - 257), 5);
    bw.put(static_cast<uint32_t>(hdist - 1), 5);
    bw.put(static_cast<uint32_t>(hclen - 4), 4);
    bw.flush();
    for (int32_t i = 0; i < hclen; i++) {
        bw.put(cl_len[CODELEN_ORDER[i]], 3);
        bw.flush();
    }
    for (int32_t i = 0; i < rle_n; i++) {
        bw.put(cl_code[rle_sym[i]], cl_len[rle_sym[i]]);
        if (rle_sym[i] >= 16)
            bw.put(rle_extra[i], RLE_EXTRA_BITS[rle_sym[i]]);
        bw.flush();
    }
    // Each match length's code with its extra bits, and each distance's.
    uint32_t len_bits[259], len_n[259];
    for (int32_t len = 3; len < 259; len++) {
        int32_t li = length_table.index[len], code = 257 + li;
        len_bits[len] = lit_code[code] | static_cast<uint32_t>(len - LENGTH_BASE[li]) << lit_len[code];
        len_n[len] = lit_len[code] + LENGTH_EXTRA[li];
    }
    uint32_t dist_bits[2], dist_n[2];
    for (int32_t w = 0; w < 2; w++) {
        int32_t dc = dist_codes[w];
        dist_bits[w] = dist_code_bits[dc] | dist_extra[w] << dist_len[dc];
        dist_n[w] = dist_len[dc] + DIST_EXTRA[dc];
    }
    for (size_t i = 0; i < symbol_count; i++) {
        uint32_t sym = symbols[i];
        if (sym & PIXEL) {
            uint32_t b0 = sym & 0xFF, b1 = (sym >> 8) & 0xFF, b2 = (sym >> 16) & 0xFF;
            bw.put(lit_code[b0], lit_len[b0]);
            bw.put(lit_code[b1], lit_len[b1]);
            bw.put(lit_code[b2], lit_len[b2]);
        } else if (sym & MATCH) {
            uint32_t len = (sym >> 8) & 0x1FF, which = sym & 1;
            bw.put(len_bits[len], static_cast<int32_t>(len_n[len]));
            bw.put(dist_bits[which], static_cast<int32_t>(dist_n[which]));
        } else {
            bw.put(lit_code[sym], lit_len[sym]);
        }
        bw.flush();
    }
    bw.put(lit_code[END_OF_BLOCK], lit_len[END_OF_BLOCK]);
    bw.flush();
}

// Adler-32 of n bytes (the zlib stream's checksum), by rounds of 16 bytes in
// 16 lanes: over K rounds lane j sums its bytes (sum) and the running sums
// (prefix = sum over rounds k of (K - k) * byte), so the weighted sum that
// b gains is 16 * prefix - j * sum per lane. 346 rounds keep every sum below
// 2^32 before the reduction modulo 65521.
uint32_t adler32_fast(const unsigned char* p, size_t n)
{
    uint32_t a = 1, b = 0;
    while (n >= 16) {
        size_t rounds = std::min<size_t>(n / 16, 346);
        uint32_t sum[16] = {}, prefix[16] = {};
        for (size_t k = 0; k < rounds; k++, p += 16) {
            for (int32_t j = 0; j < 16; j++) {
                sum[j] += p[j];
                prefix[j] += sum[j];
            }
        }
        n -= rounds * 16;
        uint64_t aa = a, bb = b + static_cast<uint64_t>(rounds) * 16 * a;
        for (int32_t j = 0; j < 16; j++) {
            aa += sum[j];
            bb += 16ull * prefix[j] - static_cast<uint64_t>(j) * sum[j];
        }
        a = static_cast<uint32_t>(aa % 65521);
        b = static_cast<uint32_t>(bb % 65521);
    }
    for (; n > 0; n--, p++) {
        a += *p;
        b += a;
    }
    return (b % 65521) << 16 | (a % 65521);
}

void put_be32(unsigned char* p, uint32_t v)
{
    p[0] = static_cast<unsigned char>(v >> 24);
    p[1] = static_cast<unsigned char>(v >> 16);
    p[2] = static_cast<unsigned char>(v >> 8);
    p[3] = static_cast<unsigned char>(v);
}

// Ends a chunk whose type starts at type and whose data is length bytes: its CRC.
size_t chunk_crc(unsigned char* type, size_t length)
{
    uLong crc = crc32_z(0L, type, 4 + length);
    put_be32(type + 4 + length, static_cast<uint32_t>(crc));
    return 4 + length + 4;
}

// The whole file into s.out; returns its size.
size_t encode_fast(Scratch& s, const uint32_t* pixels, int32_t width, int32_t height, int32_t stride)
{
    size_t row_bytes = static_cast<size_t>(width) * 3, line = row_bytes + 1;
    size_t raw_size = line * static_cast<size_t>(height);
    s.filtered.resize(raw_size + 4);
    for (int32_t y = 0; y < height; y++) {
        unsigned char* dst = s.filtered.data() + static_cast<size_t>(y) * line;
        dst[0] = FILTER_TYPE;
        filter_row(pixels + static_cast<size_t>(y) * static_cast<size_t>(stride), width, dst + 1);
    }

    // Bands of rows small enough for one stored block each (where a row fits).
    int32_t band = static_cast<int32_t>(std::max<size_t>(1, 65535 / line));
    bool use_above = line <= 32768; // the deflate window
    int32_t dist_codes[2] = {dist_code(3), use_above ? dist_code(static_cast<int32_t>(line)) : 0};
    uint32_t dist_extra[2] = {3u - DIST_BASE[dist_codes[0]],
                              use_above ? static_cast<uint32_t>(line) - DIST_BASE[dist_codes[1]] : 0u};

    // Bound: a dynamic block is written only when smaller than stored ones.
    size_t bands = (static_cast<size_t>(height) + band - 1) / band;
    size_t bound = 8 + 25 + 12 + 2 + raw_size + 8 * (raw_size / 65535 + 2 * bands + 4) + 4 + 12 + 64;
    s.out.resize(bound);
    s.symbols.resize(static_cast<size_t>(band) * line); // at most one per byte
    unsigned char* o = s.out.data();
    static const unsigned char SIGNATURE[8] = {137, 80, 78, 71, 13, 10, 26, 10};
    std::memcpy(o, SIGNATURE, 8);
    size_t pos = 8;
    put_be32(o + pos, 13);
    std::memcpy(o + pos + 4, "IHDR", 4);
    put_be32(o + pos + 8, static_cast<uint32_t>(width));
    put_be32(o + pos + 12, static_cast<uint32_t>(height));
    const unsigned char ihdr_rest[5] = {8, 2, 0, 0,
                                        0}; // 8 bits, RGB, deflate, adaptive filters, no interlace
    std::memcpy(o + pos + 16, ihdr_rest, 5);
    pos += 4 + chunk_crc(o + pos + 4, 13);
    size_t idat = pos;
    std::memcpy(o + idat + 4, "IDAT", 4);
    o[idat + 8] = 0x78; // deflate, 32 KiB window
    o[idat + 9] = 0x01; // fastest; header check bits
    BitWriter bw{o, idat + 10, 0, 0};
    uint32_t lit_freq[LITLEN_CODES], dist_freq[DIST_CODES];
    for (int32_t y0 = 0; y0 < height; y0 += band) {
        int32_t y1 = std::min(height, y0 + band);
        std::fill(lit_freq, lit_freq + LITLEN_CODES, 0u);
        std::fill(dist_freq, dist_freq + DIST_CODES, 0u);
        size_t count = find_matches(s.filtered.data(), line, width, y0, y1, use_above, s.symbols.data(),
                                    lit_freq, dist_freq, dist_codes);
        write_block(bw, s.symbols.data(), count, lit_freq, dist_freq, dist_codes, dist_extra,
                    s.filtered.data() + static_cast<size_t>(y0) * line, static_cast<size_t>(y1 - y0) * line,
                    y1 == height);
    }
    bw.align();
    pos = bw.pos;
    put_be32(o + pos, adler32_fast(s.filtered.data(), raw_size));
    pos += 4;
    size_t idat_length = pos - (idat + 8);
    put_be32(o + idat, static_cast<uint32_t>(idat_length));
    pos = idat + 4 + chunk_crc(o + idat + 4, idat_length);
    put_be32(o + pos, 0);
    std::memcpy(o + pos + 4, "IEND", 4);
    pos += 4 + chunk_crc(o + pos + 4, 0);
    return pos;
}

} // namespace

int32_t png_out_write(const char* name, const uint32_t* pixels, int32_t width, int32_t height, int32_t stride,
                      int32_t level)
{
    if (!name || !pixels || width <= 0 || height <= 0 || stride < width || width > 65536 || height > 65536)
        return 1;
    if (level < 0)
        level = 0;
    if (level > 9)
        level = 9;
    std::string part = std::string(name) + ".part";
    FILE* fp = std::fopen(part.c_str(), "wb");
    if (!fp)
        return 1;
    bool ok;
    // The fast encoder writes one IDAT chunk, which must stay below 2 GiB.
    if (level == 1 && (static_cast<uint64_t>(width) * 3 + 1) * static_cast<uint64_t>(height) < (1u << 30)) {
        // Work buffers kept per thread: capture threads encode frame after frame.
        thread_local Scratch scratch;
        size_t size = encode_fast(scratch, pixels, width, height, stride);
        ok = std::fwrite(scratch.out.data(), 1, size, fp) == size;
    } else {
        std::vector<unsigned char> row(static_cast<size_t>(width) * 3);
        ok = write_rows(fp, pixels, width, height, stride, level, row.data());
    }
    ok = (std::fclose(fp) == 0) && ok;
    if (ok && std::rename(part.c_str(), name) == 0)
        return 0;
    std::remove(part.c_str());
    return 1;
}
