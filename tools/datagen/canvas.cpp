// Canvas drawing for the data-set generator: seeded random numbers and value
// noise, the palette, anti-aliased shapes, scanline contour fills, blurs,
// halftone, grain and resampling. Plain float arithmetic, single-threaded per
// canvas, so every image is reproducible bit for bit.
#include "datagen.h"

#include <algorithm>
#include <cmath>

uint32_t Rng::next()
{
    // splitmix64
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return static_cast<uint32_t>((z ^ (z >> 31)) >> 32);
}

float Rng::uniform() { return static_cast<float>(next() >> 8) * (1.0f / 16777216.0f); }
float Rng::range(float lo, float hi) { return lo + (hi - lo) * uniform(); }

static uint32_t hash3(int x, int y, uint32_t seed)
{
    uint32_t h = seed * 0x27D4EB2Du ^ static_cast<uint32_t>(x) * 0x85EBCA6Bu ^ static_cast<uint32_t>(y) * 0xC2B2AE35u;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}

static float lattice(int x, int y, uint32_t seed, int period)
{
    if (period > 0) {
        x = ((x % period) + period) % period;
        y = ((y % period) + period) % period;
    }
    return static_cast<float>(hash3(x, y, seed) >> 8) * (1.0f / 16777215.0f);
}

float value_noise(float x, float y, uint32_t seed, int period)
{
    float fx = std::floor(x), fy = std::floor(y);
    int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
    float tx = x - fx, ty = y - fy;
    tx = tx * tx * (3 - 2 * tx);
    ty = ty * ty * (3 - 2 * ty);
    float a = lattice(ix, iy, seed, period), b = lattice(ix + 1, iy, seed, period);
    float c = lattice(ix, iy + 1, seed, period), d = lattice(ix + 1, iy + 1, seed, period);
    return (a + (b - a) * tx) + ((c + (d - c) * tx) - (a + (b - a) * tx)) * ty;
}

float fbm(float x, float y, uint32_t seed, int octaves, int period)
{
    float sum = 0, amp = 1, norm = 0;
    for (int i = 0; i < octaves; ++i) {
        sum += amp * value_noise(x, y, seed + static_cast<uint32_t>(i) * 101u, period);
        norm += amp;
        amp *= 0.5f;
        x *= 2;
        y *= 2;
        if (period > 0)
            period *= 2;
    }
    return sum / norm;
}

Rgba rgb(uint32_t hex, float alpha)
{
    return Rgba{static_cast<float>((hex >> 16) & 255) / 255.0f, static_cast<float>((hex >> 8) & 255) / 255.0f,
                static_cast<float>(hex & 255) / 255.0f, alpha};
}

