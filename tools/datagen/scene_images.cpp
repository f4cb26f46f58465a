// Images that scenes load themselves: the collider's film strip (3 x 5 frames
// of a walking figure), the greetings wall (2048 x 400, scrolled), the band
// picture and the sixteen greeting logos (1-bit white text on opaque black:
// every white pixel becomes a point of a soft body).
#include "datagen.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

const float PI = 3.14159265f;

// Frame size of the film strip: three rows fill the screen height and the
// background picture starts at x = 205.
const int FILM_W = 205, FILM_H = 160;

Canvas make_filmstrip()
{
    Canvas c(FILM_W * 3, FILM_H * 5);
    for (int k = 0; k < 15; ++k) {
        int ox = (k % 3) * FILM_W, oy = (k / 3) * FILM_H;
        Canvas f(FILM_W, FILM_H);
        gradient_vertical(f, palette::paper, palette::sepia_light);
        fill_rect(f, 0, 118, FILM_W, FILM_H, palette::sepia);
        // A walker: one stride cycle over the 15 frames.
        float ph = 2 * PI * static_cast<float>(k) / 15;
        Figure w;
        w.x = 102, w.feet = 122, w.height = 96, w.lean = 0.08f;
        w.leg_l[0] = 0.45f * std::sin(ph), w.leg_l[1] = w.leg_l[0] - 0.35f * std::max(0.0f, std::cos(ph));
        w.leg_r[0] = -0.45f * std::sin(ph), w.leg_r[1] = w.leg_r[0] - 0.35f * std::max(0.0f, -std::cos(ph));
        w.arm_l[0] = -0.4f * std::sin(ph), w.arm_l[1] = w.arm_l[0] + 0.3f;
        w.arm_r[0] = 0.4f * std::sin(ph), w.arm_r[1] = w.arm_r[0] + 0.3f;
        draw_figure(f, w, palette::ink);
        photo_finish(f, 0, palette::ink, 800u + static_cast<uint32_t>(k));
        // Film edges with sprocket holes.
        fill_rect(f, 0, 0, 22, FILM_H, palette::ink);
        fill_rect(f, FILM_W - 22, 0, FILM_W, FILM_H, palette::ink);
        for (int s = 0; s < 4; ++s) {
            float y = 10 + static_cast<float>(s) * 40;
            fill_rect(f, 6, y, 16, y + 20, palette::paper);
            fill_rect(f, FILM_W - 16, y, FILM_W - 6, y + 20, palette::paper);
        }
        fill_rect(f, 22, 0, FILM_W - 22, 4, palette::ink);
        for (int y = 0; y < FILM_H; ++y)
            for (int x = 0; x < FILM_W; ++x)
                c.at(ox + x, oy + y) = f.at(x, y);
    }
    return c;
}

Canvas make_wall()
{
    // Brick wall with a painted mural: big outlined letters, halftone suns and
    // paper posters, in sepia, gold and blue.
    const int W = 2048, H = 400;
    Canvas c(W, H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            int row = y / 25, off = (row % 2) * 32;
            int bx = (x + off) / 64;
            float fx = static_cast<float>((x + off) % 64), fy = static_cast<float>(y % 25);
            Rng r(static_cast<uint64_t>(row * 131 + bx) + 900);
            float tone = r.range(0.0f, 1.0f);
            Rgba brick = mix(rgb(0x5A3420), rgb(0x8A5A3A), tone);
            float dirt = fbm(static_cast<float>(x) / 40, static_cast<float>(y) / 40, 901, 4);
            brick = scaled(brick, 0.75f + 0.4f * dirt);
            bool mortar = fx < 3 || fy < 3;
            c.at(x, y) = mortar ? rgb(0x2A2018) : brick;
        }
    // Mural letters across the wall.
    TextMask big = render_text("GREETINGS", FONT_SANS_BOLD, 300);
    int bx = (W - big.w) / 2, by = 30;
    for (int y = 0; y < big.h; ++y)
        for (int x = 0; x < big.w; ++x) {
            float a = big.a[static_cast<size_t>(y) * big.w + x];
            if (a <= 0)
                continue;
            float t = static_cast<float>(x) / static_cast<float>(big.w);
            blend_pixel(c, bx + x, by + y, mix(palette::blue, palette::gold, t), a * 0.8f);
        }
    for (int i = 0; i < 5; ++i) { // halftone suns
        float cx = 150 + static_cast<float>(i) * 430, cy = 90 + static_cast<float>(i % 2) * 200;
        for (int y = static_cast<int>(cy) - 80; y < static_cast<int>(cy) + 80; y += 8)
            for (int x = static_cast<int>(cx) - 80; x < static_cast<int>(cx) + 80; x += 8) {
                float d = std::sqrt((static_cast<float>(x) - cx) * (static_cast<float>(x) - cx) + (static_cast<float>(y) - cy) * (static_cast<float>(y) - cy));
                if (d < 80)
                    fill_circle(c, static_cast<float>(x), static_cast<float>(y), 3.5f * (1 - d / 80), palette::gold_light, 1);
            }
    }
    Rng r(902);
    for (int i = 0; i < 9; ++i) { // posters
        float x = r.range(0, W - 120), y = r.range(20, 240);
        fill_rect(c, x, y, x + 90, y + 120, Rgba{0.93f, 0.87f, 0.75f, 0.9f});
        fill_rect(c, x + 10, y + 12, x + 80, y + 60, palette::sepia_dark);
        for (int l = 0; l < 4; ++l)
            fill_rect(c, x + 10, y + 72 + static_cast<float>(l) * 10, x + 80 - static_cast<float>(l * 9), y + 76 + static_cast<float>(l) * 10, palette::sepia);
    }
    vignette(c, 0.3f);
    return c;
}

