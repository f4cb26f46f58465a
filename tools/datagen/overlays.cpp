// The text overlay's own images: phrase pictures (FreeType text with a soft
// shadow on transparent ground, some on labels), the film grain shared with the
// post filter, the old-television frame and the closing text (640 x 480 with
// transparent parts where the scene shows through).
#include "datagen.h"

#include <algorithm>
#include <cmath>

namespace {

float smooth(float e0, float e1, float x)
{
    float t = std::clamp((x - e0) / (e1 - e0), 0.0f, 1.0f);
    return t * t * (3 - 2 * t);
}

enum Label { LABEL_NONE, LABEL_DARK, LABEL_GOLD };

struct Phrase {
    std::vector<std::string> lines;
    FontStyle style;
    int size;
    int width; // 0: fit the text
    Rgba colour;
    Label label;
};

// Lines centred on one canvas, shadowed; a fixed width shrinks the font until
// the longest line fits.
Canvas phrase(const Phrase& p)
{
    const int pad = 12;
    int size = p.size;
    std::vector<TextMask> masks;
    for (;;) {
        masks.clear();
        int widest = 0;
        for (const std::string& l : p.lines) {
            masks.push_back(render_text(l, p.style, size));
            widest = std::max(widest, masks.back().w);
        }
        if (p.width == 0 || widest + 2 * pad <= p.width || size <= 8)
            break;
        --size;
    }
    int widest = 0, height = 0;
    for (const TextMask& m : masks) {
        widest = std::max(widest, m.w);
        height += m.h;
    }
    int w = p.width ? p.width : widest + 2 * pad, h = height + 2 * pad;
    Canvas c(w, h, Rgba{0, 0, 0, 0});
    if (p.label != LABEL_NONE) {
        Rgba ground = p.label == LABEL_DARK ? Rgba{0.08f, 0.055f, 0.04f, 0.85f} : palette::gold;
        fill_rect(c, 3, 3, static_cast<float>(w - 3), static_cast<float>(h - 3), ground);
        if (p.label == LABEL_DARK) {
            draw_line(c, 8, static_cast<float>(h - 8), static_cast<float>(w - 8), static_cast<float>(h - 8), 2, palette::gold);
        }
    }
    Canvas shadow(w, h, Rgba{0, 0, 0, 0});
    int y = pad;
    std::vector<int> xs;
    for (const TextMask& m : masks) {
        int x = (w - m.w) / 2;
        xs.push_back(x);
        draw_mask(shadow, m, x + 3, y + 3, palette::ink);
        y += m.h;
    }
    if (p.label == LABEL_NONE) {
        box_blur(shadow, 2, 2);
        for (int k = 0; k < w * h; ++k)
            blend_pixel(c, k % w, k / w, shadow.px[static_cast<size_t>(k)], 0.9f);
    }
    y = pad;
    for (size_t i = 0; i < masks.size(); ++i) {
        draw_mask(c, masks[i], xs[i], y, p.colour);
        y += masks[i].h;
    }
    return c;
}

Canvas make_when_straight()
{
    return phrase({{"when straight", "isn't good enough"}, FONT_SERIF_ITALIC, 50, 437, palette::paper, LABEL_NONE});
}
Canvas make_spit() { return phrase({{"i spit on", "metaphysics"}, FONT_SANS_BOLD, 40, 0, palette::gold_light, LABEL_NONE}); }
Canvas make_retirement()
{
    return phrase({{"routine retirement", "of a replicant"}, FONT_MONO_BOLD, 30, 0, palette::paper, LABEL_DARK});
}
Canvas make_colony()
{
    return phrase({{"revertant colony", "of mutant grub"}, FONT_CONDENSED_BOLD, 42, 0, palette::blue_light, LABEL_NONE});
}
Canvas make_mind_gap() { return phrase({{"MIND THE GAP"}, FONT_SANS_BOLD, 34, 0, palette::ink, LABEL_GOLD}); }
Canvas make_dont_you_know() { return phrase({{"don't you know what"}, FONT_SERIF_ITALIC, 58, 0, palette::paper, LABEL_NONE}); }
Canvas make_looking_for() { return phrase({{"they are looking for"}, FONT_SERIF_ITALIC, 58, 0, palette::gold_light, LABEL_NONE}); }
Canvas make_what_for() { return phrase({{"what for?"}, FONT_SERIF_BOLD, 80, 0, palette::paper, LABEL_NONE}); }
Canvas make_god() { return phrase({{"GOD"}, FONT_SERIF_BOLD, 150, 0, palette::gold_light, LABEL_NONE}); }
Canvas make_this_is_what() { return phrase({{"this is what", "happens when"}, FONT_SANS_BOLD, 44, 350, palette::paper, LABEL_NONE}); }
Canvas make_gpu() { return phrase({{"your GPU", "is on parole"}, FONT_SANS_BOLD, 44, 350, palette::gold_light, LABEL_NONE}); }

Canvas make_grain()
{
    // Bright film grain (the overlays multiply by it): speckles, a few dark
    // specks and blotches, with a faint warm cast.
    Canvas c(256, 256);
    Rng r(701);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            float n = r.uniform();
            float blotch = fbm(static_cast<float>(x) / 24, static_cast<float>(y) / 24, 702, 3, 256 / 24 + 1);
            float g = 0.80f + 0.17f * n + 0.08f * (blotch - 0.5f);
            if (r.uniform() < 0.004f)
                g *= 0.45f;
            c.at(x, y) = Rgba{std::min(1.0f, g + 0.02f), g, std::max(0.0f, g - 0.05f), 1};
        }
    return c;
}

