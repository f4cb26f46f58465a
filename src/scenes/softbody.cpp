// Soft bodies of points and springs built from images, their Verlet step and
// their outlined drawing, and the segment clipper they draw through. Relies
// on the PNG loader (image/), the clip window (raster/), the screen line of
// the overlays and core's single-precision helpers.
#include "scenes/softbody.h"

#include "core/core.h"
#include "image/texture.h"
#include "image/line.h"
#include "platform/paths.h"
#include "raster/raster.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace
{

constexpr uint32_t OPAQUE_BLACK = 0xff000000u;
constexpr uint32_t OUTLINE_COLOUR = 0xff000000u;
constexpr uint32_t STROKE_COLOUR = 0xffffffffu;
constexpr float BUILT_TIME_STEP = 0.033333335f; // 1/30 s
constexpr float BUILT_GRAVITY_Y = 64.0f;
constexpr float POINT_RADIUS = 4.0f;
// Pixels of one image at most; larger images are refused.
constexpr int64_t MAX_PIXELS = int64_t(1) << 24;
// Screen coordinates are kept within this before they become integers, so a
// body flung far away still converts and offsets without overflow.
constexpr float COORDINATE_LIMIT = 1.0e7f;

SoftBody* body_allocate(int32_t points, int32_t links)
{
    const size_t size = sizeof(SoftBody) + 2 * static_cast<size_t>(points) * sizeof(SoftPoint) +
                        static_cast<size_t>(links) * sizeof(SoftLink);
    SoftBody* body = static_cast<SoftBody*>(std::calloc(1, size));
    if (!body)
        return nullptr;
    SoftPoint* point_block = reinterpret_cast<SoftPoint*>(body + 1);
    body->point_count = points;
    body->points = point_block;
    body->start = point_block + points;
    body->link_count = links;
    body->links = reinterpret_cast<SoftLink*>(point_block + 2 * static_cast<size_t>(points));
    body->circle_count = 0;
    body->circles = nullptr;
    body->gravity_x = 0.0f;
    body->gravity_y = BUILT_GRAVITY_Y;
    body->time_step = BUILT_TIME_STEP;
    return body;
}

float link_length(const SoftPoint& a, const SoftPoint& b)
{
    const float dx = b.x - a.x;
    const float dy = b.y - a.y;
    return core_sqrt(dx * dx + dy * dy);
}

// floor(v + 0.5) as an integer, v kept within the coordinate limit first.
int32_t round_coordinate(float v)
{
    if (!(v >= -COORDINATE_LIMIT)) // NaN too
        v = -COORDINATE_LIMIT;
    if (v > COORDINATE_LIMIT)
        v = COORDINATE_LIMIT;
    return float_to_int(core_floor(v + 0.5f));
}

void keep_out_of_circles(const SoftBody* body, SoftPoint* p)
{
    for (int32_t c = 0; c < body->circle_count; ++c) {
        const SoftCircle& circle = body->circles[c];
        const float dx = p->x - circle.x;
        const float dy = p->y - circle.y;
        const float d = core_sqrt(dx * dx + dy * dy);
        if (d < circle.radius && d > 0.0f) {
            p->x = circle.x + dx / d * circle.radius;
            p->y = circle.y + dy / d * circle.radius;
        }
    }
}

void satisfy_constraints(SoftBody* body)
{
    for (int32_t i = 0; i < body->point_count; ++i) {
        SoftPoint* p = &body->points[i];
        if (p->pinned)
            continue;
        if (p->y < 0.0f)
            p->y = 0.0f;
        if (p->y > static_cast<float>(SOFTBODY_FLOOR))
            p->y = static_cast<float>(SOFTBODY_FLOOR);
        keep_out_of_circles(body, p);
    }
    for (int32_t i = 0; i < body->link_count; ++i) {
        const SoftLink& link = body->links[i];
        SoftPoint* a = &body->points[link.a];
        SoftPoint* b = &body->points[link.b];
        const float dx = b->x - a->x;
        const float dy = b->y - a->y;
        const float length = core_sqrt(dx * dx + dy * dy);
        // A link whose ends meet (a one-pixel stroke pressed flat) has no
        // direction to correct along.
        if (!(length > 0.0f))
            continue;
        const float k = (length - link.rest) / length;
        if (!a->pinned) {
            a->x += 0.5f * k * dx;
            a->y += 0.5f * k * dy;
        }
        if (!b->pinned) {
            b->x -= 0.5f * k * dx;
            b->y -= 0.5f * k * dy;
        }
    }
}

} // namespace

