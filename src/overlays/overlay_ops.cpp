// The text overlay's own screen operations: grain mixing and modulation,
// row glitches, the fade, the rotated hand sprite, and the shared ease
// envelope. Relies on the frame surface, the runtime random sequence, the
// envelope evaluator and the triangle fill dispatch.
#include "overlays/overlay_ops.h"

#include "core/core.h"
#include "core/frame.h"
#include "image/texture.h"
#include "lightwave/lightwave.h"
#include "raster/raster.h"
#include "scene/mesh.h"

#include <cstring>

#include <emmintrin.h>

namespace
{

enum { GRAIN_TOP = LETTERBOX_TOP, GRAIN_BOTTOM = LETTERBOX_BOTTOM };

// Walks the letterbox rows [y0, y1) with the walk's grain rows and column
// offsets and combines each pixel with its grain texel. `combine` gets the
// screen row, the grain row and the offset.
template <typename Combine>
void grain_walk(const Texture* grain, const GrainWalk* walk, int32_t y0, int32_t y1, Combine combine)
{
    y0 = y0 < GRAIN_TOP ? GRAIN_TOP : y0;
    y1 = y1 > GRAIN_BOTTOM ? GRAIN_BOTTOM : y1;
    for (int32_t y = y0; y < y1; ++y) {
        const int32_t k = y - GRAIN_TOP;
        // The grain rows jump at random: the next one is asked for while this
        // one is drawn (a hint, no bytes change).
        if (y + 1 < GRAIN_BOTTOM) {
            const char* next = reinterpret_cast<const char*>(grain->pixels + walk->row[k + 1] * grain->width);
            for (int32_t line = 0; line < 256 * 4; line += 64)
                _mm_prefetch(next + line, _MM_HINT_T0);
        }
        combine(screen_row(y), grain->pixels + walk->row[k] * grain->width, walk->offset[k]);
    }
}

// The grain texels under screen columns x .. x + 3: columns (o + x) & 255 on,
// read straight from the grain row unless they wrap past its column 255.
inline __m128i grain_under4(const uint32_t* g_row, int32_t o, int32_t x)
{
    const int32_t column = (o + x) & 255;
    if (column <= 252)
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(g_row + column));
    return _mm_set_epi32(
        static_cast<int32_t>(g_row[(column + 3) & 255]), static_cast<int32_t>(g_row[(column + 2) & 255]),
        static_cast<int32_t>(g_row[(column + 1) & 255]), static_cast<int32_t>(g_row[column]));
}

// Per channel on 16-bit lanes, four pixels at a time:
//   keep = P x (255 - a) >> 8, and the grain term, then saturated to 255.
// The pixel is unpacked into the high byte of each lane (P << 8), so the high
// half of a product, (P << 8) x k >> 16, is P x k >> 8 exactly for any k below
// 65536: one multiply and no shift. The level is held as a << 8 likewise.
template <bool MODULATE> void grain_combine(uint32_t* row, const uint32_t* g_row, int32_t o, uint32_t a)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i level = _mm_set1_epi16(static_cast<int16_t>(a << 8));
    const __m128i rest = _mm_set1_epi16(static_cast<int16_t>(255 - a));
    for (int32_t x = 0; x < SCREEN_WIDTH; x += 4) {
        const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x));
        const __m128i g = grain_under4(g_row, o, x);
        __m128i out[2];
        for (int half = 0; half < 2; ++half) {
            const __m128i pc = half ? _mm_unpackhi_epi8(zero, p) : _mm_unpacklo_epi8(zero, p); // P << 8
            const __m128i gc = half ? _mm_unpackhi_epi8(g, zero) : _mm_unpacklo_epi8(g, zero);
            const __m128i keep = _mm_mulhi_epu16(pc, rest);
            __m128i add;
            if (MODULATE)
                add = _mm_mulhi_epu16(level, _mm_mulhi_epu16(pc, gc)); // a x (P x G >> 8) >> 8
            else
                add = _mm_mulhi_epu16(level, gc); // a x G >> 8
            out[half] = _mm_add_epi16(keep, add);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(row + x), _mm_packus_epi16(out[0], out[1]));
    }
}

