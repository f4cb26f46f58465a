// Text for the data-set generator: Debian fonts found through fontconfig,
// lines rendered to coverage masks with FreeType (anti-aliased or 1-bit), and
// glyph outlines flattened into polygons for the extruded letter objects.
// Relies on FreeType and fontconfig.
#include "datagen.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>

namespace {

std::recursive_mutex font_mutex; // fontconfig and one FT_Library are shared by the threads

const char* style_pattern(FontStyle style)
{
    switch (style) {
    case FONT_SANS_BOLD: return "Liberation Sans:bold";
    case FONT_SANS: return "Liberation Sans";
    case FONT_SERIF_BOLD: return "Liberation Serif:bold";
    case FONT_SERIF_ITALIC: return "Liberation Serif:italic";
    case FONT_MONO_BOLD: return "Liberation Mono:bold";
    case FONT_CONDENSED_BOLD: return "Liberation Sans Narrow:bold";
    }
    return "Liberation Sans";
}

struct FontLib {
    FT_Library lib = nullptr;
    FontLib() { FT_Init_FreeType(&lib); }
    ~FontLib() { FT_Done_FreeType(lib); }
};

FT_Library library()
{
    static FontLib fl;
    return fl.lib;
}

struct Face {
    FT_Face face = nullptr;
    explicit Face(FontStyle style)
    {
        std::string path = font_file(style);
        if (FT_New_Face(library(), path.c_str(), 0, &face) != 0) {
            std::fprintf(stderr, "dunravel-datagen: cannot open font %s\n", path.c_str());
            face = nullptr;
        }
    }
    ~Face()
    {
        if (face)
            FT_Done_Face(face);
    }
};

} // namespace

void text_shutdown()
{
    std::lock_guard<std::recursive_mutex> lock(font_mutex);
    FcFini();
}

std::string font_file(FontStyle style)
{
    std::lock_guard<std::recursive_mutex> lock(font_mutex);
    std::string result = "/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf";
    FcPattern* pat = FcNameParse(reinterpret_cast<const FcChar8*>(style_pattern(style)));
    if (!pat)
        return result;
    FcConfigSubstitute(nullptr, pat, FcMatchPattern);
    FcDefaultSubstitute(pat);
    FcResult res;
    FcPattern* match = FcFontMatch(nullptr, pat, &res);
    if (match) {
        FcChar8* file = nullptr;
        if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file)
            result = reinterpret_cast<const char*>(file);
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pat);
    return result;
}

TextMask render_text(const std::string& text, FontStyle style, int pixel_size, bool mono, int tracking)
{
    std::lock_guard<std::recursive_mutex> lock(font_mutex);
    TextMask m;
    Face f(style);
    if (!f.face)
        return m;
    FT_Set_Pixel_Sizes(f.face, 0, static_cast<FT_UInt>(pixel_size));
    int ascender = static_cast<int>(f.face->size->metrics.ascender >> 6);
    int descender = static_cast<int>(-(f.face->size->metrics.descender >> 6));
    FT_Int32 flags = FT_LOAD_RENDER | (mono ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL);
    // First pass: width.
    int pen = 0, min_x = 0, max_x = 0;
    for (unsigned char ch : text) {
        if (FT_Load_Char(f.face, ch, flags) != 0)
            continue;
        FT_GlyphSlot g = f.face->glyph;
        min_x = std::min(min_x, pen + g->bitmap_left);
        max_x = std::max(max_x, pen + g->bitmap_left + static_cast<int>(g->bitmap.width));
        pen += static_cast<int>(g->advance.x >> 6) + tracking;
    }
    max_x = std::max(max_x, pen - tracking);
    m.w = max_x - min_x + 2;
    m.h = ascender + descender + 2;
    m.baseline = ascender + 1;
    m.a.assign(static_cast<size_t>(m.w) * m.h, 0.0f);
    pen = 1 - min_x;
    for (unsigned char ch : text) {
        if (FT_Load_Char(f.face, ch, flags) != 0)
            continue;
        FT_GlyphSlot g = f.face->glyph;
        const FT_Bitmap& bm = g->bitmap;
        for (unsigned r = 0; r < bm.rows; ++r)
            for (unsigned col = 0; col < bm.width; ++col) {
                float v;
                const unsigned char* row = bm.buffer + static_cast<long>(r) * bm.pitch;
                if (bm.pixel_mode == FT_PIXEL_MODE_MONO)
                    v = (row[col >> 3] & (0x80 >> (col & 7))) ? 1.0f : 0.0f;
                else
                    v = static_cast<float>(row[col]) / 255.0f;
                int x = pen + g->bitmap_left + static_cast<int>(col);
                int y = m.baseline - g->bitmap_top + static_cast<int>(r);
                if (x >= 0 && y >= 0 && x < m.w && y < m.h) {
                    float& d = m.a[static_cast<size_t>(y) * m.w + x];
                    d = std::min(1.0f, d + v);
                }
            }
        pen += static_cast<int>(g->advance.x >> 6) + tracking;
    }
    return m;
}

