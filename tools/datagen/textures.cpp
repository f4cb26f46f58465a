// The shared texture table's images: environment (sphere) maps, tileable
// surface textures with their offset (DUDV) and normal (DOT3) maps, particle
// and flare sprites, the colour-keyed angel sprite and the hand pictures.
// Every texture addressed with masks is 256 x 256 (or another power of two);
// textures combined on one mesh share their size.
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

// ---- Environment maps ----------------------------------------------------------

// A soft rectangular light seen in direction d around centre direction c.
float light_spot(float x, float y, float z, float cx, float cy, float cz, float size)
{
    float dot = x * cx + y * cy + z * cz;
    return smooth(1 - size, 1 - size * 0.35f, dot);
}

Rgba env_golden(float x, float y, float z)
{
    // Warm studio: golden sky, dark sepia floor, a bright horizon and softboxes.
    Rgba sky = mix(palette::gold, palette::gold_light, smooth(0.0f, 0.9f, y));
    Rgba ground = mix(palette::sepia_dark, palette::ink, smooth(0.0f, -0.8f, y));
    Rgba c = y > 0 ? sky : ground;
    float horizon = std::exp(-y * y * 60);
    c = mix(c, palette::white, horizon * 0.55f);
    float l = light_spot(x, y, z, 0.5f, 0.6f, 0.62f, 0.08f) + light_spot(x, y, z, -0.7f, 0.35f, 0.6f, 0.05f);
    c = mix(c, palette::white, std::min(1.0f, l));
    float bands = 0.5f + 0.5f * std::sin(std::atan2(x, z) * 6);
    return scaled(c, 0.85f + 0.15f * bands * (y > 0 ? 1.0f : 0.3f));
}

Rgba env_blue(float x, float y, float z)
{
    Rgba sky = mix(palette::blue, palette::blue_light, smooth(0.0f, 0.9f, y));
    Rgba ground = mix(palette::blue_dark, palette::ink, smooth(0.0f, -0.8f, y));
    Rgba c = y > 0 ? sky : ground;
    c = mix(c, palette::white, std::exp(-y * y * 60) * 0.6f);
    float l = light_spot(x, y, z, -0.4f, 0.7f, 0.6f, 0.08f) + light_spot(x, y, z, 0.8f, 0.2f, 0.55f, 0.04f);
    return mix(c, palette::white, std::min(1.0f, l));
}

// Mostly dark environments with bright streaks: they are added onto surfaces.
Rgba env_inverse(float x, float y, float z)
{
    float rim = 1 - std::fabs(z);
    float streak = std::pow(0.5f + 0.5f * std::sin(x * 9 + y * 4), 12.0f) * 0.6f;
    float glow = light_spot(x, y, z, 0.3f, 0.8f, 0.5f, 0.1f);
    float k = std::clamp(rim * rim * 0.55f + streak + glow, 0.0f, 1.0f);
    return mix(rgb(0x050302), palette::gold_light, k);
}

Rgba env_inverse_blue(float x, float y, float z)
{
    float rim = 1 - std::fabs(z);
    float streak = std::pow(0.5f + 0.5f * std::sin(x * 7 - y * 5), 12.0f) * 0.6f;
    float glow = light_spot(x, y, z, -0.3f, 0.8f, 0.5f, 0.1f);
    float k = std::clamp(rim * rim * 0.55f + streak + glow, 0.0f, 1.0f);
    return mix(rgb(0x02040A), palette::blue_light, k);
}

Rgba env_angel(float x, float y, float z)
{
    // Evening sky with clouds and a low sun, sea of gold below.
    Rgba c = y > 0 ? mix(palette::sepia_light, palette::blue_light, smooth(0.05f, 0.8f, y))
                   : mix(palette::sepia, palette::sepia_dark, smooth(0.0f, -0.6f, y));
    if (y > 0) {
        float u = std::atan2(x, z) * 2, v = y * 6;
        float cloud = smooth(0.5f, 0.75f, fbm(u + 10, v, 77, 4));
        c = mix(c, palette::paper, cloud * 0.7f);
    }
    float sun = light_spot(x, y, z, 0.0f, 0.2f, 0.98f, 0.02f);
    c = mix(c, palette::white, sun);
    return mix(c, palette::gold_light, std::exp(-y * y * 40) * 0.5f);
}

