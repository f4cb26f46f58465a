// LightWave objects and the pipe's motion file, written with the project's
// LWO2/LWMO writers (tools/common): the six title logos and the end title as
// extruded FreeType letters (one layer per letter; bottom vertices first, top
// vertices second), the four-layer floor grid, a smooth cube-sphere, the spiked
// ball, the terrain height field, the rippling visualiser disc and the path of
// the spikeball's pipe. Polygon corners run so that the program's plane normal
// (P1 - P0) x (Plast - P0) points out of the solid. Sizes are tuned for each
// scene's camera with the constants below.
#include "datagen.h"

#include "common/lwo_writer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>

namespace {

const float PI = 3.14159265f;

// ---- Scene framing constants ------------------------------------------------------
// Title logos lie flat on the floor (glyph x -> world x, glyph up -> world z)
// and are extruded upwards from y = 0; the title camera looks down on them.
const float TITLE_CAP = 0.72f;       // letter height on the floor
const float TITLE_MAX_WIDTH = 5.4f;  // widest logo
const float TITLE_DEPTH = 0.22f;     // extrusion height
// Floor grid: the floor plane and three decorations raised by 1.6, so that the
// scene's layer offset of -2 leaves them at -0.4. The logos' shadows lie on
// y = -0.5: the floor stays 0.14 below and the decorations 0.1 above that
// plane, and the stacked decorations 0.06 apart, because at the title
// camera's distance the depth buffer tells surfaces apart only from about
// 0.05 units on (closer ones show as stripes).
const float GRID_FLOOR_Y = -0.64f;
const float GRID_LAYER_Y = 1.6f;
const float GRID_RING_LIFT = 0.06f;
const float GRID_SPOKE_LIFT = 0.12f;
// End title: letters standing in the x-y plane, extruded along z.
const float END_CAP = 1.0f;
const float END_WIDTH = 7.4f;
const float END_DEPTH = 0.5f;
const float END_SMALL_CAP = 0.42f;
// The end scene spreads the two line layers to +-3.5 and closes them to
// +-2.5 at a distance of 10: built this much nearer the middle, the lines stay
// inside the letterbox and end clear of the closing card's title and credits.
const float END_LINE_INSET = 1.15f;
// Spikeball: core radius and spike tips inside the lattice box -9..9 and well
// inside the 12-unit camera distance of the scene's first beats.
const float SPIKE_CORE = 2.6f;
const float SPIKE_LENGTH = 2.0f;
// Terrain: a wide valley under the circling camera (height 28 at most 90 out).
const float TERRAIN_HALF = 144.0f;
const int TERRAIN_CELLS = 48;
// Visualiser: a finely divided disc (the scene scales it by 2 and lifts it to y 16).
const float VIS_RADIUS = 6.0f;

struct V3 {
    float x, y, z;
};
V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
float dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 normalize(V3 a)
{
    float l = std::sqrt(dot(a, a));
    return l > 0 ? V3{a.x / l, a.y / l, a.z / l} : a;
}

// A layer under construction.
struct Builder {
    LwoLayer layer;
    V3 point(int i) const { return {layer.points[3 * i], layer.points[3 * i + 1], layer.points[3 * i + 2]}; }
    int add(V3 p)
    {
        layer.points.push_back(p.x);
        layer.points.push_back(p.y);
        layer.points.push_back(p.z);
        return static_cast<int>(layer.points.size() / 3) - 1;
    }
    // Adds a polygon, reversed when its plane normal would point against `out`.
    void face(std::vector<uint32_t> corners, V3 out, int surface)
    {
        V3 p0 = point(static_cast<int>(corners[0])), p1 = point(static_cast<int>(corners[1]));
        V3 pl = point(static_cast<int>(corners.back()));
        if (dot(cross(p1 - p0, pl - p0), out) < 0)
            std::reverse(corners.begin() + 1, corners.end());
        layer.polygons.push_back(LwoPolygon{corners, surface});
    }
};

LwoSurface surface(const char* name, const Rgba& c)
{
    LwoSurface s;
    s.name = name;
    s.colour[0] = c.r;
    s.colour[1] = c.g;
    s.colour[2] = c.b;
    return s;
}

// ---- Polygon triangulation (contours with holes) -----------------------------------

float signed_area(const Contour& c)
{
    float a = 0;
    for (size_t i = 0; i < c.size(); ++i) {
        const Point2 &p = c[i], &q = c[(i + 1) % c.size()];
        a += p.x * q.y - q.x * p.y;
    }
    return a * 0.5f;
}

bool inside(const Contour& c, Point2 p)
{
    bool in = false;
    for (size_t i = 0, j = c.size() - 1; i < c.size(); j = i++)
        if ((c[i].y > p.y) != (c[j].y > p.y) && p.x < (c[j].x - c[i].x) * (p.y - c[i].y) / (c[j].y - c[i].y) + c[i].x)
            in = !in;
    return in;
}

float cross2(Point2 o, Point2 a, Point2 b) { return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x); }