void draw_mask(Canvas& c, const TextMask& m, int x, int y, const Rgba& colour)
{
    for (int j = 0; j < m.h; ++j)
        for (int i = 0; i < m.w; ++i) {
            float k = m.a[static_cast<size_t>(j) * m.w + i];
            if (k > 0)
                blend_pixel(c, x + i, y + j, colour, k);
        }
}

TextMask draw_text_centred(Canvas& c, const std::string& text, FontStyle style, int size, float cx, int y, const Rgba& colour)
{
    TextMask m = render_text(text, style, size);
    draw_mask(c, m, static_cast<int>(std::lround(cx - static_cast<float>(m.w) / 2)), y, colour);
    return m;
}

namespace {

struct OutlineSink {
    std::vector<Contour> contours;
    Point2 last{0, 0};
    float scale = 1;
};

Point2 to_point(const FT_Vector* v, float scale)
{
    return Point2{static_cast<float>(v->x) * scale, static_cast<float>(v->y) * scale};
}

int move_to(const FT_Vector* to, void* user)
{
    auto* s = static_cast<OutlineSink*>(user);
    s->contours.emplace_back();
    s->last = to_point(to, s->scale);
    s->contours.back().push_back(s->last);
    return 0;
}

int line_to(const FT_Vector* to, void* user)
{
    auto* s = static_cast<OutlineSink*>(user);
    s->last = to_point(to, s->scale);
    s->contours.back().push_back(s->last);
    return 0;
}

int conic_to(const FT_Vector* control, const FT_Vector* to, void* user)
{
    auto* s = static_cast<OutlineSink*>(user);
    Point2 p0 = s->last, p1 = to_point(control, s->scale), p2 = to_point(to, s->scale);
    const int steps = 4;
    for (int i = 1; i <= steps; ++i) {
        float t = static_cast<float>(i) / steps, u = 1 - t;
        s->contours.back().push_back(Point2{u * u * p0.x + 2 * u * t * p1.x + t * t * p2.x, u * u * p0.y + 2 * u * t * p1.y + t * t * p2.y});
    }
    s->last = p2;
    return 0;
}

int cubic_to(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user)
{
    auto* s = static_cast<OutlineSink*>(user);
    Point2 p0 = s->last, p1 = to_point(c1, s->scale), p2 = to_point(c2, s->scale), p3 = to_point(to, s->scale);
    const int steps = 5;
    for (int i = 1; i <= steps; ++i) {
        float t = static_cast<float>(i) / steps, u = 1 - t;
        float a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
        s->contours.back().push_back(Point2{a * p0.x + b * p1.x + c * p2.x + d * p3.x, a * p0.y + b * p1.y + c * p2.y + d * p3.y});
    }
    s->last = p3;
    return 0;
}

// Drops repeated points (and the closing copy of the first point).
void clean(Contour& c)
{
    Contour out;
    for (const Point2& p : c)
        if (out.empty() || std::fabs(p.x - out.back().x) > 1e-5f || std::fabs(p.y - out.back().y) > 1e-5f)
            out.push_back(p);
    while (out.size() > 1 && std::fabs(out.front().x - out.back().x) <= 1e-5f && std::fabs(out.front().y - out.back().y) <= 1e-5f)
        out.pop_back();
    c = out;
}

} // namespace

std::vector<GlyphShape> text_outlines(const std::string& text, FontStyle style, float letter_gap)
{
    std::lock_guard<std::recursive_mutex> lock(font_mutex);
    std::vector<GlyphShape> out;
    Face f(style);
    if (!f.face)
        return out;
    // Cap height from the outline of 'H'.
    float units = static_cast<float>(f.face->units_per_EM);
    float cap = units * 0.72f;
    if (FT_Load_Char(f.face, 'H', FT_LOAD_NO_SCALE) == 0) {
        FT_BBox box;
        FT_Outline_Get_CBox(&f.face->glyph->outline, &box);
        if (box.yMax > 0)
            cap = static_cast<float>(box.yMax);
    }
    float scale = 1.0f / cap;
    FT_Outline_Funcs funcs{move_to, line_to, conic_to, cubic_to, 0, 0};
    float pen = 0;
    for (unsigned char ch : text) {
        if (FT_Load_Char(f.face, ch, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING) != 0)
            continue;
        FT_GlyphSlot g = f.face->glyph;
        float advance = static_cast<float>(g->advance.x) * scale;
        if (g->outline.n_contours > 0) {
            OutlineSink sink;
            sink.scale = scale;
            FT_Outline_Decompose(&g->outline, &funcs, &sink);
            GlyphShape shape;
            for (Contour& c : sink.contours) {
                clean(c);
                for (Point2& p : c)
                    p.x += pen;
                if (c.size() >= 3)
                    shape.contours.push_back(c);
            }
            shape.advance_start = pen;
            if (!shape.contours.empty())
                out.push_back(shape);
        }
        pen += advance + letter_gap;
    }
    return out;
}