Rgba env_light(float x, float y, float z)
{
    (void)x;
    float k = std::clamp(0.5f * (y + z) + 0.3f, 0.0f, 1.0f);
    return mix(rgb(0x100C08), palette::gold_light, k * k);
}

Rgba env_grace(float x, float y, float z)
{
    // A graded filter: bands of blue, gold and white, like a photographer's gel.
    float t = 0.5f + 0.5f * y;
    Rgba c = palette::ramp(t);
    c = mix(c, palette::white, std::pow(0.5f + 0.5f * std::sin(y * 14 + x * 3), 8.0f) * 0.7f);
    c = mix(c, palette::gold_light, light_spot(x, y, z, 0.4f, 0.5f, 0.75f, 0.12f));
    return c;
}

// ---- Water ------------------------------------------------------------------------

// The water's offset map and environment work as a pair. The water draws
// without a second coordinate set, so its environment lookup is the texel
// named by the offset map's own red and green: a slope-to-colour table. The
// offsets stay in 0..WATER_OFFSETS - 1 and the table fills the top-left
// WATER_OFFSETS x WATER_OFFSETS corner of invenv.jpg, which lies outside the
// sphere-map disc (a sphere-mapped lookup shifted by these offsets never
// reaches it). Slopes facing the low sun give glitter, the rest a faint
// cool sky, added onto the water's own colour.
const int WATER_OFFSETS = 32;
const float WATER_BIAS = 16.0f;

// Slope (du, dv) in texels from the bias: how much of the sun it reflects.
// The ridges' own slopes run mostly along (0.5, 0.87); the sun is caught by
// the steep flanks of the wavelets and fine detail across them.
float water_glint(float du, float dv)
{
    float facing = -0.87f * du + 0.5f * dv;
    return smooth(3.0f, 6.5f, facing);
}

void water_glitter_patch(Canvas& c)
{
    for (int y = 0; y < WATER_OFFSETS; ++y)
        for (int x = 0; x < WATER_OFFSETS; ++x) {
            float du = static_cast<float>(x) - WATER_BIAS, dv = static_cast<float>(y) - WATER_BIAS;
            // Ridge flanks turned towards the viewer see more of the sky.
            float sky = smooth(-12.0f, 12.0f, -(0.5f * du + 0.87f * dv));
            Rgba col = mix(rgb(0x02060E), rgb(0x133260), sky);
            float g = water_glint(du, dv);
            col = mix(col, mix(palette::gold_light, palette::white, g), g);
            c.at(x, y) = col;
        }
}

Canvas make_envi_golden() { return sphere_map(256, env_golden); }
Canvas make_envi_blue() { return sphere_map(256, env_blue); }
Canvas make_invenv()
{
    Canvas c = sphere_map(256, env_inverse);
    water_glitter_patch(c);
    return c;
}
Canvas make_invenv_blue() { return sphere_map(256, env_inverse_blue); }
Canvas make_angel_envmap() { return sphere_map(256, env_angel); }
Canvas make_light_env() { return sphere_map(128, env_light); }
Canvas make_grace_filter() { return sphere_map(256, env_grace); }

// ---- Height fields and derived maps ----------------------------------------------

const int TEX = 256;

// Corkscrew: twisted helical ridges with fine detail, tileable.
float corkscrew_height(int x, int y)
{
    float u = static_cast<float>(x) / TEX, v = static_cast<float>(y) / TEX;
    float twist = 1.3f * std::sin(2 * PI * (u * 2 - v));
    float ridge = 0.5f + 0.5f * std::sin(2 * PI * (3 * u + 5 * v) + twist);
    ridge = std::pow(ridge, 1.6f);
    float detail = fbm(u * 16, v * 16, 11, 3, 16);
    return std::clamp(0.8f * ridge + 0.3f * (detail - 0.5f) + 0.1f, 0.0f, 1.0f);
}

float cloud_height(int x, int y)
{
    float u = static_cast<float>(x) / TEX, v = static_cast<float>(y) / TEX;
    return fbm(u * 4, v * 4, 23, 5, 4);
}

