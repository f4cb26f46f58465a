// The yardstick's workload and its scalar walk (yardstick.h): every pixel of
// a triangle's box tested against the three edge functions in 64-bit
// integers, the depth interpolated and divided per covered pixel. Written
// for plainness, not speed; keep it as it is.
#include "yardstick/yardstick.h"

#include <algorithm>
#include <chrono>
#include <vector>
#if defined(__linux__)
#include <time.h>
#endif

namespace
{

enum { WIDTH = 640, HEIGHT = 480 };

struct Lcg {
    uint32_t s;
    uint32_t next() { return s = s * 1664525u + 1013904223u; }
    uint32_t below(uint32_t n) { return static_cast<uint32_t>((static_cast<uint64_t>(next()) * n) >> 32); }
};

int64_t cross(const YardstickTriangle& t)
{
    const int64_t x0 = t.x[0], y0 = t.y[0];
    return (int64_t{t.x[1]} - x0) * (int64_t{t.y[2]} - y0) - (int64_t{t.x[2]} - x0) * (int64_t{t.y[1]} - y0);
}

std::vector<YardstickTriangle> make_triangles()
{
    // Seed 1, half box R = 13 pixels, 22 draws per triangle in this order.
    Lcg r{1};
    const uint32_t R = 13 * 32;
    std::vector<YardstickTriangle> out(YARDSTICK_TRIANGLES);
    for (YardstickTriangle& t : out) {
        const uint32_t cx = R + r.below(20480 - 2 * R + 1), cy = R + r.below(15360 - 2 * R + 1);
        for (int k = 0; k < 3; k++) {
            t.x[k] = static_cast<int32_t>(cx - R + r.below(2 * R + 1));
            t.y[k] = static_cast<int32_t>(cy - R + r.below(2 * R + 1));
        }
        for (int k = 0; k < 3; k++)
            t.z[k] = static_cast<int32_t>(r.below(1u << 24));
        for (int k = 0; k < 3; k++)
            t.colour[k] = 0xFF000000u | r.below(1u << 24);
        const uint32_t ub = r.below(8192), vb = r.below(8192);
        for (int k = 0; k < 3; k++) {
            t.u[k] = ub + r.below(2 * R + 1);
            t.v[k] = vb + r.below(2 * R + 1);
        }
        if (cross(t) < 0) {
            std::swap(t.x[1], t.x[2]);
            std::swap(t.y[1], t.y[2]);
            std::swap(t.z[1], t.z[2]);
            std::swap(t.colour[1], t.colour[2]);
            std::swap(t.u[1], t.u[2]);
            std::swap(t.v[1], t.v[2]);
        }
    }
    return out;
}

// This thread's processor time in milliseconds (0 where there is no such clock).
double thread_ms()
{
#if defined(__linux__)
    timespec ts;
    if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts) == 0)
        return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
#endif
    return 0.0;
}

uint32_t fnv(uint32_t h, uint32_t word)
{
    return (h ^ word) * 16777619u;
}

// Edge k from vertex k to vertex k + 1 at point (px, py), all in 1/32 pixel:
// positive inside a clockwise triangle.
int64_t edge(const YardstickTriangle& t, int k, int64_t px, int64_t py)
{
    const int n = (k + 1) % 3;
    return (int64_t{t.x[n]} - t.x[k]) * (py - t.y[k]) - (int64_t{t.y[n]} - t.y[k]) * (px - t.x[k]);
}

void draw(const YardstickTriangle& t, uint32_t* pixels, int32_t* depths, int64_t* written)
{
    const int64_t area = cross(t);
    if (area <= 0)
        return;
    // The box in pixels; a pixel is sampled at its centre.
    const int32_t x0 = std::max(0, std::min({t.x[0], t.x[1], t.x[2]}) / 32);
    const int32_t x1 = std::min(WIDTH - 1, std::max({t.x[0], t.x[1], t.x[2]}) / 32);
    const int32_t y0 = std::max(0, std::min({t.y[0], t.y[1], t.y[2]}) / 32);
    const int32_t y1 = std::min(HEIGHT - 1, std::max({t.y[0], t.y[1], t.y[2]}) / 32);
    for (int32_t y = y0; y <= y1; y++) {
        for (int32_t x = x0; x <= x1; x++) {
            const int64_t px = int64_t{x} * 32 + 16, py = int64_t{y} * 32 + 16;
            // Weight of vertex k: the edge opposite it.
            const int64_t w2 = edge(t, 0, px, py), w0 = edge(t, 1, px, py), w1 = edge(t, 2, px, py);
            if (w0 < 0 || w1 < 0 || w2 < 0)
                continue;
            const int32_t z = static_cast<int32_t>((w0 * t.z[0] + w1 * t.z[1] + w2 * t.z[2]) / area);
            int32_t& d = depths[y * WIDTH + x];
            if (z < d) {
                d = z;
                pixels[y * WIDTH + x] = t.colour[0];
                ++*written;
            }
        }
    }
}

} // namespace

const YardstickTriangle* yardstick_triangles()
{
    static const std::vector<YardstickTriangle> triangles = make_triangles();
    return triangles.data();
}

uint32_t yardstick_triangle_hash()
{
    const YardstickTriangle* t = yardstick_triangles();
    uint32_t h = 2166136261u;
    for (int32_t i = 0; i < YARDSTICK_TRIANGLES; i++)
        for (int k = 0; k < 3; k++)
            for (uint32_t word : {static_cast<uint32_t>(t[i].x[k]), static_cast<uint32_t>(t[i].y[k]),
                                  static_cast<uint32_t>(t[i].z[k]), t[i].colour[k], t[i].u[k], t[i].v[k]})
                h = fnv(h, word);
    return h;
}

uint32_t yardstick_frame(int64_t* written)
{
    static std::vector<uint32_t> pixels(size_t{WIDTH} * HEIGHT);
    static std::vector<int32_t> depths(size_t{WIDTH} * HEIGHT);
    std::fill(pixels.begin(), pixels.end(), 0xFF000000u);
    std::fill(depths.begin(), depths.end(), 0x7fffffff);
    const YardstickTriangle* t = yardstick_triangles();
    int64_t count = 0;
    for (int32_t i = 0; i < YARDSTICK_TRIANGLES; i++)
        draw(t[i], pixels.data(), depths.data(), &count);
    if (written)
        *written = count;
    uint32_t h = 2166136261u;
    for (uint32_t p : pixels)
        h = fnv(h, p);
    return h;
}

double yardstick_measure(int32_t frames, double* cpu_ms)
{
    frames = std::max(frames, 1);
    yardstick_frame(nullptr);
    std::vector<double> wall, cpu;
    for (int32_t i = 0; i < frames; i++) {
        const auto start = std::chrono::steady_clock::now();
        const double cpu_start = thread_ms();
        yardstick_frame(nullptr);
        cpu.push_back(thread_ms() - cpu_start);
        const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        wall.push_back(took.count());
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    if (cpu_ms)
        *cpu_ms = cpu[cpu.size() / 2] > 0.0 ? cpu[cpu.size() / 2] : wall[wall.size() / 2];
    return wall[wall.size() / 2];
}