Rgba mix(const Rgba& a, const Rgba& b, float t)
{
    return Rgba{a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}

Rgba scaled(const Rgba& c, float k) { return Rgba{c.r * k, c.g * k, c.b * k, c.a}; }

namespace palette {
const Rgba ink = rgb(0x140E0A);
const Rgba sepia_dark = rgb(0x3B2414);
const Rgba sepia = rgb(0x8A5A32);
const Rgba sepia_light = rgb(0xC8A070);
const Rgba paper = rgb(0xECDDBE);
const Rgba gold = rgb(0xD9A640);
const Rgba gold_light = rgb(0xF7DC8C);
const Rgba blue_dark = rgb(0x0E1A33);
const Rgba blue = rgb(0x2E5C99);
const Rgba blue_light = rgb(0x8DB6E0);
const Rgba white = rgb(0xFFFFFF);

Rgba ramp(float t)
{
    t = std::clamp(t, 0.0f, 1.0f);
    static const Rgba stops[] = {blue_dark, blue, sepia_dark, sepia, gold, gold_light};
    float f = t * 5;
    int i = std::min(4, static_cast<int>(f));
    return mix(stops[i], stops[i + 1], f - static_cast<float>(i));
}
} // namespace palette

Canvas::Canvas(int width, int height, Rgba fill) : w(width), h(height), px(static_cast<size_t>(width) * height, fill) {}

Rgba Canvas::sample(float x, float y, bool wrap) const
{
    x -= 0.5f;
    y -= 0.5f;
    float fx = std::floor(x), fy = std::floor(y);
    int x0 = static_cast<int>(fx), y0 = static_cast<int>(fy);
    float tx = x - fx, ty = y - fy;
    auto get = [&](int xx, int yy) {
        if (wrap) {
            xx = ((xx % w) + w) % w;
            yy = ((yy % h) + h) % h;
        } else {
            xx = std::clamp(xx, 0, w - 1);
            yy = std::clamp(yy, 0, h - 1);
        }
        return at(xx, yy);
    };
    Rgba a = mix(get(x0, y0), get(x0 + 1, y0), tx);
    Rgba b = mix(get(x0, y0 + 1), get(x0 + 1, y0 + 1), tx);
    return mix(a, b, ty);
}

void blend_pixel(Canvas& c, int x, int y, const Rgba& colour, float k)
{
    if (x < 0 || y < 0 || x >= c.w || y >= c.h || k <= 0)
        return;
    Rgba& d = c.at(x, y);
    float sa = colour.a * std::min(k, 1.0f);
    float oa = sa + d.a * (1 - sa);
    if (oa <= 0) {
        d = Rgba{0, 0, 0, 0};
        return;
    }
    d.r = (colour.r * sa + d.r * d.a * (1 - sa)) / oa;
    d.g = (colour.g * sa + d.g * d.a * (1 - sa)) / oa;
    d.b = (colour.b * sa + d.b * d.a * (1 - sa)) / oa;
    d.a = oa;
}

void fill(Canvas& c, const Rgba& colour) { std::fill(c.px.begin(), c.px.end(), colour); }

void gradient_vertical(Canvas& c, const Rgba& top, const Rgba& bottom)
{
    for (int y = 0; y < c.h; ++y) {
        Rgba col = mix(top, bottom, c.h > 1 ? static_cast<float>(y) / static_cast<float>(c.h - 1) : 0.0f);
        for (int x = 0; x < c.w; ++x)
            c.at(x, y) = col;
    }
}

void fill_ellipse(Canvas& c, float cx, float cy, float rx, float ry, const Rgba& colour, float soft)
{
    int x0 = std::max(0, static_cast<int>(cx - rx - soft - 1)), x1 = std::min(c.w - 1, static_cast<int>(cx + rx + soft + 1));
    int y0 = std::max(0, static_cast<int>(cy - ry - soft - 1)), y1 = std::min(c.h - 1, static_cast<int>(cy + ry + soft + 1));
    float r = std::min(rx, ry);
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            float dx = (static_cast<float>(x) + 0.5f - cx) / rx, dy = (static_cast<float>(y) + 0.5f - cy) / ry;
            float d = (std::sqrt(dx * dx + dy * dy) - 1) * r; // approx. distance in pixels
            float k = std::clamp(0.5f - d / soft, 0.0f, 1.0f);
            blend_pixel(c, x, y, colour, k);
        }
}

void fill_circle(Canvas& c, float cx, float cy, float r, const Rgba& colour, float soft)
{
    fill_ellipse(c, cx, cy, r, r, colour, soft);
}

void draw_line(Canvas& c, float x0, float y0, float x1, float y1, float width, const Rgba& colour)
{
    float hw = width * 0.5f;
    int bx0 = std::max(0, static_cast<int>(std::min(x0, x1) - hw - 2)), bx1 = std::min(c.w - 1, static_cast<int>(std::max(x0, x1) + hw + 2));
    int by0 = std::max(0, static_cast<int>(std::min(y0, y1) - hw - 2)), by1 = std::min(c.h - 1, static_cast<int>(std::max(y0, y1) + hw + 2));
    float dx = x1 - x0, dy = y1 - y0, len2 = dx * dx + dy * dy;
    for (int y = by0; y <= by1; ++y)
        for (int x = bx0; x <= bx1; ++x) {
            float px = static_cast<float>(x) + 0.5f - x0, py = static_cast<float>(y) + 0.5f - y0;
            float t = len2 > 0 ? std::clamp((px * dx + py * dy) / len2, 0.0f, 1.0f) : 0.0f;
            float ex = px - t * dx, ey = py - t * dy;
            float d = std::sqrt(ex * ex + ey * ey) - hw;
            blend_pixel(c, x, y, colour, std::clamp(0.5f - d, 0.0f, 1.0f));
        }
}

void fill_rect(Canvas& c, float x0, float y0, float x1, float y1, const Rgba& colour)
{
    fill_polygon(c, {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}, colour);
}

