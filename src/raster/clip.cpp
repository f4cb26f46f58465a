// Sutherland-Hodgman clipping of MeshVertex polygons: the camera-space near
// plane and the four pixel-space window edges, with the clip state they read.
// Relies on raster_internal.h (MeshVertex from scene/mesh.h).
#include "raster/raster_internal.h"

#include <cmath>

static float clip_near_z = -1.0f;
static float clip_far_z = -1024.0f; // stored only: nothing clips against it
static float clip_min_x = 0.0f;
static float clip_min_y = 0.0f;
static float clip_max_x = 640.0f;
static float clip_max_y = 480.0f;

void set_depth_clip(float near, float far)
{
    clip_near_z = -near;
    clip_far_z = -far;
    (void)clip_far_z;
}

void set_clip_window(float x, float y, float width, float height)
{
    clip_min_x = x;
    clip_min_y = y;
    clip_max_x = x + width;
    clip_max_y = y + height;
}

void get_clip_window(float* min_x, float* min_y, float* max_x, float* max_y)
{
    if (min_x)
        *min_x = clip_min_x;
    if (min_y)
        *min_y = clip_min_y;
    if (max_x)
        *max_x = clip_max_x;
    if (max_y)
        *max_y = clip_max_y;
}

void raster_reset_state()
{
    raster_share_close_all();
    set_depth_clip(1.0f, 1024.0f);
    set_clip_window(0.0f, 0.0f, 640.0f, 480.0f);
    set_environment_texture(nullptr);
    set_bump_texture(nullptr);
    set_offset_texture(nullptr);
}

// One byte of a colour: trunc(value + 0.5), clamped to 0..255.
static uint32_t colour_byte(float value)
{
    double r = static_cast<double>(value) + 0.5;
    if (!(r > 0.0))
        return 0;
    if (r >= 255.0)
        return 255;
    return static_cast<uint32_t>(r);
}

static uint32_t lerp_colour(uint32_t a, uint32_t b, float t)
{
    uint32_t out = 0;
    for (int s = 0; s < 32; s += 8) {
        float ca = static_cast<float>((a >> s) & 0xFFu), cb = static_cast<float>((b >> s) & 0xFFu);
        out |= colour_byte(ca + (cb - ca) * t) << s;
    }
    return out;
}

static uint32_t lerp_colour_clamped(uint32_t a, uint32_t b, float dc, float along)
{
    uint32_t out = 0;
    for (int s = 0; s < 32; s += 8) {
        float ca = static_cast<float>((a >> s) & 0xFFu), cb = static_cast<float>((b >> s) & 0xFFu);
        float slope = dc != 0.0f ? (cb - ca) / dc : 0.0f;
        out |= colour_byte(ca + slope * along) << s;
    }
    return out;
}

static void near_intersection(const MeshVertex& cur, const MeshVertex& next, bool leaving, MeshVertex* out)
{
    const float n = clip_near_z;
    float den = next.tz - cur.tz;
    float t = den == 0.0f ? 1.0f : (n - cur.tz) / den;
    *out = leaving ? next : cur; // object position and u2, v2 of the outside end
    out->tx = cur.tx + (next.tx - cur.tx) * t;
    out->ty = cur.ty + (next.ty - cur.ty) * t;
    out->tw = cur.tw + (next.tw - cur.tw) * t;
    out->u = cur.u + (next.u - cur.u) * t;
    out->v = cur.v + (next.v - cur.v) * t;
    out->tz = n;
    out->colour = lerp_colour(cur.colour, next.colour, t);
}

// Window edge on coordinate C (tx or ty) at value p; O is the other coordinate.
template <float MeshVertex::*C, float MeshVertex::*O>
static void window_intersection(const MeshVertex& cur, const MeshVertex& next, bool leaving, float p,
                                MeshVertex* out)
{
    *out = leaving ? next : cur;
    float dc = next.*C - cur.*C;
    float along = p - cur.*C;
    auto slope = [dc](float a, float b) { return dc != 0.0f ? (b - a) / dc : 0.0f; };
    float d_other = next.*O - cur.*O;
    out->*O = d_other == 0.0f ? cur.*O : cur.*O + along * slope(cur.*O, next.*O);
    out->tz = cur.tz + along * slope(cur.tz, next.tz);
    out->tw = cur.tw + along * slope(cur.tw, next.tw);
    out->u = cur.u + along * slope(cur.u, next.u);
    out->v = cur.v + along * slope(cur.v, next.v);
    out->*C = p;
    out->colour = lerp_colour_clamped(cur.colour, next.colour, dc, along);
}