// Distance outside a rounded rectangle (negative inside).
float rounded_rect(float x, float y, float x0, float y0, float x1, float y1, float r)
{
    float cx = std::clamp(x, x0 + r, x1 - r), cy = std::clamp(y, y0 + r, y1 - r);
    return std::sqrt((x - cx) * (x - cx) + (y - cy) * (y - cy)) - r;
}

Canvas make_oldtv()
{
    // A wooden television cabinet; the curved screen is transparent with a dark
    // inner shadow, a control panel with two knobs on the right.
    Canvas c(640, 480);
    const float sx0 = 40, sy0 = 46, sx1 = 516, sy1 = 434, sr = 56;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            float fx = static_cast<float>(x) + 0.5f, fy = static_cast<float>(y) + 0.5f;
            float wood = fbm(fx / 90, fy / 6, 703, 4);
            Rgba col = mix(palette::sepia_dark, palette::sepia, 0.3f + 0.7f * wood);
            float d = rounded_rect(fx, fy, sx0, sy0, sx1, sy1, sr);
            float outer = rounded_rect(fx, fy, 4, 4, 636, 476, 30);
            col = scaled(col, 0.7f + 0.3f * smooth(0.0f, 12.0f, -outer));
            if (d < 14) { // bezel
                col = mix(rgb(0x1A120C), col, smooth(6.0f, 14.0f, d));
            }
            float alpha = 1;
            if (d < 0) { // glass: clear in the middle, darker towards the rim
                float edge = smooth(-60.0f, 0.0f, d);
                col = rgb(0x050403);
                alpha = 0.75f * edge * edge;
            }
            if (outer > 0) // outside the rounded cabinet: the dark room
                alpha = 1, col = rgb(0);
            c.at(x, y) = Rgba{col.r, col.g, col.b, alpha};
        }
    // Panel: knobs and speaker slots.
    for (int k = 0; k < 2; ++k) {
        float ky = 120 + static_cast<float>(k) * 110;
        fill_circle(c, 578, ky, 30, rgb(0x120C08), 1.5f);
        fill_circle(c, 578, ky, 24, palette::gold, 1.5f);
        draw_line(c, 578, ky, 578 + 18 * std::cos(1.0f + static_cast<float>(k)), ky - 18 * std::sin(1.0f + static_cast<float>(k)), 4, palette::ink);
    }
    for (int s = 0; s < 8; ++s)
        draw_line(c, 548, 300 + static_cast<float>(s) * 14, 608, 300 + static_cast<float>(s) * 14, 5, rgb(0x120C08));
    return c;
}

Canvas make_end_text()
{
    // Closing card: a title at the top and credits on a dark band at the bottom;
    // the middle stays clear so the end title object shows through.
    Canvas c(640, 480, Rgba{0, 0, 0, 0});
    for (int y = 0; y < 480; ++y) {
        float top = smooth(150.0f, 60.0f, static_cast<float>(y)), bottom = smooth(300.0f, 380.0f, static_cast<float>(y));
        float a = std::max(top, bottom) * 0.85f;
        if (y < 40 || y >= 440)
            a = 1;
        for (int x = 0; x < 640; ++x)
            c.at(x, y) = Rgba{0.03f, 0.02f, 0.015f, a};
    }
    draw_text_centred(c, "the end", FONT_SERIF_ITALIC, 64, 320, 50, palette::gold_light);
    draw_line(c, 200, 135, 440, 135, 2, palette::gold);
    draw_text_centred(c, "dunravel  -  a tolvenari production", FONT_SANS_BOLD, 22, 320, 340, palette::paper);
    draw_text_centred(c, "code, pixels and music made by the machine itself", FONT_SERIF_ITALIC, 20, 320, 372, palette::sepia_light);
    draw_text_centred(c, "thanks for watching", FONT_SANS, 18, 320, 402, palette::gold);
    return c;
}

const ImageJob jobs[] = {
    {"when_straight_isnt_good_enough.png", make_when_straight, IMAGE_PNG_RGBA},
    {"i_spit_on_metaphysics.png", make_spit, IMAGE_PNG_RGBA},
    {"routine_retirement_of_a_replicant.png", make_retirement, IMAGE_PNG_RGBA},
    {"revertant_colony_of_mutant_grub.png", make_colony, IMAGE_PNG_RGBA},
    {"mind_the_gap.png", make_mind_gap, IMAGE_PNG_RGBA},
    {"grain.png", make_grain, IMAGE_PNG_RGB},
    {"dont_you_know_what.png", make_dont_you_know, IMAGE_PNG_RGBA},
    {"they_are_looking_for.png", make_looking_for, IMAGE_PNG_RGBA},
    {"what_for.png", make_what_for, IMAGE_PNG_RGBA},
    {"god.png", make_god, IMAGE_PNG_RGBA},
    {"oldtv.png", make_oldtv, IMAGE_PNG_RGBA},
    {"this_is_what_happens_when.png", make_this_is_what, IMAGE_PNG_RGBA},
    {"your_gpu_is_on_parole.png", make_gpu, IMAGE_PNG_RGBA},
    {"end_text.png", make_end_text, IMAGE_PNG_RGBA},
};

} // namespace

int generate_overlays(const GenContext& ctx) { return run_image_jobs(ctx, jobs, sizeof jobs / sizeof jobs[0]); }