std::vector<float> contour_mask(int w, int h, const std::vector<Contour>& contours)
{
    std::vector<float> mask(static_cast<size_t>(w) * h, 0.0f);
    const int sub = 4;
    std::vector<float> xs;
    std::vector<float> row(static_cast<size_t>(w) + 1);
    for (int y = 0; y < h; ++y) {
        std::fill(row.begin(), row.end(), 0.0f);
        bool any = false;
        for (int s = 0; s < sub; ++s) {
            float sy = static_cast<float>(y) + (static_cast<float>(s) + 0.5f) / sub;
            xs.clear();
            for (const Contour& ct : contours) {
                size_t n = ct.size();
                for (size_t i = 0; i < n; ++i) {
                    Point2 a = ct[i], b = ct[(i + 1) % n];
                    if ((a.y <= sy && b.y > sy) || (b.y <= sy && a.y > sy))
                        xs.push_back(a.x + (sy - a.y) / (b.y - a.y) * (b.x - a.x));
                }
            }
            std::sort(xs.begin(), xs.end());
            for (size_t i = 0; i + 1 < xs.size(); i += 2) {
                float xa = std::clamp(xs[i], 0.0f, static_cast<float>(w)), xb = std::clamp(xs[i + 1], 0.0f, static_cast<float>(w));
                if (xb <= xa)
                    continue;
                any = true;
                int ia = static_cast<int>(xa), ib = static_cast<int>(xb);
                if (ia == ib) {
                    row[ia] += (xb - xa) / sub;
                    continue;
                }
                row[ia] += (static_cast<float>(ia + 1) - xa) / sub;
                for (int x = ia + 1; x < ib; ++x)
                    row[x] += 1.0f / sub;
                if (ib < w)
                    row[ib] += (xb - static_cast<float>(ib)) / sub;
            }
        }
        if (any)
            for (int x = 0; x < w; ++x)
                mask[static_cast<size_t>(y) * w + x] = std::min(1.0f, row[x]);
    }
    return mask;
}

void paint_mask(Canvas& c, const std::vector<float>& mask, const Rgba& colour)
{
    for (int y = 0; y < c.h; ++y)
        for (int x = 0; x < c.w; ++x) {
            float k = mask[static_cast<size_t>(y) * c.w + x];
            if (k > 0)
                blend_pixel(c, x, y, colour, k);
        }
}

void fill_contours(Canvas& c, const std::vector<Contour>& contours, const Rgba& colour)
{
    paint_mask(c, contour_mask(c.w, c.h, contours), colour);
}

void fill_polygon(Canvas& c, const Contour& points, const Rgba& colour) { fill_contours(c, {points}, colour); }

template <typename T, typename Add, typename Scale>
static void blur_line(std::vector<T>& data, int count, int stride, size_t start, int radius, Add add, Scale scale, std::vector<T>& tmp,
                      T zero)
{
    tmp.resize(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        T sum = zero;
        for (int k = -radius; k <= radius; ++k) {
            int j = std::clamp(i + k, 0, count - 1);
            sum = add(sum, data[start + static_cast<size_t>(j) * stride]);
        }
        tmp[static_cast<size_t>(i)] = scale(sum, 1.0f / static_cast<float>(2 * radius + 1));
    }
    for (int i = 0; i < count; ++i)
        data[start + static_cast<size_t>(i) * stride] = tmp[static_cast<size_t>(i)];
}

void box_blur(Canvas& c, int radius, int passes)
{
    // Blur premultiplied values so transparent pixels do not bleed black.
    for (Rgba& p : c.px) {
        p.r *= p.a;
        p.g *= p.a;
        p.b *= p.a;
    }
    auto add = [](Rgba s, const Rgba& p) {
        s.r += p.r;
        s.g += p.g;
        s.b += p.b;
        s.a += p.a;
        return s;
    };
    auto scale = [](Rgba s, float k) { return Rgba{s.r * k, s.g * k, s.b * k, s.a * k}; };
    std::vector<Rgba> tmp;
    for (int p = 0; p < passes; ++p) {
        for (int y = 0; y < c.h; ++y)
            blur_line(c.px, c.w, 1, static_cast<size_t>(y) * c.w, radius, add, scale, tmp, Rgba{0, 0, 0, 0});
        for (int x = 0; x < c.w; ++x)
            blur_line(c.px, c.h, c.w, static_cast<size_t>(x), radius, add, scale, tmp, Rgba{0, 0, 0, 0});
    }
    for (Rgba& p : c.px)
        if (p.a > 1e-6f) {
            p.r /= p.a;
            p.g /= p.a;
            p.b /= p.a;
        }
}

