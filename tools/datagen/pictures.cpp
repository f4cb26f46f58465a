// Pictures of the texture table: the full-width backgrounds (640 x 400,
// placed at (0, 40)) and the stylised "photographs" and portraits the text
// overlay slides over the scenes (silhouettes, halftone, gold rim light).
// Overlay pictures are sized so the overlay's positions frame them.
#include "datagen.h"

#include <algorithm>
#include <cmath>

namespace {
const float PI = 3.14159265f;

float smooth(float e0, float e1, float x)
{
    float t = std::clamp((x - e0) / (e1 - e0), 0.0f, 1.0f);
    return t * t * (3 - 2 * t);
}

void sunburst(Canvas& c, float cx, float cy, int rays, const Rgba& colour, float strength)
{
    for (int y = 0; y < c.h; ++y)
        for (int x = 0; x < c.w; ++x) {
            float a = std::atan2(static_cast<float>(y) - cy, static_cast<float>(x) - cx);
            float k = 0.5f + 0.5f * std::cos(a * static_cast<float>(rays));
            blend_pixel(c, x, y, colour, smooth(0.4f, 0.6f, k) * strength);
        }
}

// Background of a portrait: paper to sepia with sun rays behind the sitter.
Canvas portrait_ground(int w, int h, const Rgba& top, const Rgba& bottom, float rays_x, float rays_y)
{
    Canvas c(w, h);
    gradient_vertical(c, top, bottom);
    sunburst(c, rays_x, rays_y, 14, palette::gold_light, 0.25f);
    return c;
}

// A head in profile with hair, an ear, a gold rim along the face and a collar.
void portrait_head(Canvas& c, float x, float y, float s, bool mirrored, const Rgba& ink, int hair, uint32_t seed)
{
    Contour head = head_profile(x, y, s, mirrored);
    float dir = mirrored ? -1.0f : 1.0f;
    // Rim light: the same profile shifted towards the face, in gold, under the ink.
    Contour rim = head;
    for (Point2& p : rim)
        p.x += dir * s * 0.025f;
    fill_polygon(c, rim, palette::gold_light);
    fill_polygon(c, head, ink);
    float cx = x + dir * s * 0.40f;
    switch (hair) {
    case 0: // short crop
        fill_ellipse(c, cx - dir * s * 0.06f, y + s * 0.2f, s * 0.36f, s * 0.24f, ink);
        break;
    case 1: // long hair down the back
        fill_ellipse(c, cx - dir * s * 0.08f, y + s * 0.25f, s * 0.38f, s * 0.3f, ink);
        fill_polygon(c, {{cx - dir * s * 0.42f, y + s * 0.3f}, {cx, y + s * 0.3f}, {cx - dir * s * 0.05f, y + s * 1.45f}, {cx - dir * s * 0.55f, y + s * 1.4f}}, ink);
        break;
    case 2: // hat with a brim
        fill_ellipse(c, cx + dir * s * 0.02f, y + s * 0.12f, s * 0.62f, s * 0.07f, ink);
        fill_rect(c, cx - s * 0.3f, y - s * 0.25f, cx + s * 0.3f, y + s * 0.12f, ink);
        draw_line(c, cx - s * 0.3f, y + s * 0.05f, cx + s * 0.3f, y + s * 0.05f, s * 0.04f, palette::gold);
        break;
    default: // curls
    {
        Rng r(seed);
        for (int i = 0; i < 14; ++i)
            fill_circle(c, cx - dir * s * r.range(0.0f, 0.4f), y + s * r.range(-0.02f, 0.35f), s * r.range(0.08f, 0.14f), ink);
    }
    }
    // Ear and eye in gold lines.
    fill_ellipse(c, x + dir * s * 0.34f, y + s * 0.52f, s * 0.05f, s * 0.09f, scaled(palette::sepia, 0.7f));
    draw_line(c, x + dir * s * 0.60f, y + s * 0.40f, x + dir * s * 0.67f, y + s * 0.41f, s * 0.02f, palette::gold);
}

// ---- Backgrounds (640 x 400) ---------------------------------------------------

Canvas make_hiphop()
{
    // Night street poster: dark blue, a halftone gold sun, a skyline with lit
    // windows and two dancers in silhouette.
    Canvas c(640, 400);
    gradient_vertical(c, palette::blue_dark, rgb(0x27304A));
    Canvas sun(640, 400, Rgba{0, 0, 0, 0});
    fill_circle(sun, 430, 170, 120, palette::white, 40);
    std::vector<float> d(640 * 400);
    for (size_t i = 0; i < d.size(); ++i)
        d[i] = sun.px[i].a * 0.85f;
    halftone(c, d, 7, 0.5f, palette::gold);
    Rng r(401);
    float x = -10;
    while (x < 650) {
        float bw = r.range(30, 70), bh = r.range(60, 190);
        fill_rect(c, x, 400 - bh, x + bw, 400, rgb(0x0A0D18));
        for (float wy = 400 - bh + 8; wy < 392; wy += 12)
            for (float wx = x + 5; wx < x + bw - 8; wx += 10)
                if (r.uniform() < 0.3f)
                    fill_rect(c, wx, wy, wx + 4, wy + 6, mix(palette::gold, palette::gold_light, r.uniform()));
        x += bw + r.range(0, 10);
    }
    Figure a;
    a.x = 150, a.feet = 392, a.height = 170;
    a.arm_l[0] = -2.4f, a.arm_l[1] = -2.9f, a.arm_r[0] = 1.2f, a.arm_r[1] = 2.2f;
    a.leg_l[0] = -0.5f, a.leg_l[1] = 0.1f, a.leg_r[0] = 0.6f, a.leg_r[1] = 0.2f, a.lean = -0.15f;
    draw_figure(c, a, palette::ink);
    Figure b = a;
    b.x = 250, b.feet = 394, b.height = 160;
    b.arm_l[0] = -1.4f, b.arm_l[1] = -0.4f, b.arm_r[0] = 2.6f, b.arm_r[1] = 3.0f, b.lean = 0.2f;
    b.leg_l[0] = -0.2f, b.leg_l[1] = -0.9f;
    draw_figure(c, b, palette::ink);
    add_grain(c, 0.04f, 402);
    vignette(c, 0.5f);
    return c;
}

Canvas make_twister_bg()
{
    // A dim hall of vertical light shafts, sepia to blue.
    Canvas c(640, 400);
    gradient_vertical(c, rgb(0x1B2238), rgb(0x2A1A10));
    for (int x = 0; x < 640; ++x) {
        float u = static_cast<float>(x) / 640;
        float shaft = std::pow(0.5f + 0.5f * std::sin(u * 2 * PI * 7 + 1.3f * std::sin(u * 9)), 6.0f);
        for (int y = 0; y < 400; ++y) {
            float v = static_cast<float>(y) / 400;
            float dust = fbm(u * 12, v * 5, 403, 3);
            blend_pixel(c, x, y, mix(palette::gold, palette::blue_light, v), shaft * (0.25f + 0.2f * dust) * (1 - 0.5f * v));
        }
    }
    for (int i = 0; i < 7; ++i) { // floor arcs
        float r = 80 + static_cast<float>(i) * 60;
        Canvas ring(640, 400, Rgba{0, 0, 0, 0});
        fill_ellipse(ring, 320, 430, r * 1.6f, r * 0.4f, palette::gold, 1);
        fill_ellipse(ring, 320, 430, r * 1.6f - 2, r * 0.4f - 2, Rgba{0, 0, 0, 0}, 1);
        for (size_t k = 0; k < ring.px.size(); ++k)
            if (ring.px[k].a > 0 && ring.px[k].r > 0.1f)
                blend_pixel(c, static_cast<int>(k % 640), static_cast<int>(k / 640), palette::gold, ring.px[k].a * 0.25f);
    }
    add_grain(c, 0.03f, 404);
    vignette(c, 0.6f);
    return c;
}

Canvas make_spec_map_bg()
{
    Canvas c(640, 400);
    gradient_vertical(c, palette::sepia_dark, palette::ink);
    for (int x = 0; x < 640; x += 32)
        draw_line(c, static_cast<float>(x), 0, static_cast<float>(x), 400, 1, scaled(palette::sepia, 0.6f));
    for (int y = 0; y < 400; y += 32)
        draw_line(c, 0, static_cast<float>(y), 640, static_cast<float>(y), 1, scaled(palette::sepia, 0.6f));
    fill_circle(c, 320, 200, 150, Rgba{palette::gold.r, palette::gold.g, palette::gold.b, 0.25f}, 120);
    vignette(c, 0.7f);
    return c;
}

Canvas make_collider_bg()
{
    // Night sky: stars, a halftone moon, thin orbit lines.
    Canvas c(640, 400);
    gradient_vertical(c, rgb(0x050A18), palette::blue_dark);
    Rng r(405);
    for (int i = 0; i < 260; ++i) {
        float x = r.range(0, 640), y = r.range(0, 400), s = r.range(0.4f, 1.6f);
        fill_circle(c, x, y, s, mix(palette::blue_light, palette::gold_light, r.uniform()), 1);
    }
    Canvas moon(640, 400, Rgba{0, 0, 0, 0});
    fill_circle(moon, 470, 150, 95, palette::white, 2);
    std::vector<float> d(640 * 400);
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 640; ++x) {
            float k = moon.at(x, y).a;
            float crater = fbm(static_cast<float>(x) / 30, static_cast<float>(y) / 30, 406, 4);
            d[static_cast<size_t>(y) * 640 + x] = k * (0.35f + 0.5f * crater);
        }
    halftone(c, d, 5, 0.3f, palette::paper);
    for (int i = 0; i < 3; ++i) {
        float rx = 260 + static_cast<float>(i) * 80, ry = 60 + static_cast<float>(i) * 25;
        for (int s = 0; s < 360; ++s) {
            float a0 = static_cast<float>(s) * PI / 180, a1 = static_cast<float>(s + 1) * PI / 180;
            draw_line(c, 470 + rx * std::cos(a0), 150 + ry * std::sin(a0), 470 + rx * std::cos(a1), 150 + ry * std::sin(a1), 1, Rgba{0.85f, 0.65f, 0.25f, 0.35f});
        }
    }
    vignette(c, 0.5f);
    return c;
}

