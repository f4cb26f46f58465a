// Anti-aliased one-line text images in an installed font: the line is
// rendered at 4x the texture's resolution as coverage and reduced by 4 x 4
// averaging into premultiplied colour. Fonts are found by fontconfig and
// rasterised by FreeType.
#pragma once

#include "image/texture.h"

#include <cstdint>

// Character sets a face name selects: the symbol map for the three symbol
// font names (exact, case-sensitive), the single-byte Western map otherwise.
enum TextCharset : int32_t { TEXT_CHARSET_ANSI = 0, TEXT_CHARSET_SYMBOL = 2 };

// Face names longer than this are cut to it.
enum { TEXT_FACE_NAME_MAX = 31 };

TextCharset text_charset(const char* face_name);

// Overwrites every pixel of texture with `text` in face `face_name` at a
// character height of `size` pixels, the base line starting at (x, y).
// A pixel with coverage c (0..255) becomes each byte of colour times c / 255
// (truncating); uncovered pixels become 0. An unknown face is replaced by
// the closest installed one; the texture stays unchanged only when memory
// for the samples runs out.
void text_image(Texture* texture, const char* face_name, int32_t size, int32_t x, int32_t y, uint32_t colour,
                const char* text);
