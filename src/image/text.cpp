// One-line text images: the face file comes from platform/font.h, the line is drawn
// by FreeType as 8-bit coverage on a canvas four times the texture's size
// (base line at 4y, every glyph clipped to the canvas) and reduced by 4 x 4
// averaging into premultiplied colour. Relies on FreeType.
#include "image/text.h"

#include "platform/font.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace
{

// Windows-1252 bytes 0x80..0x9F as Unicode (0 where the code page has none);
// all other bytes are Latin-1.
const uint16_t cp1252_high[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

uint32_t ansi_to_unicode(unsigned char c)
{
    if (c >= 0x80 && c < 0xA0)
        return cp1252_high[c - 0x80];
    return c;
}

// Coverage canvas: 4 x the texture in both directions, one byte per sample.
struct Canvas {
    uint8_t* samples;
    int32_t width, height;
};

// The face the platform picks for a face name (the closest installed face
// when there is no such font). False when no font is installed at all.
bool text_find_font(const char* face_name, FT_Library library, FT_Face* face)
{
    char file[4096];
    int32_t index = 0;
    return font_file(face_name, file, sizeof file, &index) && FT_New_Face(library, file, index, face) == 0;
}

// Glyph index of a single-byte character. With the symbol map, symbol fonts
// keep their characters at 0xF000 + byte (where GDI looks them up) or at the
// byte itself.
FT_UInt text_glyph(FT_Face face, bool symbol, unsigned char c)
{
    if (symbol) {
        FT_UInt g = FT_Get_Char_Index(face, 0xF000u + c);
        return g ? g : FT_Get_Char_Index(face, c);
    }
    return FT_Get_Char_Index(face, ansi_to_unicode(c));
}

// Copies a glyph's coverage with its top-left sample at (left, top), clipped
// to all four canvas edges; overlapping glyphs keep the larger coverage.
void text_put_glyph(Canvas* canvas, const FT_Bitmap* bitmap, int64_t left, int64_t top)
{
    if ((bitmap->pixel_mode != FT_PIXEL_MODE_GRAY && bitmap->pixel_mode != FT_PIXEL_MODE_MONO) ||
        bitmap->pitch < 0)
        return;
    int64_t x0 = std::max<int64_t>(left, 0), x1 = std::min<int64_t>(left + bitmap->width, canvas->width);
    int64_t y0 = std::max<int64_t>(top, 0), y1 = std::min<int64_t>(top + bitmap->rows, canvas->height);
    for (int64_t y = y0; y < y1; y++) {
        const uint8_t* src = bitmap->buffer + (y - top) * bitmap->pitch;
        uint8_t* dst = canvas->samples + y * canvas->width;
        for (int64_t x = x0; x < x1; x++) {
            int64_t i = x - left;
            uint8_t v;
            if (bitmap->pixel_mode == FT_PIXEL_MODE_GRAY)
                v = src[i];
            else
                v = (src[i >> 3] >> (7 - (i & 7))) & 1 ? 255 : 0;
            dst[x] = std::max(dst[x], v);
        }
    }
}

// Draws the line with its base line starting at canvas sample (x, y).
void text_render_line(Canvas* canvas, const char* face_name, int32_t size, int64_t x, int64_t y,
                      const char* text)
{
    if (size <= 0 || size > 4096 || !text || !*text)
        return;
    FT_Library library;
    if (FT_Init_FreeType(&library))
        return;
    FT_Face face;
    if (text_find_font(face_name, library, &face)) {
        bool symbol = false;
        if (text_charset(face_name) == TEXT_CHARSET_SYMBOL)
            symbol = FT_Select_Charmap(face, FT_ENCODING_MS_SYMBOL) == 0;
        // A negative font height asks for the character (em) height: 4 x size.
        if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(4 * size)) == 0) {
            int64_t pen = x;
            for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; p++) {
                if (pen >= canvas->width + 8 * static_cast<int64_t>(size))
                    break; // everything further right is clipped away
                if (FT_Load_Glyph(face, text_glyph(face, symbol, *p), FT_LOAD_RENDER) != 0)
                    continue;
                FT_GlyphSlot g = face->glyph;
                text_put_glyph(canvas, &g->bitmap, pen + g->bitmap_left, y - g->bitmap_top);
                pen += (g->advance.x + 32) >> 6; // whole-pixel advances, as on the Windows fonts
            }
        }
        FT_Done_Face(face);
    }
    FT_Done_FreeType(library);
}

} // namespace

TextCharset text_charset(const char* face_name)
{
    if (face_name && (!std::strcmp(face_name, "Webdings") || !std::strcmp(face_name, "Wingdings") ||
                      !std::strcmp(face_name, "Symbol")))
        return TEXT_CHARSET_SYMBOL;
    return TEXT_CHARSET_ANSI;
}

void text_image(Texture* texture, const char* face_name, int32_t size, int32_t x, int32_t y, uint32_t colour,
                const char* text)
{
    if (!texture || texture->width <= 0 || texture->height <= 0)
        return;
    char face[TEXT_FACE_NAME_MAX + 1] = {0};
    if (face_name)
        std::strncpy(face, face_name, TEXT_FACE_NAME_MAX);

    Canvas canvas;
    canvas.width = 4 * texture->width;
    canvas.height = 4 * texture->height;
    canvas.samples = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(canvas.width), canvas.height));
    if (!canvas.samples)
        return;
    text_render_line(&canvas, face, size, 4 * static_cast<int64_t>(x), 4 * static_cast<int64_t>(y), text);

    // c = the sum of a 4 x 4 block of samples / 16; each colour byte times
    // c / 255, truncating.
    uint32_t ca = colour >> 24, cr = (colour >> 16) & 0xFF, cg = (colour >> 8) & 0xFF, cb = colour & 0xFF;
    for (int32_t i = 0; i < texture->height; i++) {
        const uint8_t* block = canvas.samples + static_cast<size_t>(4 * i) * canvas.width;
        uint32_t* out = texture->pixels + static_cast<size_t>(i) * texture->width;
        for (int32_t j = 0; j < texture->width; j++) {
            uint32_t sum = 0;
            for (int32_t r = 0; r < 4; r++) {
                const uint8_t* s = block + static_cast<size_t>(r) * canvas.width + 4 * j;
                sum += s[0] + s[1] + s[2] + s[3];
            }
            uint32_t c = sum / 16;
            out[j] = (ca * c / 255) << 24 | (cr * c / 255) << 16 | (cg * c / 255) << 8 | (cb * c / 255);
        }
    }
    std::free(canvas.samples);
}