Canvas make_angel()
{
    // A stone angel with spread wings against a cloudy golden sky.
    Canvas c(640, 400);
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 640; ++x) {
            float u = static_cast<float>(x) / 640, v = static_cast<float>(y) / 400;
            Rgba sky = mix(palette::blue_light, palette::gold_light, v);
            float cloud = smooth(0.45f, 0.7f, fbm(u * 5, v * 3, 407, 5));
            c.at(x, y) = mix(sky, palette::paper, cloud * 0.7f);
        }
    sunburst(c, 320, 120, 18, palette::white, 0.18f);
    Rgba stone = rgb(0x4A3A2C);
    for (int side = -1; side <= 1; side += 2) {
        float sd = static_cast<float>(side);
        // Wing outline: up and out from the shoulder to a raised tip, then a
        // scalloped trailing edge of long feathers back to the waist.
        Contour wing = {{320 + sd * 18, 150}, {320 + sd * 90, 95}, {320 + sd * 190, 48}, {320 + sd * 250, 40}};
        for (int f = 0; f <= 10; ++f) {
            float t = static_cast<float>(f) / 10;
            float x = 320 + sd * (250 - 225 * t), y = 70 + 190 * t * (1.4f - 0.4f * t);
            wing.push_back({x + sd * 10, y});
            wing.push_back({x - sd * 2, y + 30 - 10 * t});
        }
        wing.push_back({320 + sd * 22, 250});
        fill_polygon(c, wing, stone);
        Canvas feathers(640, 400, Rgba{0, 0, 0, 0});
        for (int row = 0; row < 4; ++row) // feather rows in lighter stone, kept inside the wing
            for (int f = 0; f < 14; ++f) {
                float t = static_cast<float>(f) / 13;
                float bx = 320 + sd * (30 + 215 * t), by = 135 - 85 * t + static_cast<float>(row) * 40 + 30 * t * t;
                draw_line(feathers, bx, by, bx - sd * 8, by + 36 - static_cast<float>(row) * 5, 5, mix(stone, palette::sepia, 0.3f + 0.12f * static_cast<float>(row)));
            }
        std::vector<float> inside = contour_mask(640, 400, {wing});
        for (size_t k = 0; k < feathers.px.size(); ++k)
            blend_pixel(c, static_cast<int>(k % 640), static_cast<int>(k / 640), feathers.px[k], inside[k]);
    }
    fill_ellipse(c, 320, 255, 38, 120, stone); // robe
    fill_polygon(c, {{282, 260}, {358, 260}, {392, 400}, {248, 400}}, stone);
    fill_circle(c, 320, 118, 24, stone);
    fill_ellipse(c, 320, 86, 34, 8, Rgba{0, 0, 0, 0}, 1);
    draw_line(c, 288, 86, 352, 86, 3, palette::gold);
    draw_line(c, 300, 210, 320, 180, 12, stone); // hands joined
    draw_line(c, 340, 210, 320, 180, 12, stone);
    photo_finish(c, 0, palette::ink, 408);
    return c;
}

