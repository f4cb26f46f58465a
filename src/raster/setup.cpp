// Triangle set-up (edge functions in 1/32 pixel, fill rule, area, culling,
// bounding box), attribute interpolants, mip level selection, the texture
// slots and the fill dispatch. Relies on raster_internal.h and core/frame.h.
#include "raster/raster_internal.h"

#include <cmath>
#include <emmintrin.h>

constinit thread_local const Texture* environment_texture = nullptr;
constinit thread_local const Texture* bump_texture = nullptr;
constinit thread_local const Texture* offset_texture = nullptr;

void set_environment_texture(const Texture* texture)
{
    environment_texture = texture;
}
void set_bump_texture(const Texture* texture)
{
    bump_texture = texture;
}
void set_offset_texture(const Texture* texture)
{
    offset_texture = texture;
}

// ---- Mode table ---------------------------------------------------------------
#define FILL_MODE_VALUE(mode, flags, name, family) mode,
const FillMode fill_modes[FILL_MODE_COUNT] = {FILL_MODE_LIST(FILL_MODE_VALUE)};
#undef FILL_MODE_VALUE

const char* fill_mode_name(FillMode mode)
{
    switch (mode) {
#define FILL_MODE_NAME(mode, flags, name, family)                                                            \
    case mode:                                                                                               \
        return name;
        FILL_MODE_LIST(FILL_MODE_NAME)
#undef FILL_MODE_NAME
    }
    return nullptr;
}

FillFunction fill_function(FillMode mode)
{
    switch (mode) {
#define FILL_MODE_FUNCTION(mode, flags, name, family)                                                        \
    case mode:                                                                                               \
        return fill_triangles<mode>;
        FILL_MODE_LIST(FILL_MODE_FUNCTION)
#undef FILL_MODE_FUNCTION
    }
    return nullptr;
}

void draw_triangles(RasterTriangle* triangles, int32_t count, const Texture* texture, FillMode mode)
{
    if (!triangles || count <= 0)
        return;
    FillFunction fill = fill_function(mode);
    if (fill && !raster_share_queue(triangles, count, texture, fill))
        fill(triangles, count, texture);
}

bool raster_target_ready(bool with_depth)
{
    const FrameSurface* s = frame_surface();
    if (!s || !s->pixels || s->w < SCREEN_WIDTH || s->h < SCREEN_HEIGHT || s->pitch != SCREEN_WIDTH * 4)
        return false;
    const DepthBuffer* d = frame_depth();
    if (with_depth && (!d || !d->values || d->width != SCREEN_WIDTH || d->height < SCREEN_HEIGHT))
        return false;
    return true;
}

// ---- Set-up ---------------------------------------------------------------------
using raster_detail::fits32;

namespace
{

// One edge P->Q in 64 bits, as set-up forms it before it checks the ranges.
struct SetupEdge {
    int64_t xs, ys, cs;
};

// Edge P->Q: (yP - yQ) x + (xQ - xP) y + (xP yQ - xQ yP), in 1/32 pixel for
// the constant (hence 2 (XpYq - XqYp) = 2^11 x the pixel-unit constant) and
// shifted left by 6 for the steps, so that both carry the factor 2^11. False
// when a step or the constant does not fit 32 bits.
inline bool setup_edge(int64_t xp, int64_t yp, int64_t xq, int64_t yq, SetupEdge* e)
{
    const int64_t dy = yp - yq, dx = xq - xp;
    e->xs = dy * 64;
    e->ys = dx * 64;
    if (!fits32(e->xs) || !fits32(e->ys))
        return false;
    // |dy|, |dx| < 2^26 here, so the products stay well inside 64 bits.
    e->cs = -(xp + xq) * dy - (yp + yq) * dx;
    // Top-left style fill rule: edges that do not keep their constant lose
    // the pixels lying exactly on them.
    if (!(e->xs > 0 || (e->xs == 0 && e->ys <= 0)))
        e->cs -= 1;
    return fits32(e->cs);
}

// The edge turned for a back face drawn from behind; false when negation
// leaves 32 bits (only INT32_MIN does).
inline bool turn_edge(SetupEdge* e)
{
    if (e->xs == INT32_MIN || e->ys == INT32_MIN || e->cs == INT32_MIN)
        return false;
    e->xs = -e->xs;
    e->ys = -e->ys;
    e->cs = -e->cs;
    return true;
}

inline int32_t direction_of(const SetupEdge& e)
{
    return (e.xs >= 0 ? 8 : 0) + (e.ys >= 0 ? 1 : 0);
}

inline void store_edge(const SetupEdge& e, int32_t direction, EdgeFunction* f)
{
    f->x_step = static_cast<int32_t>(e.xs);
    f->y_step = static_cast<int32_t>(e.ys);
    f->constant = static_cast<int32_t>(e.cs);
    f->direction = direction;
}

} // namespace