bool segments_cross(Point2 a, Point2 b, Point2 c, Point2 d)
{
    float d1 = cross2(c, d, a), d2 = cross2(c, d, b), d3 = cross2(a, b, c), d4 = cross2(a, b, d);
    return ((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) && ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0));
}

// Triangles (indices into pts, counter-clockwise) of one outer contour and its
// holes, given as index loops. Holes are joined to the outline by bridges to
// the nearest visible vertex, then ears are clipped.
void triangulate(const std::vector<Point2>& pts, std::vector<int> outer, std::vector<std::vector<int>> holes,
                 std::vector<std::array<int, 3>>& tris)
{
    auto P = [&](int i) { return pts[static_cast<size_t>(i)]; };
    std::sort(holes.begin(), holes.end(), [&](const std::vector<int>& a, const std::vector<int>& b) {
        float ma = -1e9f, mb = -1e9f;
        for (int i : a)
            ma = std::max(ma, P(i).x);
        for (int i : b)
            mb = std::max(mb, P(i).x);
        return ma > mb;
    });
    for (size_t h = 0; h < holes.size(); ++h) {
        const std::vector<int>& hole = holes[h];
        size_t mi = 0;
        for (size_t i = 1; i < hole.size(); ++i)
            if (P(hole[i]).x > P(hole[mi]).x)
                mi = i;
        Point2 m = P(hole[mi]);
        std::vector<size_t> order(outer.size());
        for (size_t i = 0; i < order.size(); ++i)
            order[i] = i;
        std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
            Point2 pa = P(outer[a]), pb = P(outer[b]);
            return (pa.x - m.x) * (pa.x - m.x) + (pa.y - m.y) * (pa.y - m.y) < (pb.x - m.x) * (pb.x - m.x) + (pb.y - m.y) * (pb.y - m.y);
        });
        size_t chosen = order[0];
        for (size_t cand : order) {
            Point2 v = P(outer[cand]);
            bool blocked = false;
            auto check_loop = [&](const std::vector<int>& loop) {
                for (size_t i = 0; i < loop.size() && !blocked; ++i) {
                    Point2 a = P(loop[i]), b = P(loop[(i + 1) % loop.size()]);
                    if (segments_cross(m, v, a, b))
                        blocked = true;
                }
            };
            check_loop(outer);
            for (size_t k = h; k < holes.size() && !blocked; ++k)
                check_loop(holes[k]);
            // The bridge must leave the vertex into the polygon's interior.
            Point2 prev = P(outer[(cand + outer.size() - 1) % outer.size()]), next = P(outer[(cand + 1) % outer.size()]);
            bool convex = cross2(prev, v, next) > 0;
            bool in_wedge = convex ? (cross2(prev, v, m) > 0 && cross2(v, next, m) > 0) : !(cross2(prev, v, m) <= 0 && cross2(v, next, m) <= 0);
            if (!blocked && in_wedge) {
                chosen = cand;
                break;
            }
        }
        std::vector<int> merged(outer.begin(), outer.begin() + static_cast<long>(chosen) + 1);
        for (size_t i = 0; i <= hole.size(); ++i)
            merged.push_back(hole[(mi + i) % hole.size()]);
        merged.insert(merged.end(), outer.begin() + static_cast<long>(chosen), outer.end());
        outer = merged;
    }
    // Ear clipping.
    std::vector<int> poly = outer;
    int guard = 0;
    while (poly.size() > 3 && guard < 100000) {
        ++guard;
        bool clipped = false;
        size_t n = poly.size();
        for (size_t i = 0; i < n; ++i) {
            int a = poly[(i + n - 1) % n], b = poly[i], c = poly[(i + 1) % n];
            Point2 pa = P(a), pb = P(b), pc = P(c);
            if (cross2(pa, pb, pc) <= 1e-9f)
                continue;
            bool ear = true;
            for (size_t k = 0; k < n && ear; ++k) {
                int q = poly[k];
                Point2 pq = P(q);
                if (q == a || q == b || q == c)
                    continue;
                if ((pq.x == pa.x && pq.y == pa.y) || (pq.x == pb.x && pq.y == pb.y) || (pq.x == pc.x && pq.y == pc.y))
                    continue;
                if (cross2(pa, pb, pq) >= 0 && cross2(pb, pc, pq) >= 0 && cross2(pc, pa, pq) >= 0)
                    ear = false;
            }
            if (ear) {
                tris.push_back({a, b, c});
                poly.erase(poly.begin() + static_cast<long>(i));
                clipped = true;
                break;
            }
        }
        if (!clipped) {
            // Only (nearly) collinear corners are left as candidates: cut the
            // flattest one as a sliver so the cap still meets every wall edge.
            size_t worst = 0;
            float best = 1e30f;
            for (size_t i = 0; i < n; ++i) {
                float c2 = std::fabs(cross2(P(poly[(i + n - 1) % n]), P(poly[i]), P(poly[(i + 1) % n])));
                if (c2 < best)
                    best = c2, worst = i;
            }
            tris.push_back({poly[(worst + n - 1) % n], poly[worst], poly[(worst + 1) % n]});
            poly.erase(poly.begin() + static_cast<long>(worst));
        }
    }
    if (poly.size() == 3)
        tris.push_back({poly[0], poly[1], poly[2]});
}