// Voronoi cells: distance to the nearest cell border, tileable (8 x 8 cells).
float cell_height(int x, int y)
{
    const int cells = 8;
    float u = static_cast<float>(x) / TEX * cells, v = static_cast<float>(y) / TEX * cells;
    int cu = static_cast<int>(std::floor(u)), cv = static_cast<int>(std::floor(v));
    float d1 = 9, d2 = 9;
    for (int j = -1; j <= 1; ++j)
        for (int i = -1; i <= 1; ++i) {
            int gx = cu + i, gy = cv + j;
            int wx = ((gx % cells) + cells) % cells, wy = ((gy % cells) + cells) % cells;
            Rng r(static_cast<uint64_t>(wy * cells + wx) + 500);
            float px = static_cast<float>(gx) + r.range(0.15f, 0.85f), py = static_cast<float>(gy) + r.range(0.15f, 0.85f);
            float d = std::sqrt((px - u) * (px - u) + (py - v) * (py - v));
            if (d < d1) {
                d2 = d1;
                d1 = d;
            } else if (d < d2)
                d2 = d;
        }
    return smooth(0.0f, 0.25f, d2 - d1);
}

std::vector<float> height_field(float (*height)(int, int))
{
    std::vector<float> h(static_cast<size_t>(TEX) * TEX);
    for (int y = 0; y < TEX; ++y)
        for (int x = 0; x < TEX; ++x)
            h[static_cast<size_t>(y) * TEX + x] = height(x, y);
    return h;
}

float hf(const std::vector<float>& h, int x, int y) { return h[static_cast<size_t>((y + TEX) % TEX) * TEX + (x + TEX) % TEX]; }

Canvas colour_from_height(const std::vector<float>& h, const Rgba& low, const Rgba& high, float shade)
{
    Canvas c(TEX, TEX);
    for (int y = 0; y < TEX; ++y)
        for (int x = 0; x < TEX; ++x) {
            float v = hf(h, x, y);
            // Light from the upper left on the height gradient.
            float lit = std::clamp(0.5f + shade * ((hf(h, x - 1, y - 1) - hf(h, x + 1, y + 1))), 0.0f, 1.0f);
            Rgba col = mix(low, high, v);
            c.at(x, y) = scaled(col, 0.6f + 0.8f * lit);
        }
    return c;
}

// Offsets in texels in red (u) and green (v), kept positive around a bias of
// 12 so that compression never wraps them between 0 and 255.
Canvas dudv_from_height(const std::vector<float>& h, float strength)
{
    Canvas c(TEX, TEX);
    for (int y = 0; y < TEX; ++y)
        for (int x = 0; x < TEX; ++x) {
            float du = (hf(h, x + 1, y) - hf(h, x - 1, y)) * strength;
            float dv = (hf(h, x, y + 1) - hf(h, x, y - 1)) * strength;
            float r = std::clamp(12.0f + du, 0.0f, 24.0f), g = std::clamp(12.0f + dv, 0.0f, 24.0f);
            c.at(x, y) = Rgba{std::round(r) / 255.0f, std::round(g) / 255.0f, 0, 1};
        }
    return c;
}

// Wavelets over the corkscrew ridges, tileable: whole numbers of waves across
// the texture in each direction.
float water_height(int x, int y)
{
    float u = static_cast<float>(x) / TEX, v = static_cast<float>(y) / TEX;
    const float waves[4][4] = {{9, 4, 0.0f, 0.030f}, {-6, 11, 1.3f, 0.025f}, {13, -7, 2.9f, 0.020f}, {4, 17, 4.1f, 0.015f}};
    float h = corkscrew_height(x, y);
    for (const auto& w : waves)
        h += w[3] * std::sin(2 * PI * (w[0] * u + w[1] * v) + w[2]);
    return h;
}

