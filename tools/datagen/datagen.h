// The data-set generator's shared toolbox: a floating-point RGBA canvas with
// anti-aliased shapes, seeded noise, FreeType text and glyph outlines, the
// PNG/JPEG writers and the entry points of the generator families.
// Relies on libpng, libjpeg, FreeType and fontconfig; everything is seeded, so
// two runs write byte-identical files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// ---- Random numbers and noise -------------------------------------------------
struct Rng {
    uint64_t state;
    explicit Rng(uint64_t seed) : state(seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull) {}
    uint32_t next();
    float uniform();                 // [0, 1)
    float range(float lo, float hi); // [lo, hi)
};

// Value noise on an integer lattice that repeats every `period` cells (period
// 0: no repeat), smooth-stepped, in [0, 1].
float value_noise(float x, float y, uint32_t seed, int period = 0);
// Sum of octaves of value_noise, normalised to [0, 1].
float fbm(float x, float y, uint32_t seed, int octaves, int period = 0);

// ---- Colours -------------------------------------------------------------------
struct Rgba {
    float r = 0, g = 0, b = 0, a = 1;
};
Rgba rgb(uint32_t hex, float alpha = 1.0f); // 0xRRGGBB
Rgba mix(const Rgba& a, const Rgba& b, float t);
Rgba scaled(const Rgba& c, float k); // colour channels only
// The palette: sepia browns, gold, blue, and a ramp through them.
namespace palette {
extern const Rgba ink, sepia_dark, sepia, sepia_light, paper, gold, gold_light, blue_dark, blue, blue_light, white;
Rgba ramp(float t); // 0 dark blue .. 0.5 sepia .. 1 light gold
} // namespace palette

// ---- Canvas --------------------------------------------------------------------
struct Point2 {
    float x, y;
};
using Contour = std::vector<Point2>;

// Straight-alpha RGBA image, rows top to bottom.
struct Canvas {
    int w = 0, h = 0;
    std::vector<Rgba> px;
    Canvas() = default;
    Canvas(int width, int height, Rgba fill = Rgba{0, 0, 0, 0});
    Rgba& at(int x, int y) { return px[static_cast<size_t>(y) * w + x]; }
    const Rgba& at(int x, int y) const { return px[static_cast<size_t>(y) * w + x]; }
    Rgba sample(float x, float y, bool wrap) const; // bilinear
};

// Source-over with coverage k (0..1) of colour c.
void blend_pixel(Canvas& c, int x, int y, const Rgba& colour, float k);
void fill(Canvas& c, const Rgba& colour);
void gradient_vertical(Canvas& c, const Rgba& top, const Rgba& bottom);
// Anti-aliased shapes; `soft` widens the edge (pixels).
void fill_circle(Canvas& c, float cx, float cy, float r, const Rgba& colour, float soft = 1.0f);
void fill_ellipse(Canvas& c, float cx, float cy, float rx, float ry, const Rgba& colour, float soft = 1.0f);
void draw_line(Canvas& c, float x0, float y0, float x1, float y1, float width, const Rgba& colour);
void fill_rect(Canvas& c, float x0, float y0, float x1, float y1, const Rgba& colour);
// Even-odd fill of any set of closed contours, 4x4 supersampled per pixel row.
void fill_contours(Canvas& c, const std::vector<Contour>& contours, const Rgba& colour);
void fill_polygon(Canvas& c, const Contour& points, const Rgba& colour);
// Coverage mask (one float per pixel) of contours, for shading tricks.
std::vector<float> contour_mask(int w, int h, const std::vector<Contour>& contours);
// Paints colour through a coverage mask.
void paint_mask(Canvas& c, const std::vector<float>& mask, const Rgba& colour);
void box_blur(Canvas& c, int radius, int passes);
void blur_mask(std::vector<float>& mask, int w, int h, int radius, int passes);
// Classic print halftone of a grey level function over the canvas: dots on a
// rotated grid of `cell` pixels, ink colour over what is there.
void halftone(Canvas& c, const std::vector<float>& darkness, float cell, float angle, const Rgba& ink);
// Multiplies colour channels by a radial vignette (1 in the centre).
void vignette(Canvas& c, float strength);
// Adds film grain of +-amount to the colour channels.
void add_grain(Canvas& c, float amount, uint32_t seed);
// Makes alpha fade to 0 over `border` pixels at the edges.
void feather_edges(Canvas& c, float border);
Canvas resize(const Canvas& src, int w, int h);
// For pictures the demo blends by alpha: it premultiplies them at load and
// multiplies by alpha again in the blend, so each colour is divided by its
// alpha (clamped to 1) to show as wanted. Where that clamps (bright colours at
// low alpha) the edge still darkens a little: keep such ramps short.
void compensate_alpha_blend(Canvas& c);