// ---- Overlay pictures ------------------------------------------------------------

Canvas make_scream()
{
    // 264 x 400: swirling sky bands over a bridge, a figure holding its face.
    Canvas c(264, 400);
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 264; ++x) {
            float u = static_cast<float>(x) / 264, v = static_cast<float>(y) / 400;
            float band = std::sin(v * 26 + 3 * std::sin(u * 5 + v * 4) + 2 * u);
            Rgba col = band > 0 ? mix(palette::gold, palette::sepia, v) : mix(palette::blue, palette::sepia_dark, v);
            c.at(x, y) = mix(col, palette::gold_light, std::pow(std::fabs(band), 8.0f) * 0.4f);
        }
    fill_polygon(c, {{0, 250}, {264, 200}, {264, 214}, {0, 268}}, palette::sepia_dark); // bridge deck
    for (int i = 0; i < 12; ++i) {
        float x = static_cast<float>(i) * 24;
        draw_line(c, x, 250 - x * 0.19f, x, 232 - x * 0.19f, 2, palette::sepia_dark);
    }
    draw_line(c, 0, 232, 264, 182, 3, palette::sepia_dark);
    fill_polygon(c, {{90, 290}, {170, 290}, {200, 400}, {60, 400}}, palette::ink); // coat
    fill_ellipse(c, 130, 240, 30, 44, palette::paper);                         // face
    fill_ellipse(c, 118, 232, 6, 10, palette::ink);
    fill_ellipse(c, 142, 232, 6, 10, palette::ink);
    fill_ellipse(c, 130, 262, 7, 12, palette::ink);
    draw_line(c, 96, 300, 104, 240, 14, palette::ink); // hands to the cheeks
    draw_line(c, 164, 300, 156, 240, 14, palette::ink);
    photo_finish(c, 0, palette::ink, 409);
    feather_edges(c, 10);
    return c;
}