// The water's offsets: the slope in texels around WATER_BIAS, kept within
// 0..WATER_OFFSETS - 1 (see water_glitter_patch).
Canvas water_dudv(const std::vector<float>& h)
{
    const float strength = 64.0f, top = static_cast<float>(WATER_OFFSETS - 1);
    Canvas c(TEX, TEX);
    for (int y = 0; y < TEX; ++y)
        for (int x = 0; x < TEX; ++x) {
            float du = (hf(h, x + 1, y) - hf(h, x - 1, y)) * strength;
            float dv = (hf(h, x, y + 1) - hf(h, x, y - 1)) * strength;
            float r = std::clamp(WATER_BIAS + du, 0.0f, top), g = std::clamp(WATER_BIAS + dv, 0.0f, top);
            c.at(x, y) = Rgba{std::round(r) / 255.0f, std::round(g) / 255.0f, 0, 1};
        }
    return c;
}

// Tangent-space normals: red = x along u, green = y along v, blue = z out of
// the surface, each encoded as (n * 0.5 + 0.5) * 255.
Canvas dot3_from_height(const std::vector<float>& h, float strength)
{
    Canvas c(TEX, TEX);
    for (int y = 0; y < TEX; ++y)
        for (int x = 0; x < TEX; ++x) {
            float nx = -(hf(h, x + 1, y) - hf(h, x - 1, y)) * strength;
            float ny = -(hf(h, x, y + 1) - hf(h, x, y - 1)) * strength;
            float len = std::sqrt(nx * nx + ny * ny + 1);
            c.at(x, y) = Rgba{(nx / len) * 0.5f + 0.5f, (ny / len) * 0.5f + 0.5f, (1 / len) * 0.5f + 0.5f, 1};
        }
    return c;
}

Canvas make_corkscrew_sepia() { return colour_from_height(height_field(corkscrew_height), palette::sepia_dark, palette::gold_light, 3); }
Canvas make_corkscrew_blue() { return colour_from_height(height_field(corkscrew_height), palette::blue_dark, palette::blue_light, 3); }
Canvas make_corkscrew_gray() { return colour_from_height(height_field(corkscrew_height), rgb(0x202020), rgb(0xE8E8E8), 3); }
Canvas make_corkscrew_dudv() { return water_dudv(height_field(water_height)); }
Canvas make_corkscrew_dot3() { return dot3_from_height(height_field(corkscrew_height), 6); }
Canvas make_sky_dot3() { return dot3_from_height(height_field(cloud_height), 14); }
Canvas make_celltile() { return colour_from_height(height_field(cell_height), palette::sepia_dark, palette::sepia_light, 2); }
Canvas make_celltile_dudv() { return dudv_from_height(height_field(cell_height), 30); }

Canvas make_tunnel_color()
{
    // Blue sky with gold-lit clouds; its normal map (skyDOT3) comes from the same clouds.
    std::vector<float> h = height_field(cloud_height);
    Canvas c(TEX, TEX);
    for (int y = 0; y < TEX; ++y)
        for (int x = 0; x < TEX; ++x) {
            float v = hf(h, x, y);
            Rgba col = mix(palette::blue, palette::blue_light, smooth(0.2f, 0.5f, v));
            col = mix(col, palette::gold_light, smooth(0.5f, 0.8f, v));
            c.at(x, y) = col;
        }
    return c;
}

Canvas make_stone_tiles()
{
    // 4 x 4 stone slabs with mortar joints, each slab its own tone.
    Canvas c(TEX, TEX);
    for (int y = 0; y < TEX; ++y)
        for (int x = 0; x < TEX; ++x) {
            int tx = x / 64, ty = y / 64;
            float fx = static_cast<float>(x % 64), fy = static_cast<float>(y % 64);
            float edge = std::min(std::min(fx, 63 - fx), std::min(fy, 63 - fy));
            Rng r(static_cast<uint64_t>(ty * 4 + tx) + 900);
            float tone = r.range(0.35f, 0.75f);
            float grain = fbm(static_cast<float>(x) / 16, static_cast<float>(y) / 16, 31, 4, 16);
            Rgba stone = mix(palette::sepia, palette::paper, tone + 0.35f * (grain - 0.5f));
            float bevel = smooth(1.0f, 5.0f, edge);
            c.at(x, y) = mix(scaled(palette::sepia_dark, 0.6f), scaled(stone, 0.8f + 0.2f * smooth(2, 10, edge)), bevel);
        }
    return c;
}