// ---- Text ------------------------------------------------------------------------
enum FontStyle { FONT_SANS_BOLD, FONT_SANS, FONT_SERIF_BOLD, FONT_SERIF_ITALIC, FONT_MONO_BOLD, FONT_CONDENSED_BOLD };
// Path of a Debian font file for the style (through fontconfig).
std::string font_file(FontStyle style);
// Releases fontconfig's caches; call once when no text is drawn any more.
void text_shutdown();
struct TextMask {
    int w = 0, h = 0;
    int baseline = 0;
    std::vector<float> a; // coverage
};
// Renders one line; mono = 1-bit glyphs (no anti-aliasing).
TextMask render_text(const std::string& text, FontStyle style, int pixel_size, bool mono = false, int tracking = 0);
// Draws a mask at (x, y) (top-left) with colour.
void draw_mask(Canvas& c, const TextMask& m, int x, int y, const Rgba& colour);
// Text placed centred on cx with its top at y; returns the mask used.
TextMask draw_text_centred(Canvas& c, const std::string& text, FontStyle style, int size, float cx, int y, const Rgba& colour);
// Glyph outlines of a string, flattened, in font units scaled so that the
// cap height is 1; x advances from 0. One entry per letter (spaces skipped).
struct GlyphShape {
    std::vector<Contour> contours;
    float advance_start = 0; // x of the glyph origin
};
std::vector<GlyphShape> text_outlines(const std::string& text, FontStyle style, float letter_gap = 0.05f);

// ---- Files ------------------------------------------------------------------------
// Colour rows (premultiplication is the loader's job; alpha is straight here).
bool write_png_rgba(const std::string& path, const Canvas& c);
bool write_png_rgb(const std::string& path, const Canvas& c); // alpha dropped
bool write_jpeg(const std::string& path, const Canvas& c, int quality = 92);
uint8_t to_byte(float v);

// ---- Generator families ------------------------------------------------------------
// Each writes its files into dir (ending in '/'); returns the number of
// failures. `only` is a substring filter on file names ("" = all).
struct GenContext {
    std::string dir;
    std::string only;
    bool wants(const std::string& name) const;
};
// One image file of a family: its name, how to draw it and how to store it.
enum ImageFormat { IMAGE_JPEG, IMAGE_PNG_RGB, IMAGE_PNG_RGBA };
struct ImageJob {
    const char* name;
    Canvas (*make)();
    ImageFormat format;
};
int run_image_jobs(const GenContext& ctx, const ImageJob* jobs, size_t count);

// Sphere environment map: colour seen in direction (x, y, z) (y up, z towards
// the viewer) for every pixel of a size x size sphere-mapped image.
Canvas sphere_map(int size, Rgba (*environment)(float x, float y, float z));

// Figures for the stylised "photographs": a head-and-shoulders profile
// (crown at y, head height s, looking right unless mirrored) and a stick-and-
// capsule body. Angles are radians from straight down, positive towards +x.
Contour head_profile(float x, float y, float s, bool mirrored);
struct Figure {
    float x = 0, feet = 0, height = 100;
    float arm_l[2] = {-0.3f, -0.1f}, arm_r[2] = {0.3f, 0.1f}; // upper, lower
    float leg_l[2] = {-0.12f, -0.05f}, leg_r[2] = {0.12f, 0.05f};
    float lean = 0;      // torso tilt
    float head_tilt = 0; // head offset along x, in head radii
    float bulk = 1;      // limb and torso thickness factor
};
void draw_figure(Canvas& c, const Figure& f, const Rgba& colour);
// Paper-and-ink photograph finish: halftone of the canvas' own darkness in
// `ink`, grain, vignette.
void photo_finish(Canvas& c, float dot_cell, const Rgba& ink, uint32_t seed);

int generate_textures(const GenContext& ctx);  // the shared texture table
int generate_pictures(const GenContext& ctx);  // portraits, overlay pictures
int generate_overlays(const GenContext& ctx);  // text overlays, grain, TV frame, end text
int generate_scene_images(const GenContext& ctx); // film strip, wall, band, greetings
int generate_objects(const GenContext& ctx);   // LWO2 objects and the motion file
int generate_music(const GenContext& ctx);     // dunravel.mp3