// Extrudes a glyph into a closed solid in one layer: points 0..n-1 are the
// outline at depth 0 ("bottom"), n..2n-1 the same outline at depth `depth`
// ("top"). `map` turns (u, v, depth) into object space; `up` is the direction
// of increasing depth there.
template <typename Map>
void extrude_glyph(Builder& b, const GlyphShape& g, float depth, Map map, V3 up, int surf)
{
    std::vector<Point2> pts;
    std::vector<std::vector<int>> loops;
    for (const Contour& c : g.contours) {
        std::vector<int> loop;
        Contour cc = c;
        if (signed_area(cc) < 0)
            std::reverse(cc.begin(), cc.end()); // every loop counter-clockwise for now
        for (const Point2& p : cc) {
            loop.push_back(static_cast<int>(pts.size()));
            pts.push_back(p);
        }
        loops.push_back(loop);
    }
    // Nesting depth decides outline or hole.
    std::vector<int> depth_of(loops.size(), 0);
    auto contour_of = [&](size_t i) {
        Contour c;
        for (int k : loops[i])
            c.push_back(pts[static_cast<size_t>(k)]);
        return c;
    };
    for (size_t i = 0; i < loops.size(); ++i)
        for (size_t j = 0; j < loops.size(); ++j)
            if (i != j && inside(contour_of(j), pts[static_cast<size_t>(loops[i][0])]))
                ++depth_of[i];
    std::vector<std::array<int, 3>> tris;
    for (size_t i = 0; i < loops.size(); ++i) {
        if (depth_of[i] % 2)
            continue;
        std::vector<std::vector<int>> holes;
        Contour outer = contour_of(i);
        for (size_t j = 0; j < loops.size(); ++j)
            if (depth_of[j] == depth_of[i] + 1 && inside(outer, pts[static_cast<size_t>(loops[j][0])])) {
                std::vector<int> h = loops[j];
                std::reverse(h.begin(), h.end()); // holes clockwise
                holes.push_back(h);
            }
        triangulate(pts, loops[i], holes, tris);
    }
    int n = static_cast<int>(pts.size());
    int base = static_cast<int>(b.layer.points.size() / 3);
    for (const Point2& p : pts)
        b.add(map(p.x, p.y, 0.0f));
    for (const Point2& p : pts)
        b.add(map(p.x, p.y, depth));
    // Cap triangles are counter-clockwise in the glyph plane; whether that
    // faces `up` depends only on the mapping, so decide it once (slivers have
    // no reliable normal of their own).
    V3 o = map(0.0f, 0.0f, 0.0f);
    bool ccw_faces_up = dot(cross(map(1.0f, 0.0f, 0.0f) - o, map(0.0f, 1.0f, 0.0f) - o), up) > 0;
    for (const auto& t : tris) {
        uint32_t a = static_cast<uint32_t>(base + t[0]), c1 = static_cast<uint32_t>(base + t[1]), c2 = static_cast<uint32_t>(base + t[2]);
        uint32_t top = static_cast<uint32_t>(n);
        if (ccw_faces_up) {
            b.layer.polygons.push_back(LwoPolygon{{a, c2, c1}, surf});
            b.layer.polygons.push_back(LwoPolygon{{a + top, c1 + top, c2 + top}, surf});
        } else {
            b.layer.polygons.push_back(LwoPolygon{{a, c1, c2}, surf});
            b.layer.polygons.push_back(LwoPolygon{{a + top, c2 + top, c1 + top}, surf});
        }
    }
    // Walls: outward is to the right of a counter-clockwise outline and to the
    // left of a clockwise hole; judge by the loop's nesting.
    for (size_t i = 0; i < loops.size(); ++i) {
        const std::vector<int>& loop = loops[i];
        bool hole = depth_of[i] % 2;
        for (size_t k = 0; k < loop.size(); ++k) {
            int p = loop[k], q = loop[(k + 1) % loop.size()];
            Point2 pp = pts[static_cast<size_t>(p)], pq = pts[static_cast<size_t>(q)];
            float nx = pq.y - pp.y, ny = -(pq.x - pp.x); // right of p->q (outward for CCW)
            if (hole)
                nx = -nx, ny = -ny;
            V3 o = map(pp.x + nx, pp.y + ny, 0.0f) - map(pp.x, pp.y, 0.0f);
            b.face({static_cast<uint32_t>(base + p), static_cast<uint32_t>(base + q), static_cast<uint32_t>(base + n + q),
                    static_cast<uint32_t>(base + n + p)},
                   o, surf);
        }
    }
}