Canvas make_summer()
{
    // Patchwork of fields seen from above: gold wheat, ochre stubble, green-brown
    // meadows, a few blue ponds; tileable every 256 pixels.
    Canvas c(TEX, TEX);
    const Rgba crops[] = {palette::gold, rgb(0xB98B3C), rgb(0x7A7A3A), rgb(0xD8BE78), rgb(0x6E5A2E)};
    for (int y = 0; y < TEX; ++y)
        for (int x = 0; x < TEX; ++x) {
            float u = static_cast<float>(x) / TEX, v = static_cast<float>(y) / TEX;
            // Field index from a warped grid.
            float wu = u * 6 + 0.3f * (fbm(u * 4, v * 4, 41, 2, 4) - 0.5f);
            float wv = v * 5 + 0.3f * (fbm(u * 4 + 7, v * 4, 43, 2, 4) - 0.5f);
            int fu = (static_cast<int>(std::floor(wu)) % 6 + 6) % 6, fv = (static_cast<int>(std::floor(wv)) % 5 + 5) % 5;
            Rng r(static_cast<uint64_t>(fv * 6 + fu) + 1200);
            Rgba col = crops[r.next() % 5];
            // Furrows along each field's own direction.
            float ang = r.range(0, PI);
            float furrow = 0.5f + 0.5f * std::sin((u * std::cos(ang) + v * std::sin(ang)) * 2 * PI * 40);
            col = scaled(col, 0.85f + 0.15f * furrow);
            float hedge = std::min(std::fabs(wu - std::round(wu)), std::fabs(wv - std::round(wv)));
            col = mix(rgb(0x3A2E18), col, smooth(0.0f, 0.04f, hedge));
            float pond = fbm(u * 3, v * 3, 47, 3, 3);
            col = mix(col, palette::blue, smooth(0.72f, 0.75f, pond));
            c.at(x, y) = col;
        }
    return c;
}

// ---- Sprites ------------------------------------------------------------------------

Canvas glow_sprite(int size, const Rgba& colour, float core, float rays, float ring)
{
    Canvas c(size, size, Rgba{0, 0, 0, 1});
    float h = static_cast<float>(size) / 2;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            float dx = (static_cast<float>(x) + 0.5f - h) / h, dy = (static_cast<float>(y) + 0.5f - h) / h;
            float r = std::sqrt(dx * dx + dy * dy);
            float k = std::exp(-r * r / (core * core)) + 0.35f * std::exp(-r * r * 4);
            if (rays > 0) {
                float ang = std::atan2(dy, dx);
                k += rays * std::pow(std::fabs(std::cos(ang * 2)), 40.0f) * std::max(0.0f, 1 - r);
            }
            if (ring > 0)
                k += ring * std::exp(-std::pow((r - 0.7f) / 0.06f, 2.0f));
            k *= smooth(1.0f, 0.85f, r); // black at the border
            k = std::min(1.0f, k);
            c.at(x, y) = Rgba{colour.r * k + k * k * 0.4f, colour.g * k + k * k * 0.4f, colour.b * k + k * k * 0.4f, 1};
        }
    return c;
}

Canvas make_particle2() { return glow_sprite(128, palette::gold_light, 0.18f, 0.7f, 0.0f); }
Canvas make_circle_particle()
{
    Canvas c(64, 64, Rgba{0, 0, 0, 1});
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            float dx = (static_cast<float>(x) - 31.5f) / 32, dy = (static_cast<float>(y) - 31.5f) / 32;
            float r = std::sqrt(dx * dx + dy * dy);
            float k = 0.55f * smooth(0.9f, 0.7f, r) + 0.45f * std::exp(-std::pow((r - 0.75f) / 0.08f, 2.0f));
            k *= smooth(1.0f, 0.92f, r);
            c.at(x, y) = mix(Rgba{0, 0, 0, 1}, mix(palette::gold_light, palette::white, k * 0.5f), std::min(1.0f, k));
        }
    return c;
}
Canvas make_pointlight() { return glow_sprite(128, rgb(0xFFD9A0), 0.25f, 0.0f, 0.25f); }