// The six coordinates go to 1/32-pixel fixed point in two SSE2 registers: the
// same single-precision product by 32 and truncation as one at a time, and a
// coordinate that is not finite or does not fit 32 bits rejects the triangle.
// Every test that rejects returns 1 whatever its order, so the tests run in
// the order that suits the code (back faces leave before the box is worked
// out); a rejected record's edges are left unspecified.
int32_t setup_triangle(RasterTriangle* t)
{
    const __m128 scale = _mm_set1_ps(32.0f);
    const __m128 xy01 =
        _mm_castsi128_ps(_mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(&t->v[0].x)),
                                            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(&t->v[1].x))));
    const __m128 xy2 = _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(&t->v[2].x)));
    const __m128 s01 = _mm_mul_ps(xy01, scale), s2 = _mm_mul_ps(xy2, scale);
    const __m128 low = _mm_set1_ps(-2147483648.0f), high = _mm_set1_ps(2147483648.0f);
    const int in01 = _mm_movemask_ps(_mm_and_ps(_mm_cmpge_ps(s01, low), _mm_cmplt_ps(s01, high)));
    const int in2 = _mm_movemask_ps(_mm_and_ps(_mm_cmpge_ps(s2, low), _mm_cmplt_ps(s2, high)));
    if (in01 != 15 || (in2 & 3) != 3)
        return 1;
    const __m128i f01 = _mm_cvttps_epi32(s01), f2 = _mm_cvttps_epi32(s2);
    const int64_t X0 = _mm_cvtsi128_si32(f01), Y0 = _mm_cvtsi128_si32(_mm_srli_si128(f01, 4));
    const int64_t X1 = _mm_cvtsi128_si32(_mm_srli_si128(f01, 8)),
                  Y1 = _mm_cvtsi128_si32(_mm_srli_si128(f01, 12));
    const int64_t X2 = _mm_cvtsi128_si32(f2), Y2 = _mm_cvtsi128_si32(_mm_srli_si128(f2, 4));

    SetupEdge e0, e1, e2;
    if (!setup_edge(X0, Y0, X1, Y1, &e0) || !setup_edge(X1, Y1, X2, Y2, &e1) ||
        !setup_edge(X2, Y2, X0, Y0, &e2))
        return 1;
    int64_t area = e0.cs + e1.cs + e2.cs;
    if (!fits32(area))
        return 1;
    if (area >= -15 && area <= 0)
        return 1;
    if (area < 0 && !(t->flags & RASTER_TWO_SIDED))
        return 1;
    // Direction codes and the box from the edges as they are before any turn:
    // bit i of the x code says edge i runs rightwards (x_Q >= x_P), bit i of
    // the y code that it runs upwards; each code names the pair (extreme low
    // vertex, extreme high vertex).
    const int32_t d0 = direction_of(e0), d1 = direction_of(e1), d2 = direction_of(e2);
    const int x_code = (d0 & 1) | (d1 & 1) << 1 | (d2 & 1) << 2;
    const int y_code = (d0 >> 3) | (d1 >> 3) << 1 | (d2 >> 3) << 2;
    if (area < 0) {
        if (!turn_edge(&e0) || !turn_edge(&e1) || !turn_edge(&e2))
            return 1;
        area = -area;
    }
    if (x_code == 0 || x_code == 7 || y_code == 0 || y_code == 7)
        return 1;
    static const int pair_first[7] = {0, 0, 1, 0, 2, 2, 1};
    static const int pair_second[7] = {0, 1, 2, 2, 0, 1, 0};
    int32_t min_x = static_cast<int32_t>(t->v[pair_first[x_code]].x);
    int32_t max_x = static_cast<int32_t>(t->v[pair_second[x_code]].x + 1.0f);
    int32_t max_y = static_cast<int32_t>(t->v[pair_first[y_code]].y + 1.0f);
    int32_t min_y = static_cast<int32_t>(t->v[pair_second[y_code]].y);
    if (min_x < 0)
        min_x = 0;
    if (min_y < 0)
        min_y = 0;
    if (max_x >= SCREEN_WIDTH)
        max_x = SCREEN_WIDTH - 1;
    if (max_y >= SCREEN_HEIGHT)
        max_y = SCREEN_HEIGHT - 1;
    if (min_x > max_x || min_y > max_y)
        return 1;
    if (!fits32(e0.xs * min_x + e0.ys * min_y + e0.cs) || !fits32(e1.xs * min_x + e1.ys * min_y + e1.cs) ||
        !fits32(e2.xs * min_x + e2.ys * min_y + e2.cs))
        return 1;
    store_edge(e0, d0, &t->edges[0]);
    store_edge(e1, d1, &t->edges[1]);
    store_edge(e2, d2, &t->edges[2]);
    t->area = static_cast<int32_t>(area);
    t->min_x = min_x;
    t->min_y = min_y;
    t->max_x = max_x;
    t->max_y = max_y;
    t->inverse_area = static_cast<float>(2048.0 / static_cast<double>(area));
    return 0;
}