// Clamped to 0..255 so that the channel products stay in range for any caller.
uint32_t level_of(int32_t a)
{
    return a < 0 ? 0u : (a > 255 ? 255u : static_cast<uint32_t>(a));
}

// The ease envelope: one static two-key record reused by both operations.
MotionKey ease_keys[2];
MotionEnvelope ease_envelope;

float ease(float start, float end, float s, float tension0, float tension1)
{
    MotionKey* k0 = &ease_keys[0];
    MotionKey* k1 = &ease_keys[1];
    std::memset(ease_keys, 0, sizeof ease_keys);
    k0->next = k1;
    k1->previous = k0;
    k0->time = 0.0f;
    k0->value = start;
    k1->time = 1.0f;
    k1->value = end;
    k0->shape = 0;
    k1->shape = 0;
    k0->tension = tension0;
    k1->tension = tension1;
    ease_envelope.keys = k0;
    ease_envelope.key_count = 2;
    ease_envelope.pre_behaviour = 1;
    ease_envelope.post_behaviour = 1;
    const float value = envelope_evaluate(&ease_envelope, s);
    k0->shape = 3;
    k1->shape = 3;
    return value;
}

} // namespace

float ease_in(float start, float end, float s)
{
    return ease(start, end, s, 1.25f, -2.0f);
}

float ease_out(float start, float end, float s)
{
    return ease(start, end, s, -2.0f, 1.25f);
}

// The grain's row for letterbox row y is (r + y) & 255, r being drawn for the
// previous row; the column is the signed byte (o - (640 - x)) + 128, which is
// (o + x) & 255.
void grain_walk_draw(GrainWalk* walk)
{
    int32_t r = core_rand();
    for (int32_t y = GRAIN_TOP; y < GRAIN_BOTTOM; ++y) {
        const int32_t e = core_rand();
        const int32_t o = core_rand();
        walk->row[y - GRAIN_TOP] = static_cast<uint8_t>((r + y) & 255);
        walk->offset[y - GRAIN_TOP] = static_cast<uint8_t>(o & 255);
        r = e;
    }
}

void grain_mix_rows(const Texture* grain, const GrainWalk* walk, int32_t a, int32_t y0, int32_t y1)
{
    const uint32_t k = level_of(a);
    grain_walk(grain, walk, y0, y1, [k](uint32_t* row, const uint32_t* g_row, int32_t o) {
        grain_combine<false>(row, g_row, o, k);
    });
}

void grain_modulate_rows(const Texture* grain, const GrainWalk* walk, int32_t a, int32_t y0, int32_t y1)
{
    const uint32_t k = level_of(a);
    grain_walk(grain, walk, y0, y1, [k](uint32_t* row, const uint32_t* g_row, int32_t o) {
        grain_combine<true>(row, g_row, o, k);
    });
}

void grain_mix(const Texture* grain, int32_t a)
{
    GrainWalk walk;
    grain_walk_draw(&walk);
    grain_mix_rows(grain, &walk, a, 0, SCREEN_HEIGHT);
}

void grain_modulate(const Texture* grain, int32_t a)
{
    GrainWalk walk;
    grain_walk_draw(&walk);
    grain_modulate_rows(grain, &walk, a, 0, SCREEN_HEIGHT);
}

void row_glitch_draw(RowGlitch* glitch, int32_t shift, int32_t band)
{
    std::memset(glitch->move, 0, sizeof glitch->move);
    glitch->shift = shift;
    if (band <= 0 || shift < 0 || shift >= SCREEN_WIDTH)
        return;
    for (int32_t y = 0; y < SCREEN_HEIGHT - band; y += band) {
        const int32_t r = core_rand() & 3;
        if (r != 1 && r != 3)
            continue;
        for (int32_t row_index = y; row_index < y + band; ++row_index)
            glitch->move[row_index] = static_cast<uint8_t>(r);
    }
}