Canvas make_flares()
{
    // 4 x 4 atlas of 64-pixel flares; cell 0 (surface facing the viewer) is the
    // brightest and largest, cell 15 a faint speck.
    Canvas c(256, 256, Rgba{0, 0, 0, 1});
    for (int k = 0; k < 16; ++k) {
        float l = 1 - static_cast<float>(k) / 16;
        Rgba tint = mix(palette::blue_light, palette::gold_light, l);
        Canvas cell = glow_sprite(64, tint, 0.08f + 0.22f * l, 0.9f * l, 0.3f * l * l);
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x)
                c.at((k % 4) * 64 + x, (k / 4) * 64 + y) = scaled(cell.at(x, y), 0.35f + 0.65f * l);
    }
    return c;
}

Canvas make_angel_sprite()
{
    // A small winged figure with a halo, hard-edged on opaque magenta: the key
    // colour must survive loading exactly (0xFFFF00FF), so no edge blending.
    const int S = 64;
    Canvas shape(S, S, Rgba{0, 0, 0, 0});
    Rgba body = palette::gold_light;
    // Wings: two feathered fans.
    for (int side = -1; side <= 1; side += 2)
        for (int f = 0; f < 5; ++f) {
            float ang = (0.25f + 0.22f * static_cast<float>(f)) * (side < 0 ? -1.0f : 1.0f);
            float len = 24 - 2.5f * static_cast<float>(f);
            float bx = 32 + side * 4.0f, by = 28;
            draw_line(shape, bx, by, bx + std::sin(ang) * len * side * side, by - std::cos(ang) * len * 0.55f + 6, 5 - 0.5f * static_cast<float>(f), mix(palette::paper, palette::gold, static_cast<float>(f) / 5));
        }
    fill_ellipse(shape, 32, 38, 6, 16, body, 0.5f);                    // robe
    fill_polygon(shape, {{26, 40}, {38, 40}, {44, 60}, {20, 60}}, body); // skirt
    fill_circle(shape, 32, 17, 5.5f, palette::paper, 0.5f);             // head
    draw_line(shape, 25, 9, 39, 9, 2, palette::gold);                   // halo
    Canvas c(S, S, Rgba{1, 0, 1, 1});
    for (int y = 0; y < S; ++y)
        for (int x = 0; x < S; ++x) {
            const Rgba& p = shape.at(x, y);
            if (p.a >= 0.5f)
                c.at(x, y) = Rgba{p.r, std::max(p.g, 0.05f), p.b, 1}; // never exactly magenta
        }
    return c;
}

// Hands: a hand counting, one to four fingers raised and fanned out
// (the overlay shows one per beat as a count-in), paper on transparent.
Canvas hand(int fingers)
{
    const int S = 128;
    Canvas c(S, S, Rgba{0, 0, 0, 0});
    Rgba skin = palette::paper;
    Rgba shade = palette::sepia_light;
    fill_rect(c, 2, 48, 34, 84, shade);          // cuff
    fill_ellipse(c, 54, 66, 24, 21, skin, 1.0f); // palm
    for (int f = 0; f < 4; ++f) {
        float by = 52 + static_cast<float>(f) * 9.0f, bx = 70;
        float ang = -0.42f + 0.28f * static_cast<float>(f);
        float len = f < fingers ? 42 - static_cast<float>(f) * 4 : 9;
        float ex = bx + std::cos(ang) * len, ey = by + std::sin(ang) * len;
        draw_line(c, bx - 6, by, ex, ey, 8.5f, skin);
        if (f < fingers)
            draw_line(c, bx + std::cos(ang) * len * 0.55f - 3 * std::sin(ang), by + std::sin(ang) * len * 0.55f - 3 * std::cos(ang),
                      bx + std::cos(ang) * len * 0.55f + 3 * std::sin(ang), by + std::sin(ang) * len * 0.55f + 3 * std::cos(ang), 1.2f, shade);
        else
            draw_line(c, ex - 1, ey - 4, ex - 1, ey + 4, 1.2f, shade); // folded knuckle
    }
    draw_line(c, 48, 48, 66, 40, 10, skin); // thumb tucked over the palm
    draw_line(c, 58, 45, 60, 49, 1.2f, shade);
    return c;
}
Canvas make_hand_1() { return hand(1); }
Canvas make_hand_2() { return hand(2); }
Canvas make_hand_3() { return hand(3); }
Canvas make_hand_4() { return hand(4); }