// Letters of a word, each in its own layer, centred on x = 0.
void word_layers(LwoObject& obj, const std::string& text, FontStyle style, float cap, float max_width, float depth,
                 bool flat_on_floor, float y_offset, const std::vector<int>& surfaces, float gap = 0.06f)
{
    std::vector<GlyphShape> glyphs = text_outlines(text, style, gap);
    float minx = 1e9f, maxx = -1e9f, miny = 1e9f, maxy = -1e9f;
    for (const GlyphShape& g : glyphs)
        for (const Contour& c : g.contours)
            for (const Point2& p : c) {
                minx = std::min(minx, p.x), maxx = std::max(maxx, p.x);
                miny = std::min(miny, p.y), maxy = std::max(maxy, p.y);
            }
    float s = std::min(cap, max_width / std::max(0.01f, maxx - minx));
    float cx = (minx + maxx) * 0.5f, cy = (miny + maxy) * 0.5f;
    int index = 0;
    for (const GlyphShape& g : glyphs) {
        Builder b;
        b.layer.number = static_cast<uint16_t>(obj.layers.size());
        b.layer.name = text + "_" + std::to_string(index);
        int surf = surfaces[static_cast<size_t>(index) % surfaces.size()];
        if (flat_on_floor) // glyph up -> +z, extruded along +y
            extrude_glyph(b, g, depth, [&](float u, float v, float d) { return V3{(u - cx) * s, d, (v - cy) * s}; }, V3{0, 1, 0}, surf);
        else // standing in the x-y plane, extruded away from the viewer (+z)
            extrude_glyph(b, g, depth, [&](float u, float v, float d) { return V3{(u - cx) * s, (v - cy) * s + y_offset, d - depth * 0.5f}; }, V3{0, 0, 1}, surf);
        obj.layers.push_back(b.layer);
        ++index;
    }
}

bool save(const GenContext& ctx, const std::string& name, const LwoObject& obj)
{
    if (!lwo_write_file(ctx.dir + name, lwo_build(obj))) {
        std::fprintf(stderr, "dunravel-datagen: cannot write %s\n", (ctx.dir + name).c_str());
        return false;
    }
    return true;
}

// ---- Title logos ----------------------------------------------------------------------

struct Logo {
    const char* file;
    const char* text;
    FontStyle style;
    float cap;
    uint32_t colour_a, colour_b;
};
const Logo LOGOS[] = {
    {"tolvenari.lwo", "TOLVENARI", FONT_SANS_BOLD, TITLE_CAP, 0xD9A640, 0xF0C868},
    {"coproduction.lwo", "VELLUMA", FONT_SERIF_BOLD, TITLE_CAP, 0x8DB6E0, 0xA8C8EC},
    {"vs.lwo", "vs", FONT_SERIF_ITALIC, TITLE_CAP * 1.2f, 0xECDDBE, 0xECDDBE},
    {"dunravel.lwo", "DUNRAVEL", FONT_SANS_BOLD, TITLE_CAP, 0xF7DC8C, 0xD9A640},
    {"presents.lwo", "presents", FONT_SANS, TITLE_CAP, 0xECDDBE, 0xF7DC8C},
    {"event.lwo", "EMBERFALL 26", FONT_CONDENSED_BOLD, TITLE_CAP, 0x5A8CCC, 0x8DB6E0},
};

int make_logos(const GenContext& ctx)
{
    int failures = 0;
    for (const Logo& l : LOGOS) {
        if (!ctx.wants(l.file))
            continue;
        LwoObject obj;
        obj.surfaces.push_back(surface("letter", rgb(l.colour_a)));
        obj.surfaces.push_back(surface("letter_alt", rgb(l.colour_b)));
        word_layers(obj, l.text, l.style, l.cap, TITLE_MAX_WIDTH, TITLE_DEPTH, true, 0, {0, 1});
        failures += save(ctx, l.file, obj) ? 0 : 1;
    }
    return failures;
}