Canvas make_group_of_people()
{
    Canvas c = portrait_ground(400, 300, palette::paper, palette::sepia_light, 200, 80);
    const float xs[] = {70, 140, 205, 270, 335};
    for (int i = 0; i < 5; ++i) {
        Figure f;
        f.x = xs[i], f.feet = 300, f.height = 230 + static_cast<float>((i * 37) % 30);
        f.arm_l[0] = -0.15f, f.arm_r[0] = 0.15f, f.bulk = 1.2f;
        if (i == 2)
            f.arm_r[0] = 2.6f, f.arm_r[1] = 2.9f; // a raised hand
        draw_figure(c, f, scaled(palette::sepia_dark, 0.7f + 0.1f * static_cast<float>(i % 2)));
    }
    photo_finish(c, 5, palette::sepia_dark, 410);
    feather_edges(c, 12);
    return c;
}

Canvas make_poet_portrait()
{
    // 197 x 300: a poet in profile with a quill.
    Canvas c = portrait_ground(197, 300, palette::paper, palette::sepia_light, 150, 90);
    portrait_head(c, 40, 40, 120, false, palette::sepia_dark, 3, 411);
    draw_line(c, 150, 290, 185, 170, 3, palette::ink); // quill
    fill_ellipse(c, 180, 190, 7, 28, palette::paper);
    photo_finish(c, 4, palette::sepia_dark, 412);
    feather_edges(c, 10);
    return c;
}