const ImageJob jobs[] = {
    {"EnviGolden.jpg", make_envi_golden, IMAGE_JPEG},
    {"EnviBlue.jpg", make_envi_blue, IMAGE_JPEG},
    {"invenv.jpg", make_invenv, IMAGE_JPEG},
    {"invenv_blue.jpg", make_invenv_blue, IMAGE_JPEG},
    {"summer.jpg", make_summer, IMAGE_JPEG},
    {"corkscrew_sepia.jpg", make_corkscrew_sepia, IMAGE_JPEG},
    {"corkscrew_blue.jpg", make_corkscrew_blue, IMAGE_JPEG},
    {"corkscrew_gray.jpg", make_corkscrew_gray, IMAGE_JPEG},
    {"particle2.jpg", make_particle2, IMAGE_JPEG},
    {"circle_particle.jpg", make_circle_particle, IMAGE_JPEG},
    {"angel_envmap.jpg", make_angel_envmap, IMAGE_JPEG},
    {"angel_sprite.png", make_angel_sprite, IMAGE_PNG_RGB},
    {"stone_tiles_12_256x.jpg", make_stone_tiles, IMAGE_JPEG},
    {"grace_filter.png", make_grace_filter, IMAGE_PNG_RGB},
    {"pointlight.png", make_pointlight, IMAGE_PNG_RGB},
    {"corkscrew_grayDUDV.png", make_corkscrew_dudv, IMAGE_PNG_RGB},
    {"celltile.jpg", make_celltile, IMAGE_JPEG},
    {"celltileDUDV.jpg", make_celltile_dudv, IMAGE_JPEG},
    {"lightEnv128.jpg", make_light_env, IMAGE_JPEG},
    {"skyDOT3.jpg", make_sky_dot3, IMAGE_JPEG},
    {"tunnel_color.jpg", make_tunnel_color, IMAGE_JPEG},
    {"corkscrew_grayDOT3.jpg", make_corkscrew_dot3, IMAGE_JPEG},
    {"flares.jpg", make_flares, IMAGE_JPEG},
    {"hand_1.png", make_hand_1, IMAGE_PNG_RGBA},
    {"hand_2.png", make_hand_2, IMAGE_PNG_RGBA},
    {"hand_3.png", make_hand_3, IMAGE_PNG_RGBA},
    {"hand_4.png", make_hand_4, IMAGE_PNG_RGBA},
};

} // namespace

Canvas sphere_map(int size, Rgba (*environment)(float x, float y, float z))
{
    // Pixel (u, v) of a sphere map holds the normal n = (2u - 1, 1 - 2v, nz);
    // the viewer looks along -z, so the reflected direction is 2 nz n - (0, 0, 1).
    Canvas c(size, size);
    const int ss = 2; // 2 x 2 samples per pixel
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            Rgba sum{0, 0, 0, 0};
            for (int sy = 0; sy < ss; ++sy)
                for (int sx = 0; sx < ss; ++sx) {
                    float nx = (static_cast<float>(x) + (static_cast<float>(sx) + 0.5f) / ss) / static_cast<float>(size) * 2 - 1;
                    float ny = 1 - (static_cast<float>(y) + (static_cast<float>(sy) + 0.5f) / ss) / static_cast<float>(size) * 2;
                    float r2 = nx * nx + ny * ny;
                    if (r2 > 1) { // outside the disc: the rim value
                        float r = std::sqrt(r2);
                        nx /= r;
                        ny /= r;
                        r2 = 1;
                    }
                    float nz = std::sqrt(std::max(0.0f, 1 - r2));
                    Rgba e = environment(2 * nz * nx, 2 * nz * ny, 2 * nz * nz - 1);
                    sum.r += e.r;
                    sum.g += e.g;
                    sum.b += e.b;
                }
            float k = 1.0f / (ss * ss);
            c.at(x, y) = Rgba{sum.r * k, sum.g * k, sum.b * k, 1};
        }
    return c;
}

int generate_textures(const GenContext& ctx) { return run_image_jobs(ctx, jobs, sizeof jobs / sizeof jobs[0]); }