void row_glitch_rows(const RowGlitch* glitch, int32_t y0, int32_t y1)
{
    const int32_t shift = glitch->shift;
    const size_t kept = static_cast<size_t>(SCREEN_WIDTH - shift);
    for (int32_t y = y0 < 0 ? 0 : y0; y < y1 && y < SCREEN_HEIGHT; ++y) {
        uint32_t* row = screen_row(y);
        if (glitch->move[y] == 1) {
            std::memmove(row, row + shift, kept * sizeof(uint32_t));
            for (int32_t x = SCREEN_WIDTH - shift; x < SCREEN_WIDTH; ++x)
                row[x] = 0xff000000u;
        } else if (glitch->move[y] == 3) {
            std::memmove(row + shift, row, kept * sizeof(uint32_t));
            for (int32_t x = 0; x < shift; ++x)
                row[x] = 0xff000000u;
        }
    }
}

void row_glitch(int32_t shift, int32_t band)
{
    RowGlitch glitch;
    row_glitch_draw(&glitch, shift, band);
    row_glitch_rows(&glitch, 0, SCREEN_HEIGHT);
}

void fade_screen(uint32_t colour, int32_t a)
{
    fade_screen_rows(colour, a, 0, SCREEN_HEIGHT);
}

void fade_screen_rows(uint32_t colour, int32_t a, int32_t y0, int32_t y1)
{
    // Per channel on 16-bit lanes: P x (255 - a) >> 8, plus the colour, saturated.
    const __m128i zero = _mm_setzero_si128();
    const __m128i rest = _mm_set1_epi16(static_cast<int16_t>(255 - level_of(a)));
    const __m128i add = _mm_unpacklo_epi8(_mm_set1_epi32(static_cast<int32_t>(colour)), zero);
    for (int32_t y = y0 < 0 ? 0 : y0; y < y1 && y < SCREEN_HEIGHT; ++y) {
        uint32_t* row = screen_row(y);
        for (int32_t x = 0; x < SCREEN_WIDTH; x += 4) {
            const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x));
            const __m128i lo =
                _mm_add_epi16(_mm_srli_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(p, zero), rest), 8), add);
            const __m128i hi =
                _mm_add_epi16(_mm_srli_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(p, zero), rest), 8), add);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(row + x), _mm_packus_epi16(lo, hi));
        }
    }
}

void hand_sprite(Texture* texture, float x, float y, int32_t grey_level, float angle, float scale)
{
    if (!texture)
        return;
    static const float corners[4][2] = {{1.0f, 1.0f}, {-1.0f, 1.0f}, {-1.0f, -1.0f}, {1.0f, -1.0f}};
    const float half_w = static_cast<float>(texture->width) / 2.0f * scale;
    const float half_h = static_cast<float>(texture->height) / 2.0f * scale;
    Matrix rotation;
    matrix_rotation_z(&rotation, angle);
    ScreenVertex quad[4];
    for (int32_t i = 0; i < 4; ++i) {
        const Vec3 corner = {corners[i][0] * half_w, corners[i][1] * half_h, 0.0f};
        Vec3 turned;
        transform_point(&rotation, &corner, &turned);
        ScreenVertex& v = quad[i];
        std::memset(&v, 0, sizeof v);
        v.x = turned.x + x;
        v.y = turned.y + y;
        v.rhw = 1.0f;
        v.u = corners[i][0] < 0.0f ? 0.0f : 1.0f;
        v.v = corners[i][1] < 0.0f ? 0.0f : 1.0f;
    }
    RasterTriangle triangles[2];
    std::memset(triangles, 0, sizeof triangles);
    const int32_t order[2][3] = {{0, 1, 2}, {0, 2, 3}};
    for (int32_t t = 0; t < 2; ++t) {
        for (int32_t k = 0; k < 3; ++k)
            triangles[t].v[k] = quad[order[t][k]];
        triangles[t].flat_colour = grey(grey_level);
        triangles[t].flags = 0;
    }
    draw_triangles(triangles, 2, texture, FILL_ALPHA | FILL_TEXTURE);
}