Canvas make_thinker()
{
    // 240 x 440: the seated thinker on his plinth, chin on hand.
    Canvas c(240, 440, Rgba{0, 0, 0, 0});
    Rgba bronze = rgb(0x2A1E14);
    fill_rect(c, 30, 330, 210, 440, mix(palette::sepia, palette::sepia_dark, 0.5f)); // plinth
    fill_rect(c, 22, 322, 218, 336, palette::sepia);
    fill_polygon(c, {{70, 180}, {140, 170}, {150, 300}, {80, 320}}, bronze); // torso leaning forward
    fill_circle(c, 150, 150, 30, bronze);                                  // head bowed
    draw_line(c, 90, 300, 170, 290, 38, bronze);                           // thigh
    draw_line(c, 170, 290, 165, 325, 32, bronze);                          // shin
    draw_line(c, 130, 200, 175, 250, 22, bronze);                          // upper arm to the knee
    draw_line(c, 175, 250, 160, 175, 18, bronze);                          // forearm to the chin
    fill_circle(c, 158, 176, 12, bronze);
    draw_line(c, 75, 200, 120, 270, 20, bronze); // other arm on the thigh
    // Gold rim light on the right-hand edges.
    Canvas rim = c;
    for (int y = 0; y < 440; ++y)
        for (int x = 1; x < 240; ++x)
            if (c.at(x, y).a > 0.5f && c.at(x - 1, y).a < 0.5f && y < 325)
                blend_pixel(rim, x, y, palette::gold_light, 0.8f);
    photo_finish(rim, 0, palette::ink, 413);
    return rim;
}

Canvas make_yo_man()
{
    // 260 x 420: a rapper in a cap pointing at the viewer, halftone on blue.
    Canvas c = portrait_ground(260, 420, palette::blue_light, palette::blue, 130, 150);
    Figure f;
    f.x = 130, f.feet = 470, f.height = 420, f.bulk = 1.6f;
    f.arm_l[0] = -0.8f, f.arm_l[1] = 1.3f;   // arm crossed over the chest
    f.arm_r[0] = 2.0f, f.arm_r[1] = 2.1f;    // pointing forward and up
    draw_figure(c, f, palette::ink);
    fill_ellipse(c, 130, 70, 38, 16, palette::gold); // cap
    fill_polygon(c, {{130, 64}, {190, 72}, {186, 82}, {130, 80}}, palette::gold);
    fill_rect(c, 95, 165, 165, 180, palette::gold); // chain
    photo_finish(c, 5, palette::blue_dark, 414);
    feather_edges(c, 10);
    return c;
}

Canvas make_puppets()
{
    Canvas c = portrait_ground(320, 320, palette::paper, palette::sepia, 160, 40);
    fill_rect(c, 40, 20, 280, 30, palette::sepia_dark); // control bar
    const float xs[] = {95, 225};
    for (int i = 0; i < 2; ++i) {
        Figure f;
        f.x = xs[i], f.feet = 300, f.height = 200;
        f.arm_l[0] = -1.9f + 0.6f * static_cast<float>(i), f.arm_l[1] = -2.5f;
        f.arm_r[0] = 1.2f, f.arm_r[1] = 0.4f;
        f.leg_l[0] = -0.4f, f.leg_r[0] = 0.5f * static_cast<float>(i);
        draw_figure(c, f, palette::sepia_dark);
        draw_line(c, f.x, 25, f.x, 110, 1, palette::ink); // strings
        draw_line(c, f.x - 50, 25, f.x - 60, 160, 1, palette::ink);
        draw_line(c, f.x + 50, 25, f.x + 55, 180, 1, palette::ink);
    }
    photo_finish(c, 4, palette::sepia_dark, 415);
    feather_edges(c, 10);
    return c;
}