// The common walk: for each edge cur -> next emit next when it is inside, and
// the intersection when the edge crosses the plane (before next when entering).
template <class Inside, class Intersect>
static int32_t clip_polygon(const MeshVertex* in, int32_t n, MeshVertex* out, Inside inside,
                            Intersect intersect)
{
    if (!in || !out || n <= 0 || n > CLIP_BUFFER_SIZE)
        return 0;
    for (int32_t i = 0; i < n; i++)
        if (!std::isfinite(in[i].tx) || !std::isfinite(in[i].ty) || !std::isfinite(in[i].tz))
            return 0;
    int32_t m = 0;
    for (int32_t i = 0; i < n; i++) {
        const MeshVertex& cur = in[i];
        const MeshVertex& next = in[i + 1 == n ? 0 : i + 1];
        bool cur_in = inside(cur), next_in = inside(next);
        if (cur_in && next_in) {
            if (m < CLIP_BUFFER_SIZE)
                out[m++] = next;
        } else if (cur_in) {
            if (m < CLIP_BUFFER_SIZE)
                intersect(cur, next, true, &out[m++]);
        } else if (next_in) {
            if (m < CLIP_BUFFER_SIZE)
                intersect(cur, next, false, &out[m++]);
            if (m < CLIP_BUFFER_SIZE)
                out[m++] = next;
        }
    }
    return m;
}

int32_t clip_near(const MeshVertex* in, int32_t n, MeshVertex* out)
{
    const float z = clip_near_z;
    return clip_polygon(
        in, n, out, [z](const MeshVertex& v) { return v.tz <= z; },
        [](const MeshVertex& a, const MeshVertex& b, bool leaving, MeshVertex* o) {
            near_intersection(a, b, leaving, o);
        });
}

int32_t clip_left(const MeshVertex* in, int32_t n, MeshVertex* out)
{
    const float p = clip_min_x;
    return clip_polygon(
        in, n, out, [p](const MeshVertex& v) { return v.tx >= p; },
        [p](const MeshVertex& a, const MeshVertex& b, bool leaving, MeshVertex* o) {
            window_intersection<&MeshVertex::tx, &MeshVertex::ty>(a, b, leaving, p, o);
        });
}

int32_t clip_right(const MeshVertex* in, int32_t n, MeshVertex* out)
{
    const float p = clip_max_x;
    return clip_polygon(
        in, n, out, [p](const MeshVertex& v) { return v.tx <= p; },
        [p](const MeshVertex& a, const MeshVertex& b, bool leaving, MeshVertex* o) {
            window_intersection<&MeshVertex::tx, &MeshVertex::ty>(a, b, leaving, p, o);
        });
}

int32_t clip_top(const MeshVertex* in, int32_t n, MeshVertex* out)
{
    const float p = clip_min_y;
    return clip_polygon(
        in, n, out, [p](const MeshVertex& v) { return v.ty >= p; },
        [p](const MeshVertex& a, const MeshVertex& b, bool leaving, MeshVertex* o) {
            window_intersection<&MeshVertex::ty, &MeshVertex::tx>(a, b, leaving, p, o);
        });
}

int32_t clip_bottom(const MeshVertex* in, int32_t n, MeshVertex* out)
{
    const float p = clip_max_y;
    return clip_polygon(
        in, n, out, [p](const MeshVertex& v) { return v.ty <= p; },
        [p](const MeshVertex& a, const MeshVertex& b, bool leaving, MeshVertex* o) {
            window_intersection<&MeshVertex::ty, &MeshVertex::tx>(a, b, leaving, p, o);
        });
}

float clip_near_plane()
{
    return clip_near_z;
}

ClipWindow clip_window_bounds()
{
    return ClipWindow{clip_min_x, clip_min_y, clip_max_x, clip_max_y};
}