SoftBody* softbody_from_pixels(const uint32_t* pixels, int32_t width, int32_t height, float x, float y,
                               float sx, float sy)
{
    if (width < 0 || height < 0 || static_cast<int64_t>(width) * height > MAX_PIXELS)
        return nullptr;
    // Point index of every pixel (-1 for black), so neighbours are found directly.
    std::vector<int32_t> index(static_cast<size_t>(width) * static_cast<size_t>(height), -1);
    int32_t points = 0;
    for (size_t i = 0; i < index.size(); ++i)
        if (pixels[i] != OPAQUE_BLACK)
            index[i] = points++;
    auto at = [&](int32_t k, int32_t j) {
        return k < width && j < height ? index[static_cast<size_t>(j) * width + k] : -1;
    };

    std::vector<SoftLink> links;
    links.reserve(static_cast<size_t>(points) * 2);
    for (int32_t j = 0; j < height; ++j)
        for (int32_t k = 0; k < width; ++k) {
            const int32_t p = at(k, j);
            if (p < 0)
                continue;
            const int32_t right = at(k + 1, j);
            const int32_t below = at(k, j + 1);
            if (right >= 0)
                links.push_back({p, right, 0.0f});
            if (below >= 0)
                links.push_back({p, below, 0.0f});
            if (right < 0 && below < 0) {
                const int32_t diagonal = at(k + 1, j + 1);
                if (diagonal >= 0)
                    links.push_back({p, diagonal, 0.0f});
            }
        }

    SoftBody* body = body_allocate(points, static_cast<int32_t>(links.size()));
    if (!body)
        return nullptr;
    for (int32_t j = 0; j < height; ++j)
        for (int32_t k = 0; k < width; ++k) {
            const int32_t p = at(k, j);
            if (p < 0)
                continue;
            SoftPoint& point = body->points[p];
            point.x = static_cast<float>(k) * sx + x;
            point.y = static_cast<float>(j) * sy + y;
            point.previous_x = point.x;
            point.previous_y = point.y;
            point.radius = POINT_RADIUS;
            point.pinned = 1;
        }
    for (size_t i = 0; i < links.size(); ++i) {
        SoftLink link = links[i];
        link.rest = link_length(body->points[link.a], body->points[link.b]);
        body->links[i] = link;
        body->points[link.b].pinned = 0;
    }
    std::memcpy(body->start, body->points, static_cast<size_t>(points) * sizeof(SoftPoint));
    return body;
}

SoftBody* softbody_from_image(const char* path, float x, float y, float sx, float sy)
{
    Texture* image = texture_load_png(path, 0);
    if (!image)
        return nullptr;
    SoftBody* body = softbody_from_pixels(image->pixels, image->width, image->height, x, y, sx, sy);
    texture_free(image);
    if (!body)
        path_fail(path, "too many pixels for a soft body, or out of memory");
    return body;
}

void softbody_free(SoftBody* body)
{
    std::free(body);
}

void softbody_reset(SoftBody* body)
{
    std::memcpy(body->points, body->start, static_cast<size_t>(body->point_count) * sizeof(SoftPoint));
}

void softbody_unpin(SoftBody* body)
{
    for (int32_t i = 0; i < body->point_count; ++i)
        body->points[i].pinned = 0;
}

void softbody_step(SoftBody* body)
{
    const float dt2 = body->time_step * body->time_step;
    for (int32_t i = 0; i < body->point_count; ++i) {
        body->points[i].acceleration_x = body->gravity_x;
        body->points[i].acceleration_y = body->gravity_y;
    }
    // Verlet: the step's velocity is what the last step moved.
    for (int32_t i = 1; i < body->point_count; ++i) {
        SoftPoint& p = body->points[i];
        if (p.pinned)
            continue;
        const float x = p.x + (p.x - p.previous_x) + p.acceleration_x * dt2;
        const float y = p.y + (p.y - p.previous_y) + p.acceleration_y * dt2;
        p.previous_x = p.x;
        p.previous_y = p.y;
        p.x = x;
        p.y = y;
    }
    for (int32_t iteration = 0; iteration < 2; ++iteration)
        satisfy_constraints(body);
}

int32_t softbody_draw(const SoftBody* body)
{
    int32_t drawn = 0;
    for (int32_t i = 0; i < body->link_count; ++i) {
        const SoftPoint& a = body->points[body->links[i].a];
        const SoftPoint& b = body->points[body->links[i].b];
        const int32_t ax = round_coordinate(a.x), ay = round_coordinate(a.y);
        const int32_t bx = round_coordinate(b.x), by = round_coordinate(b.y);
        drawn |= clipped_line(ax, ay, bx, by, OUTLINE_COLOUR);
        drawn |= clipped_line(ax + 1, ay + 1, bx + 1, by + 1, STROKE_COLOUR);
        drawn |= clipped_line(ax + 2, ay + 2, bx + 2, by + 2, OUTLINE_COLOUR);
    }
    return drawn ? 0 : 1;
}

int32_t clipped_line(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour)
{
    float min_x, min_y, max_x, max_y;
    get_clip_window(&min_x, &min_y, &max_x, &max_y);
    // Liang-Barsky: the segment is P(t) = P0 + t (P1 - P0), 0 <= t <= 1; each
    // edge i keeps p_i t <= q_i, entering edges (p < 0) raise t0, leaving
    // edges (p > 0) lower t1. Doubles hold every integer difference exactly.
    const double dx = static_cast<double>(x1) - x0;
    const double dy = static_cast<double>(y1) - y0;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x0 - static_cast<double>(min_x), static_cast<double>(max_x) - x0,
                         y0 - static_cast<double>(min_y), static_cast<double>(max_y) - y0};
    double t0 = 0.0, t1 = 1.0;
    for (int32_t i = 0; i < 4; ++i) {
        if (p[i] == 0.0) {
            if (q[i] < 0.0)
                return 0; // parallel to the edge and outside it
            continue;
        }
        const double r = q[i] / p[i];
        if (p[i] < 0.0)
            t0 = r > t0 ? r : t0;
        else
            t1 = r < t1 ? r : t1;
    }
    if (t0 > t1)
        return 0;
    // Round the clipped ends and keep them on the window's whole pixels.
    const double left = std::ceil(min_x), right = std::floor(max_x);
    const double top = std::ceil(min_y), bottom = std::floor(max_y);
    if (left > right || top > bottom)
        return 0;
    auto place = [](double v, double lo, double hi) {
        v = std::floor(v + 0.5);
        return static_cast<int32_t>(v < lo ? lo : v > hi ? hi : v);
    };
    const int32_t cx0 = place(x0 + t0 * dx, left, right), cy0 = place(y0 + t0 * dy, top, bottom);
    const int32_t cx1 = place(x0 + t1 * dx, left, right), cy1 = place(y0 + t1 * dy, top, bottom);
    draw_line(cx0, cy0, cx1, cy1, colour);
    return 1;
}