// ---- Grid --------------------------------------------------------------------------------

// A flat strip (quad) facing +y between two points of the x-z plane.
void strip(Builder& b, float x0, float z0, float x1, float z1, float width, float y, int surf)
{
    float dx = x1 - x0, dz = z1 - z0, l = std::sqrt(dx * dx + dz * dz);
    float nx = -dz / l * width * 0.5f, nz = dx / l * width * 0.5f;
    int a = b.add({x0 + nx, y, z0 + nz}), c = b.add({x1 + nx, y, z1 + nz});
    int d = b.add({x1 - nx, y, z1 - nz}), e = b.add({x0 - nx, y, z0 - nz});
    b.face({static_cast<uint32_t>(a), static_cast<uint32_t>(c), static_cast<uint32_t>(d), static_cast<uint32_t>(e)}, {0, 1, 0}, surf);
}

int make_grid(const GenContext& ctx)
{
    if (!ctx.wants("grid.lwo"))
        return 0;
    LwoObject obj;
    obj.surfaces.push_back(surface("floor", rgb(0x6E6254)));
    obj.surfaces.push_back(surface("lines", rgb(0x3B2414)));
    obj.surfaces.push_back(surface("ring", rgb(0xD9A640)));
    obj.surfaces.push_back(surface("spokes", rgb(0xECDDBE)));
    // Layer 0: the floor, 8 x 8 quads over -8..8.
    {
        Builder b;
        b.layer.name = "floor";
        const int n = 8;
        for (int j = 0; j <= n; ++j)
            for (int i = 0; i <= n; ++i)
                b.add({-8.0f + 16.0f * static_cast<float>(i) / n, GRID_FLOOR_Y, -8.0f + 16.0f * static_cast<float>(j) / n});
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) {
                uint32_t a = static_cast<uint32_t>(j * (n + 1) + i);
                b.face({a, a + 1, a + n + 2, a + n + 1}, {0, 1, 0}, 0);
            }
        obj.layers.push_back(b.layer);
    }
    // Layer 1: square grid lines every unit.
    {
        Builder b;
        b.layer.number = 1;
        b.layer.name = "lines";
        for (int k = -6; k <= 6; ++k) {
            strip(b, static_cast<float>(k), -6, static_cast<float>(k), 6, 0.05f, GRID_LAYER_Y, 1);
            strip(b, -6, static_cast<float>(k), 6, static_cast<float>(k), 0.05f, GRID_LAYER_Y, 1);
        }
        obj.layers.push_back(b.layer);
    }
    // Layer 2: a ring of 24 gold segments (turns with the music).
    {
        Builder b;
        b.layer.number = 2;
        b.layer.name = "ring";
        const float ring_y = GRID_LAYER_Y + GRID_RING_LIFT;
        for (int k = 0; k < 24; ++k) {
            float a0 = static_cast<float>(k) * 2 * PI / 24, a1 = a0 + 2 * PI / 24 * 0.7f;
            int steps = 3;
            for (int s = 0; s < steps; ++s) {
                float t0 = a0 + (a1 - a0) * static_cast<float>(s) / steps, t1 = a0 + (a1 - a0) * static_cast<float>(s + 1) / steps;
                uint32_t p = static_cast<uint32_t>(b.add({2.6f * std::cos(t0), ring_y, 2.6f * std::sin(t0)}));
                uint32_t q = static_cast<uint32_t>(b.add({2.6f * std::cos(t1), ring_y, 2.6f * std::sin(t1)}));
                uint32_t r = static_cast<uint32_t>(b.add({3.0f * std::cos(t1), ring_y, 3.0f * std::sin(t1)}));
                uint32_t u = static_cast<uint32_t>(b.add({3.0f * std::cos(t0), ring_y, 3.0f * std::sin(t0)}));
                b.face({p, q, r, u}, {0, 1, 0}, 2);
            }
        }
        obj.layers.push_back(b.layer);
    }
    // Layer 3: sixteen spokes from radius 3.4 to 5.5.
    {
        Builder b;
        b.layer.number = 3;
        b.layer.name = "spokes";
        const float spoke_y = GRID_LAYER_Y + GRID_SPOKE_LIFT;
        for (int k = 0; k < 16; ++k) {
            float a = static_cast<float>(k) * 2 * PI / 16;
            strip(b, 3.4f * std::cos(a), 3.4f * std::sin(a), 5.5f * std::cos(a), 5.5f * std::sin(a), 0.12f, spoke_y, 3);
        }
        obj.layers.push_back(b.layer);
    }
    return save(ctx, "grid.lwo", obj) ? 0 : 1;
}