Canvas make_singer_portrait()
{
    // 91 x 400: a narrow slice, the singer's microphone stand and hand.
    Canvas c = portrait_ground(91, 400, palette::sepia_light, palette::sepia_dark, 45, 60);
    draw_line(c, 45, 120, 45, 400, 4, palette::ink);
    fill_ellipse(c, 45, 105, 13, 20, palette::ink);
    draw_line(c, 36, 95, 54, 95, 1.5f, palette::gold);
    draw_line(c, 36, 105, 54, 105, 1.5f, palette::gold);
    draw_line(c, 0, 200, 40, 150, 18, palette::ink);
    photo_finish(c, 4, palette::ink, 416);
    return c;
}

Canvas make_singer_portrait_2()
{
    // 335 x 400: the same singer in profile, singing into the microphone.
    Canvas c = portrait_ground(335, 400, palette::sepia_light, palette::sepia, 250, 120);
    portrait_head(c, 60, 70, 170, false, palette::ink, 1, 417);
    fill_ellipse(c, 250, 190, 16, 24, palette::ink);
    draw_line(c, 250, 210, 290, 400, 5, palette::ink);
    draw_line(c, 240, 180, 260, 180, 1.5f, palette::gold);
    photo_finish(c, 5, palette::ink, 418);
    return c;
}

Canvas make_musician_portrait()
{
    // 271 x 400: a saxophone player facing left.
    Canvas c = portrait_ground(271, 400, palette::blue_light, palette::sepia_light, 90, 110);
    portrait_head(c, 210, 60, 150, true, palette::ink, 2, 419);
    // Saxophone: a golden curved tube down from the mouth.
    Contour sax;
    for (int i = 0; i <= 20; ++i) {
        float t = static_cast<float>(i) / 20;
        sax.push_back(Point2{100 - 30 * std::sin(t * PI), 165 + t * 200});
    }
    for (int i = 0; i + 1 < static_cast<int>(sax.size()); ++i)
        draw_line(c, sax[i].x, sax[i].y, sax[i + 1].x, sax[i + 1].y, 10 + static_cast<float>(i), palette::gold);
    fill_ellipse(c, 115, 370, 36, 16, palette::gold_light);
    draw_line(c, 100, 165, 128, 150, 6, palette::gold);
    photo_finish(c, 5, palette::ink, 420);
    return c;
}

Canvas make_wagon()
{
    // 176 x 200: a covered wagon, drawn in ink on paper.
    Canvas c(176, 200, palette::paper);
    fill_ellipse(c, 88, 90, 70, 55, palette::sepia_light);                       // canvas cover
    fill_rect(c, 18, 90, 158, 150, palette::paper);
    for (int i = 0; i < 5; ++i)
        draw_line(c, 30 + static_cast<float>(i) * 29, 40, 30 + static_cast<float>(i) * 29, 130, 2, palette::sepia);
    fill_rect(c, 14, 118, 162, 136, palette::sepia_dark); // bed
    for (int w = 0; w < 2; ++w) {
        float wx = 45 + static_cast<float>(w) * 86;
        fill_circle(c, wx, 160, 26, palette::ink);
        fill_circle(c, wx, 160, 21, palette::paper);
        for (int s = 0; s < 8; ++s) {
            float a = static_cast<float>(s) * PI / 4;
            draw_line(c, wx, 160, wx + 21 * std::cos(a), 160 + 21 * std::sin(a), 2, palette::ink);
        }
        fill_circle(c, wx, 160, 4, palette::ink);
    }
    photo_finish(c, 0, palette::ink, 421);
    feather_edges(c, 12);
    return c;
}