namespace
{

// A triangle's edge steps and constants as doubles, converted once for all
// of its attributes.
struct EdgeLanes {
    __m128d steps[3]; // (x_step, y_step) of edges 0, 1, 2
    double constants[3];
};

inline EdgeLanes edge_lanes(const RasterTriangle* t)
{
    EdgeLanes l;
    for (int i = 0; i < 3; i++) {
        const EdgeFunction& f = t->edges[i];
        l.steps[i] = _mm_cvtepi32_pd(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(&f.x_step)));
        l.constants[i] = static_cast<double>(f.constant);
    }
    return l;
}

inline Interpolant interpolant(const RasterTriangle* t, const EdgeLanes& l, float a, float b, float c)
{
    // An edge value over the area is the barycentric weight of the vertex
    // opposite the edge: edge 0 weighs V2, edge 1 V0, edge 2 V1. The x and y
    // gradients share two double lanes; each lane forms (e0 kc + e1 ka) + e2 kb
    // in that order, as the constant does in scalar, so the bits are those of
    // three separate sums.
    const float k = t->inverse_area;
    const float kc = k * c, ka = k * a, kb = k * b;
    const __m128d xy = _mm_add_pd(
        _mm_add_pd(_mm_mul_pd(l.steps[0], _mm_set1_pd(kc)), _mm_mul_pd(l.steps[1], _mm_set1_pd(ka))),
        _mm_mul_pd(l.steps[2], _mm_set1_pd(kb)));
    const double cs = l.constants[0] * kc + l.constants[1] * ka + l.constants[2] * kb;
    // Truncating conversions give INT32_MIN for anything outside the int32
    // range and for NaN, which is double_to_int's rule.
    const __m128i steps_int = _mm_cvttpd_epi32(xy);
    Interpolant out;
    out.x_step = _mm_cvtsi128_si32(steps_int);
    out.y_step = _mm_cvtsi128_si32(_mm_srli_si128(steps_int, 4));
    uint32_t start = static_cast<uint32_t>(out.y_step) * static_cast<uint32_t>(t->min_y) +
                     static_cast<uint32_t>(_mm_cvttsd_si32(_mm_set_sd(cs))) +
                     static_cast<uint32_t>(out.x_step) * static_cast<uint32_t>(t->min_x) + 1024u;
    out.start = static_cast<int32_t>(start);
    return out;
}

} // namespace

Interpolant setup_interpolant(const RasterTriangle* t, float a, float b, float c)
{
    return interpolant(t, edge_lanes(t), a, b, c);
}