// ---- Sphere ------------------------------------------------------------------------------

// Cube sphere: each cube face an n x n grid, spherified so the cells are even;
// vertices on the cube's edges are shared, so the surface is closed and smooth.
int make_sphere(const GenContext& ctx)
{
    if (!ctx.wants("sphere.lwo"))
        return 0;
    const int n = 18;
    LwoObject obj;
    obj.surfaces.push_back(surface("chrome", rgb(0xC8C8C8)));
    Builder b;
    b.layer.name = "sphere";
    std::map<std::array<int, 3>, int> index;
    auto vertex = [&](float x, float y, float z) {
        std::array<int, 3> key{static_cast<int>(std::lround(x * n)), static_cast<int>(std::lround(y * n)), static_cast<int>(std::lround(z * n))};
        auto it = index.find(key);
        if (it != index.end())
            return it->second;
        float x2 = x * x, y2 = y * y, z2 = z * z;
        V3 p{x * std::sqrt(1 - y2 / 2 - z2 / 2 + y2 * z2 / 3), y * std::sqrt(1 - z2 / 2 - x2 / 2 + z2 * x2 / 3),
             z * std::sqrt(1 - x2 / 2 - y2 / 2 + x2 * y2 / 3)};
        int i = b.add(normalize(p));
        index[key] = i;
        return i;
    };
    for (int face = 0; face < 6; ++face) {
        int axis = face / 2;
        float sign = face % 2 ? -1.0f : 1.0f;
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) {
                uint32_t q[4];
                const int di[4] = {0, 1, 1, 0}, dj[4] = {0, 0, 1, 1};
                V3 centre{0, 0, 0};
                for (int k = 0; k < 4; ++k) {
                    float u = -1 + 2 * static_cast<float>(i + di[k]) / n, v = -1 + 2 * static_cast<float>(j + dj[k]) / n;
                    float c[3];
                    c[axis] = sign;
                    c[(axis + 1) % 3] = u;
                    c[(axis + 2) % 3] = v;
                    q[k] = static_cast<uint32_t>(vertex(c[0], c[1], c[2]));
                    V3 p = b.point(static_cast<int>(q[k]));
                    centre = {centre.x + p.x, centre.y + p.y, centre.z + p.z};
                }
                b.face({q[0], q[1], q[2], q[3]}, centre, 0);
            }
    }
    obj.layers.push_back(b.layer);
    return save(ctx, "sphere.lwo", obj) ? 0 : 1;
}

// ---- Icosphere helpers (spikeball) --------------------------------------------------------

struct Ico {
    std::vector<V3> v;
    std::vector<std::array<int, 3>> f;
};

Ico icosphere(int levels)
{
    const float t = (1 + std::sqrt(5.0f)) / 2;
    Ico s;
    const V3 base[12] = {{-1, t, 0}, {1, t, 0}, {-1, -t, 0}, {1, -t, 0}, {0, -1, t}, {0, 1, t},
                         {0, -1, -t}, {0, 1, -t}, {t, 0, -1}, {t, 0, 1}, {-t, 0, -1}, {-t, 0, 1}};
    for (const V3& p : base)
        s.v.push_back(normalize(p));
    s.f = {{0, 11, 5}, {0, 5, 1}, {0, 1, 7}, {0, 7, 10}, {0, 10, 11}, {1, 5, 9}, {5, 11, 4}, {11, 10, 2}, {10, 7, 6}, {7, 1, 8},
           {3, 9, 4}, {3, 4, 2}, {3, 2, 6}, {3, 6, 8}, {3, 8, 9}, {4, 9, 5}, {2, 4, 11}, {6, 2, 10}, {8, 6, 7}, {9, 8, 1}};
    for (int l = 0; l < levels; ++l) {
        std::map<std::pair<int, int>, int> mid;
        auto midpoint = [&](int a, int b) {
            auto key = std::make_pair(std::min(a, b), std::max(a, b));
            auto it = mid.find(key);
            if (it != mid.end())
                return it->second;
            V3 p = normalize({(s.v[a].x + s.v[b].x) / 2, (s.v[a].y + s.v[b].y) / 2, (s.v[a].z + s.v[b].z) / 2});
            s.v.push_back(p);
            return mid[key] = static_cast<int>(s.v.size()) - 1;
        };
        std::vector<std::array<int, 3>> nf;
        for (const auto& f : s.f) {
            int a = midpoint(f[0], f[1]), b = midpoint(f[1], f[2]), c = midpoint(f[2], f[0]);
            nf.push_back({f[0], a, c});
            nf.push_back({f[1], b, a});
            nf.push_back({f[2], c, b});
            nf.push_back({a, b, c});
        }
        s.f = nf;
    }
    return s;
}