Canvas make_musician_head()
{
    // 191 x 232: a head in headphones, looking left.
    Canvas c = portrait_ground(191, 232, palette::sepia_light, palette::sepia, 60, 80);
    portrait_head(c, 150, 30, 110, true, palette::ink, 0, 422);
    draw_line(c, 112, 40, 128, 108, 8, palette::gold); // headphone band and cup
    fill_ellipse(c, 128, 112, 16, 22, palette::gold);
    photo_finish(c, 4, palette::ink, 423);
    feather_edges(c, 8);
    return c;
}

Canvas make_ribbons_bg()
{
    // Sky over the water: opaque at the top, fading out over a dozen rows
    // just where the far edge of the water lies (screen rows 322-334 when
    // placed at row 40), so the horizon is a haze and not a dark band; with
    // golden ribbons curling through it.
    Canvas c(640, 400);
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 640; ++x) {
            float u = static_cast<float>(x) / 640, v = static_cast<float>(y) / 400;
            Rgba sky = mix(palette::blue_dark, mix(palette::sepia, palette::gold_light, smooth(0.4f, 0.7f, v)), smooth(0.0f, 0.7f, v));
            float cloud = smooth(0.5f, 0.75f, fbm(u * 6, v * 4, 424, 5));
            sky = mix(sky, palette::sepia_light, cloud * 0.35f * v);
            sky.a = smooth(0.735f, 0.705f, v);
            c.at(x, y) = sky;
        }
    for (int r = 0; r < 3; ++r) {
        float phase = static_cast<float>(r) * 2.1f, y0 = 70 + static_cast<float>(r) * 45;
        for (int x = 0; x < 640; x += 2) {
            float u = static_cast<float>(x) / 640;
            float y = y0 + 30 * std::sin(u * 7 + phase) + 12 * std::sin(u * 17 + phase);
            float width = 3 + 5 * (0.5f + 0.5f * std::sin(u * 11 + phase));
            float twist = std::fabs(std::cos(u * 11 + phase));
            draw_line(c, static_cast<float>(x), y, static_cast<float>(x + 2), y + 0.3f, width, mix(palette::gold, palette::gold_light, twist));
        }
    }
    compensate_alpha_blend(c);
    return c;
}

const ImageJob jobs[] = {
    {"hiphop.jpg", make_hiphop, IMAGE_JPEG},
    {"angel.jpg", make_angel, IMAGE_JPEG},
    {"twister_bg.jpg", make_twister_bg, IMAGE_JPEG},
    {"scream.png", make_scream, IMAGE_PNG_RGBA},
    {"group_of_people.png", make_group_of_people, IMAGE_PNG_RGBA},
    {"spec_map_bg.jpg", make_spec_map_bg, IMAGE_JPEG},
    {"ribbons_bg.png", make_ribbons_bg, IMAGE_PNG_RGBA},
    {"poet_portrait.png", make_poet_portrait, IMAGE_PNG_RGBA},
    {"thinker_small.png", make_thinker, IMAGE_PNG_RGBA},
    {"yo_man.png", make_yo_man, IMAGE_PNG_RGBA},
    {"puppets.png", make_puppets, IMAGE_PNG_RGBA},
    {"collider_bg.jpg", make_collider_bg, IMAGE_JPEG},
    {"singer_portrait.png", make_singer_portrait, IMAGE_PNG_RGBA},
    {"singer_portrait_2.png", make_singer_portrait_2, IMAGE_PNG_RGBA},
    {"musician_portrait.png", make_musician_portrait, IMAGE_PNG_RGBA},
    {"wagon.png", make_wagon, IMAGE_PNG_RGBA},
    {"musician_head.png", make_musician_head, IMAGE_PNG_RGBA},
};

} // namespace