int32_t select_mip_level(const RasterTriangle* t)
{
    // S is 2^18 times the triangle's area in texture widths x heights (u, v in
    // 1/32 units and both cross terms shifted by 6); the area is 2^12 times the
    // area in pixels. The ratio of the two areas is therefore |S| / area / 64.
    __int128 s = 0;
    for (int i = 0; i < 3; i++) {
        int j = i == 2 ? 0 : i + 1;
        __int128 ui = float_to_int(t->v[i].u * 32.0f), vi = float_to_int(t->v[i].v * 32.0f);
        __int128 uj = float_to_int(t->v[j].u * 32.0f), vj = float_to_int(t->v[j].v * 32.0f);
        s -= (ui + uj) * ((vi - vj) * 64) + (vi + vj) * ((uj - ui) * 64);
    }
    if (s < 0)
        s = -s;
    static const float thresholds[11] = {2.5f,   5.0f,   10.0f,  20.0f,   40.0f,  80.0f,
                                         160.0f, 320.0f, 640.0f, 1280.0f, 2560.0f};
    float ratio = static_cast<float>(static_cast<double>(s) / static_cast<double>(t->area) / 64.0);
    for (int i = 0; i < 11; i++)
        if (thresholds[i] > ratio)
            return i;
    return 11;
}

// ---- Attribute sets ----------------------------------------------------------------
Interpolant raster_depth_interpolant(const RasterTriangle* t)
{
    return interpolant(t, edge_lanes(t), t->v[0].z * 16383.0f, t->v[1].z * 16383.0f, t->v[2].z * 16383.0f);
}

void raster_colour_interpolants(const RasterTriangle* t, Interpolant out[4])
{
    const EdgeLanes l = edge_lanes(t);
    for (int c = 0; c < 4; c++) {
        int s = c * 8;
        out[c] = interpolant(t, l, static_cast<float>((t->v[0].colour >> s) & 0xFFu),
                             static_cast<float>((t->v[1].colour >> s) & 0xFFu),
                             static_cast<float>((t->v[2].colour >> s) & 0xFFu));
    }
}

void raster_texture_interpolants(const RasterTriangle* t, const Texture* scale, Interpolant out[2])
{
    float w = static_cast<float>(scale->width), h = static_cast<float>(scale->height);
    const EdgeLanes l = edge_lanes(t);
    out[0] = interpolant(t, l, t->v[0].u * w, t->v[1].u * w, t->v[2].u * w);
    out[1] = interpolant(t, l, t->v[0].v * h, t->v[1].v * h, t->v[2].v * h);
}

void raster_second_interpolants(const RasterTriangle* t, const Texture* scale, Interpolant out[2])
{
    float w = static_cast<float>(scale->width), h = static_cast<float>(scale->height);
    const EdgeLanes l = edge_lanes(t);
    out[0] = interpolant(t, l, t->v[0].u2 * w, t->v[1].u2 * w, t->v[2].u2 * w);
    out[1] = interpolant(t, l, t->v[0].v2 * h, t->v[1].v2 * h, t->v[2].v2 * h);
}

bool raster_perspective_interpolants(const RasterTriangle* t, const Texture* scale, Interpolant out[3])
{
    float w = static_cast<float>(scale->width), h = static_cast<float>(scale->height);
    float up[3], vp[3], s[3];
    for (int k = 0; k < 3; k++) {
        float z = t->v[k].z;
        if (!(z > 0.0f))
            return false;
        // 256 / z scales the coordinates so that the per-pixel quotient
        // (u s) / s is the texel coordinate itself.
        s[k] = static_cast<float>(256.0 / static_cast<double>(z));
        if (!std::isfinite(s[k]))
            return false;
        up[k] = w * t->v[k].u * s[k];
        vp[k] = s[k] * (h * t->v[k].v);
    }
    const EdgeLanes l = edge_lanes(t);
    out[0] = interpolant(t, l, up[0], up[1], up[2]);
    out[1] = interpolant(t, l, vp[0], vp[1], vp[2]);
    out[2] = interpolant(t, l, s[0], s[1], s[2]);
    return true;
}