int make_spikeball(const GenContext& ctx)
{
    if (!ctx.wants("spikeball.lwo"))
        return 0;
    Ico spikes = icosphere(1); // 42 spike directions
    Ico ball = icosphere(3);   // 642 vertices
    LwoObject obj;
    obj.surfaces.push_back(surface("spikes", rgb(0x8DB6E0)));
    Builder b;
    b.layer.name = "spikeball";
    for (const V3& d : ball.v) {
        float k = 0;
        for (const V3& s : spikes.v)
            k = std::max(k, std::pow(std::max(0.0f, dot(d, s)), 60.0f));
        float r = SPIKE_CORE + SPIKE_LENGTH * k;
        b.add({d.x * r, d.y * r, d.z * r});
    }
    for (const auto& f : ball.f) {
        V3 c = ball.v[static_cast<size_t>(f[0])];
        b.face({static_cast<uint32_t>(f[0]), static_cast<uint32_t>(f[1]), static_cast<uint32_t>(f[2])}, c, 0);
    }
    obj.layers.push_back(b.layer);
    return save(ctx, "spikeball.lwo", obj) ? 0 : 1;
}

// ---- Terrain and visualiser -----------------------------------------------------------------

int make_terrain(const GenContext& ctx)
{
    if (!ctx.wants("terrain.lwo"))
        return 0;
    LwoObject obj;
    obj.surfaces.push_back(surface("ground", rgb(0xC8A070)));
    Builder b;
    b.layer.name = "terrain";
    const int n = TERRAIN_CELLS;
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) {
            float x = -TERRAIN_HALF + 2 * TERRAIN_HALF * static_cast<float>(i) / n;
            float z = -TERRAIN_HALF + 2 * TERRAIN_HALF * static_cast<float>(j) / n;
            float r = std::sqrt(x * x + z * z);
            float hills = fbm(x / 40 + 10, z / 40 + 10, 601, 5) - 0.5f;
            float y = -5 + 22 * hills + std::min(10.0f, 0.0009f * r * r) - 3 * std::exp(-r * r / 900);
            b.add({x, y, z});
        }
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            uint32_t a = static_cast<uint32_t>(j * (n + 1) + i);
            b.face({a, a + 1, a + n + 2, a + n + 1}, {0, 1, 0}, 0);
        }
    obj.layers.push_back(b.layer);
    return save(ctx, "terrain.lwo", obj) ? 0 : 1;
}

int make_visualize(const GenContext& ctx)
{
    if (!ctx.wants("visualize.lwo"))
        return 0;
    LwoObject obj;
    obj.surfaces.push_back(surface("mirror", rgb(0xF7DC8C)));
    Builder b;
    b.layer.name = "visualize";
    const int rings = 24, segments = 64;
    b.add({0, 0, 0});
    for (int r = 1; r <= rings; ++r)
        for (int s = 0; s < segments; ++s) {
            float rad = VIS_RADIUS * static_cast<float>(r) / rings, a = 2 * PI * static_cast<float>(s) / segments;
            b.add({rad * std::cos(a), 0.0f, rad * std::sin(a)});
        }
    auto at = [&](int r, int s) { return static_cast<uint32_t>(r == 0 ? 0 : 1 + (r - 1) * segments + (s % segments)); };
    for (int s = 0; s < segments; ++s)
        b.face({at(0, 0), at(1, s), at(1, s + 1)}, {0, 1, 0}, 0);
    for (int r = 1; r < rings; ++r)
        for (int s = 0; s < segments; ++s)
            b.face({at(r, s), at(r, s + 1), at(r + 1, s + 1), at(r + 1, s)}, {0, 1, 0}, 0);
    obj.layers.push_back(b.layer);
    return save(ctx, "visualize.lwo", obj) ? 0 : 1;
}

// ---- End title ---------------------------------------------------------------------------------