Contour head_profile(float x, float y, float s, bool mirrored)
{
    // Crown at the top, face looking right, down to the shoulders (2.2 s tall).
    static const Point2 shape[] = {
        {0.40f, 0.00f}, {0.62f, 0.06f}, {0.72f, 0.22f}, {0.74f, 0.36f}, {0.71f, 0.43f}, {0.84f, 0.57f},
        {0.75f, 0.62f}, {0.76f, 0.69f}, {0.72f, 0.74f}, {0.75f, 0.78f}, {0.70f, 0.85f}, {0.72f, 0.93f},
        {0.60f, 1.00f}, {0.55f, 1.10f}, {0.56f, 1.30f}, {0.72f, 1.55f}, {0.98f, 1.72f}, {1.15f, 2.20f},
        {-0.55f, 2.20f}, {-0.40f, 1.70f}, {0.18f, 1.35f}, {0.22f, 1.05f}, {0.08f, 0.72f}, {0.06f, 0.40f},
        {0.18f, 0.12f}};
    Contour c;
    for (const Point2& p : shape)
        c.push_back(Point2{x + (mirrored ? -p.x : p.x) * s, y + p.y * s});
    return c;
}

void draw_figure(Canvas& c, const Figure& f, const Rgba& colour)
{
    float H = f.height, b = f.bulk;
    float hip_x = f.x, hip_y = f.feet - 0.5f * H;
    float sh_x = hip_x + std::sin(f.lean) * 0.32f * H, sh_y = hip_y - std::cos(f.lean) * 0.32f * H;
    auto limb = [&](float x, float y, const float* ang, float l1, float l2, float w) {
        float ex = x + std::sin(ang[0]) * l1, ey = y + std::cos(ang[0]) * l1;
        float hx = ex + std::sin(ang[1]) * l2, hy = ey + std::cos(ang[1]) * l2;
        draw_line(c, x, y, ex, ey, w, colour);
        draw_line(c, ex, ey, hx, hy, w * 0.85f, colour);
        return Point2{hx, hy};
    };
    draw_line(c, hip_x, hip_y, sh_x, sh_y, 0.17f * H * b, colour); // torso
    draw_line(c, sh_x - 0.08f * H, sh_y + 0.02f * H, sh_x + 0.08f * H, sh_y + 0.02f * H, 0.08f * H * b, colour);
    limb(hip_x - 0.04f * H, hip_y, f.leg_l, 0.25f * H, 0.25f * H, 0.075f * H * b);
    limb(hip_x + 0.04f * H, hip_y, f.leg_r, 0.25f * H, 0.25f * H, 0.075f * H * b);
    Point2 hl = limb(sh_x - 0.09f * H, sh_y + 0.02f * H, f.arm_l, 0.17f * H, 0.16f * H, 0.055f * H * b);
    Point2 hr = limb(sh_x + 0.09f * H, sh_y + 0.02f * H, f.arm_r, 0.17f * H, 0.16f * H, 0.055f * H * b);
    fill_circle(c, hl.x, hl.y, 0.035f * H * b, colour);
    fill_circle(c, hr.x, hr.y, 0.035f * H * b, colour);
    float head_r = 0.065f * H;
    fill_ellipse(c, sh_x + f.head_tilt * head_r, sh_y - 0.1f * H, head_r * 0.9f, head_r, colour);
    draw_line(c, sh_x, sh_y, sh_x + f.head_tilt * head_r * 0.5f, sh_y - 0.06f * H, 0.05f * H, colour);
}

void photo_finish(Canvas& c, float dot_cell, const Rgba& ink, uint32_t seed)
{
    if (dot_cell > 0) {
        std::vector<float> d(c.px.size());
        for (size_t i = 0; i < c.px.size(); ++i) {
            const Rgba& p = c.px[i];
            d[i] = std::max(0.0f, 0.55f - (0.3f * p.r + 0.55f * p.g + 0.15f * p.b)) * 0.9f;
        }
        halftone(c, d, dot_cell, 0.785f, Rgba{ink.r, ink.g, ink.b, 0.55f});
    }
    add_grain(c, 0.05f, seed);
    vignette(c, 0.45f);
}

int generate_pictures(const GenContext& ctx) { return run_image_jobs(ctx, jobs, sizeof jobs / sizeof jobs[0]); }