void blur_mask(std::vector<float>& mask, int w, int h, int radius, int passes)
{
    auto add = [](float s, float p) { return s + p; };
    auto scale = [](float s, float k) { return s * k; };
    std::vector<float> tmp;
    for (int p = 0; p < passes; ++p) {
        for (int y = 0; y < h; ++y)
            blur_line(mask, w, 1, static_cast<size_t>(y) * w, radius, add, scale, tmp, 0.0f);
        for (int x = 0; x < w; ++x)
            blur_line(mask, h, w, static_cast<size_t>(x), radius, add, scale, tmp, 0.0f);
    }
}

void halftone(Canvas& c, const std::vector<float>& darkness, float cell, float angle, const Rgba& ink)
{
    float ca = std::cos(angle), sa = std::sin(angle);
    for (int y = 0; y < c.h; ++y)
        for (int x = 0; x < c.w; ++x) {
            float px = static_cast<float>(x) + 0.5f, py = static_cast<float>(y) + 0.5f;
            // Position in the rotated dot grid.
            float u = (px * ca + py * sa) / cell, v = (-px * sa + py * ca) / cell;
            float fu = u - std::floor(u) - 0.5f, fv = v - std::floor(v) - 0.5f;
            // Darkness at the dot centre decides the dot radius (area ~ darkness).
            float cu = std::floor(u) + 0.5f, cv = std::floor(v) + 0.5f;
            float cx = (cu * ca - cv * sa) * cell, cy = (cu * sa + cv * ca) * cell;
            int sx = std::clamp(static_cast<int>(cx), 0, c.w - 1), sy = std::clamp(static_cast<int>(cy), 0, c.h - 1);
            float dk = std::clamp(darkness[static_cast<size_t>(sy) * c.w + sx], 0.0f, 1.0f);
            float r = std::sqrt(dk / 3.14159265f) * 1.13f; // in cells
            float d = (std::sqrt(fu * fu + fv * fv) - r) * cell;
            blend_pixel(c, x, y, ink, std::clamp(0.5f - d, 0.0f, 1.0f));
        }
}

void vignette(Canvas& c, float strength)
{
    for (int y = 0; y < c.h; ++y)
        for (int x = 0; x < c.w; ++x) {
            float dx = (static_cast<float>(x) + 0.5f) / static_cast<float>(c.w) * 2 - 1;
            float dy = (static_cast<float>(y) + 0.5f) / static_cast<float>(c.h) * 2 - 1;
            float k = 1 - strength * std::pow(std::min(1.0f, (dx * dx + dy * dy) * 0.5f), 1.5f);
            Rgba& p = c.at(x, y);
            p = scaled(p, k);
        }
}

void add_grain(Canvas& c, float amount, uint32_t seed)
{
    Rng rng(seed);
    for (Rgba& p : c.px) {
        float n = (rng.uniform() - 0.5f) * 2 * amount;
        p.r = std::clamp(p.r + n, 0.0f, 1.0f);
        p.g = std::clamp(p.g + n, 0.0f, 1.0f);
        p.b = std::clamp(p.b + n, 0.0f, 1.0f);
    }
}

void feather_edges(Canvas& c, float border)
{
    for (int y = 0; y < c.h; ++y)
        for (int x = 0; x < c.w; ++x) {
            float d = std::min(std::min(static_cast<float>(x) + 0.5f, static_cast<float>(c.w - x) - 0.5f),
                               std::min(static_cast<float>(y) + 0.5f, static_cast<float>(c.h - y) - 0.5f));
            float k = std::clamp(d / border, 0.0f, 1.0f);
            c.at(x, y).a *= k * k * (3 - 2 * k);
        }
}

Canvas resize(const Canvas& src, int w, int h)
{
    Canvas out(w, h);
    float sx = static_cast<float>(src.w) / static_cast<float>(w), sy = static_cast<float>(src.h) / static_cast<float>(h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            out.at(x, y) = src.sample((static_cast<float>(x) + 0.5f) * sx, (static_cast<float>(y) + 0.5f) * sy, false);
    return out;
}

void compensate_alpha_blend(Canvas& c)
{
    for (Rgba& p : c.px) {
        if (p.a <= 0.0f || p.a >= 1.0f)
            continue;
        p.r = std::min(1.0f, p.r / p.a);
        p.g = std::min(1.0f, p.g / p.a);
        p.b = std::min(1.0f, p.b / p.a);
    }
}