int make_end(const GenContext& ctx)
{
    if (!ctx.wants("end.lwo"))
        return 0;
    // Four layers, each one piece: the title, a ring behind it, and a line
    // above and below (the scene moves layers 2 and 3 apart vertically).
    auto merged = [](LwoObject& obj, LwoObject& letters, const char* name) {
        Builder b;
        b.layer.number = static_cast<uint16_t>(obj.layers.size());
        b.layer.name = name;
        for (const LwoLayer& l : letters.layers) {
            uint32_t base = static_cast<uint32_t>(b.layer.points.size() / 3);
            b.layer.points.insert(b.layer.points.end(), l.points.begin(), l.points.end());
            for (LwoPolygon p : l.polygons) {
                for (uint32_t& c : p.corners)
                    c += base;
                b.layer.polygons.push_back(p);
            }
        }
        obj.layers.push_back(b.layer);
    };
    LwoObject obj;
    obj.surfaces.push_back(surface("title", rgb(0xF7DC8C)));
    obj.surfaces.push_back(surface("ring", rgb(0x2E5C99)));
    obj.surfaces.push_back(surface("lines", rgb(0xECDDBE)));
    LwoObject title;
    word_layers(title, "DUNRAVEL", FONT_SANS_BOLD, END_CAP, END_WIDTH, END_DEPTH, false, 0, {0});
    merged(obj, title, "title");
    {
        Builder b;
        b.layer.number = 1;
        b.layer.name = "ring";
        const int seg = 48;
        const float r0 = 3.3f, r1 = 3.6f, z = 0.6f;
        for (int s = 0; s < seg; ++s) {
            float a0 = 2 * PI * static_cast<float>(s) / seg, a1 = 2 * PI * static_cast<float>(s + 1) / seg;
            float o = (s % 4 < 2) ? r1 + 0.2f : r1; // teeth
            uint32_t p = static_cast<uint32_t>(b.add({r0 * std::cos(a0), r0 * std::sin(a0), z}));
            uint32_t q = static_cast<uint32_t>(b.add({r0 * std::cos(a1), r0 * std::sin(a1), z}));
            uint32_t r = static_cast<uint32_t>(b.add({o * std::cos(a1), o * std::sin(a1), z}));
            uint32_t u = static_cast<uint32_t>(b.add({o * std::cos(a0), o * std::sin(a0), z}));
            b.face({p, q, r, u}, {0, 0, -1}, 1); // facing the viewer on the -z side
        }
        obj.layers.push_back(b.layer);
    }
    LwoObject top, bottom;
    word_layers(top, "TOLVENARI", FONT_SANS_BOLD, END_SMALL_CAP, END_WIDTH * 0.6f, END_DEPTH * 0.5f, false, -END_LINE_INSET, {2});
    word_layers(bottom, "THANK YOU", FONT_SANS_BOLD, END_SMALL_CAP, END_WIDTH * 0.6f, END_DEPTH * 0.5f, false, END_LINE_INSET, {2});
    merged(obj, top, "top line");
    merged(obj, bottom, "bottom line");
    return save(ctx, "end.lwo", obj) ? 0 : 1;
}

// ---- Motion --------------------------------------------------------------------------------------

// The pipe's path in the ball's space: a loop around the ball at 6 to 9 units,
// rising and falling, one key per second over 0..20 s in several key shapes.
V3 pipe_path(float t)
{
    float a = 0.5f * t + 0.4f;
    return {7.5f * std::cos(a) + 1.2f * std::sin(2.1f * t), 3.2f * std::sin(0.8f * t + 0.5f) + 0.8f * std::cos(1.7f * t),
            7.5f * std::sin(a) + 1.5f};
}

int make_motion(const GenContext& ctx)
{
    if (!ctx.wants("spikeball_pipe.mo"))
        return 0;
    std::vector<LwmoChannel> channels(3);
    for (int key = 0; key <= 20; ++key) {
        float t = static_cast<float>(key);
        V3 p = pipe_path(t), prev = pipe_path(t - 1), next = pipe_path(t + 1);
        float v[3] = {p.x, p.y, p.z}, vp[3] = {prev.x, prev.y, prev.z}, vn[3] = {next.x, next.y, next.z};
        for (int c = 0; c < 3; ++c) {
            LwmoKey k;
            k.time = t;
            k.value = v[c];
            if (key % 7 == 3)
                k.shape = 3; // linear stretch
            else if (key % 7 == 5) {
                k.shape = 1; // Hermite with Catmull-Rom tangents
                k.p0 = k.p1 = vn[c] - vp[c];
            } else {
                k.shape = 0; // TCB
                k.tension = (key % 3 == 0) ? 0.3f : 0.0f;
            }
            channels[static_cast<size_t>(c)].keys.push_back(k);
        }
    }
    if (!lwmo_write_file(ctx.dir + "spikeball_pipe.mo", channels)) {
        std::fprintf(stderr, "dunravel-datagen: cannot write %sspikeball_pipe.mo\n", ctx.dir.c_str());
        return 1;
    }
    return 0;
}

} // namespace

int generate_objects(const GenContext& ctx)
{
    return make_logos(ctx) + make_grid(ctx) + make_sphere(ctx) + make_spikeball(ctx) + make_terrain(ctx) + make_visualize(ctx) +
           make_end(ctx) + make_motion(ctx);
}