Canvas make_band()
{
    // 496 x 300: a four-piece band on a stage under spotlights.
    Canvas c(496, 300);
    gradient_vertical(c, rgb(0x0E0A08), palette::sepia_dark);
    for (int s = 0; s < 4; ++s) { // light cones
        float x = 70 + static_cast<float>(s) * 118;
        fill_polygon(c, {{x - 8, 0}, {x + 8, 0}, {x + 60, 300}, {x - 60, 300}}, Rgba{palette::gold_light.r, palette::gold_light.g, palette::gold_light.b, 0.22f});
    }
    fill_rect(c, 0, 262, 496, 300, palette::sepia);
    const float xs[4] = {70, 188, 306, 424};
    for (int i = 0; i < 4; ++i) {
        Figure f;
        f.x = xs[i], f.feet = 266, f.height = 170;
        f.arm_l[0] = -0.6f, f.arm_l[1] = 0.9f, f.arm_r[0] = 0.5f, f.arm_r[1] = -0.9f;
        if (i == 1)
            f.arm_r[0] = 2.5f, f.arm_r[1] = 2.8f;
        draw_figure(c, f, palette::ink);
    }
    draw_line(c, 40, 180, 110, 150, 8, palette::gold);         // guitar neck
    fill_ellipse(c, 75, 185, 20, 14, palette::gold);
    fill_ellipse(c, 306, 230, 40, 28, rgb(0x2A1A10));           // drum
    fill_ellipse(c, 306, 214, 40, 10, palette::paper);
    draw_line(c, 188, 266, 188, 130, 3, palette::ink);          // microphone stand
    photo_finish(c, 4, palette::ink, 903);
    feather_edges(c, 14);
    return c;
}

const ImageJob jobs[] = {
    {"filmstrip.png", make_filmstrip, IMAGE_PNG_RGB},
    {"wall_big.jpg", make_wall, IMAGE_JPEG},
    {"band.png", make_band, IMAGE_PNG_RGBA},
};

// Invented group names, one per row of the greetings table. Each logo is
// drawn at four screen pixels per image pixel from its row's x, so each name
// is short enough for its row: at x = 440 an image at most 49 pixels wide,
// at x = 400 at most 59, at x = 360 at most 69 (x + 4 * width + 2 <= 640).
const char* const GREETINGS[16] = {"FERROLUX", "OKTAV", "MOIREFX", "HEXAGRAM", "QUARZ", "SPRITZIG", "DRIFT", "LUMBA",
                                   "GRIMEL", "VOLTA", "PIXKLANG", "BRASS", "NULLMOTH", "TANGO", "KLIRR", "AND YOU!"};

Canvas greeting(const char* name)
{
    TextMask m = render_text(name, FONT_SANS_BOLD, 11, true, 1);
    // Trim to the ink, with one black pixel of border.
    int x0 = m.w, x1 = -1, y0 = m.h, y1 = -1;
    for (int y = 0; y < m.h; ++y)
        for (int x = 0; x < m.w; ++x)
            if (m.a[static_cast<size_t>(y) * m.w + x] > 0.5f) {
                x0 = std::min(x0, x), x1 = std::max(x1, x);
                y0 = std::min(y0, y), y1 = std::max(y1, y);
            }
    if (x1 < 0)
        return Canvas(4, 4, Rgba{0, 0, 0, 1});
    Canvas c(x1 - x0 + 3, y1 - y0 + 3, Rgba{0, 0, 0, 1});
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            if (m.a[static_cast<size_t>(y) * m.w + x] > 0.5f)
                c.at(x - x0 + 1, y - y0 + 1) = Rgba{1, 1, 1, 1};
    return c;
}

} // namespace

int generate_scene_images(const GenContext& ctx)
{
    int failures = run_image_jobs(ctx, jobs, sizeof jobs / sizeof jobs[0]);
    for (int i = 0; i < 16; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "greet_%02d.png", i);
        if (ctx.wants(name))
            failures += write_png_rgb(ctx.dir + name, greeting(GREETINGS[i])) ? 0 : 1;
    }
    return failures;
}
