// Object post-processing checked against independent references: projection
// coordinates of off-axis points for every projection and axis, image-map
// entry links, discontinuous entries carried through triangulation, and the
// plane a fan triangle inherits.
#include "lw_test_util.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{

const double TWO_PI_F = 6.283185;  // the program's single-precision constants
const double PI_F = 3.1415925;
const double HALF_PI_F = 1.5707963;

double ref_cyl(double a, double b)
{
    if (a == 0 && b == 0)
        return 0;
    double angle = b == 0 ? (a >= 0 ? -HALF_PI_F : HALF_PI_F) : -std::atan2(a, b);
    return angle < 0 ? angle + TWO_PI_F : angle;
}

void ref_sph(double a, double b, double c, double* lon, double* lat)
{
    if (a == 0 && c == 0) {
        *lon = 0;
        *lat = b == 0 ? 0 : (b > 0 ? HALF_PI_F : -HALF_PI_F);
        return;
    }
    *lon = -std::atan2(a, c);
    if (*lon < 0)
        *lon += TWO_PI_F;
    double r = std::sqrt(c * c + a * a);
    *lat = std::atan(b / r);
}

// (u, v) of point d (relative to the centre) for a projection and axis, size s.
void ref_uv(int projection, int axis, const double d[3], const double s[3], double* u, double* v)
{
    double X = d[0] / s[0] + 0.5, Y = d[1] / s[1] + 0.5, Z = d[2] / s[2] + 0.5;
    if (projection == 1) {
        *u = axis == 1 ? Z : axis == 2 ? X : axis == 3 ? X : 0;
        *v = axis == 1 ? Y : axis == 2 ? Z : axis == 3 ? Y : 0;
    } else if (projection == 3) {
        double angle;
        if (axis == 1) {
            angle = ref_cyl(d[0], d[2]);
            *v = d[0] / s[0] + 0.5;
        } else if (axis == 2) {
            angle = ref_cyl(-d[0], d[2]);
            *v = d[1] / s[1] + 0.5;
        } else {
            angle = ref_cyl(-d[0], -d[1]);
            *v = d[2] / s[2] + 0.5;
        }
        while (*v < 0)
            *v += 1;
        *u = 1 - angle / TWO_PI_F;
    } else {
        double lon, lat;
        if (axis == 1)
            ref_sph(-d[2], -d[0], -d[1], &lon, &lat);
        else if (axis == 2)
            ref_sph(-d[0], -d[1], -d[2], &lon, &lat);
        else
            ref_sph(-d[0], d[2], -d[1], &lon, &lat);
        *u = 1 - lon / TWO_PI_F;
        *v = 0.5 - lat / PI_F;
    }
}

} // namespace

TEST(ProjectionReference, OffAxisPointsForEveryProjectionAndAxis)
{
    // Centre (0.5, -1, 2), size (2, 4, 8); three triangles so every point is
    // a corner 0..2 of some polygon.
    const float centre[3] = {0.5f, -1.0f, 2.0f};
    const float size[3] = {2.0f, 4.0f, 8.0f};
    const std::vector<float> pts = {1.7f,  0.3f, -2.5f, -0.9f, -3.2f, 4.4f,  2.6f, 1.1f, 0.7f,
                                    -1.3f, 2.9f, 6.1f,  0.2f,  -0.4f, -5.3f, 3.3f, -2.2f, 2.0f};
    for (int projection : {1, 3, 4}) {
        for (int axis : {0, 1, 2, 3}) {
            LwoObject obj;
            obj.surfaces.resize(1);
            obj.surfaces[0].name = "S";
            LwoImageBlock b;
            b.projection = static_cast<uint16_t>(projection);
            b.axis = static_cast<uint16_t>(axis);
            for (int i = 0; i < 3; ++i) {
                b.centre[i] = centre[i];
                b.size[i] = size[i];
            }
            obj.surfaces[0].blocks.push_back(b);
            obj.layers.push_back(make_layer(pts, {{0, 1, 2}, {3, 4, 5}}, 0));
            ObjectPtr o = load_bytes(lwo_build(obj));
            ASSERT_TRUE(o);
            const VertexMap* map = o->points->txuv;
            ASSERT_NE(map, nullptr);
            for (uint32_t k = 0; k < 6; ++k) {
                double d[3], s[3] = {size[0], size[1], size[2]}, u, v;
                for (int i = 0; i < 3; ++i)
                    d[i] = static_cast<double>(pts[3 * k + i] - centre[i]);
                ref_uv(projection, axis, d, s, &u, &v);
                EXPECT_NEAR(map->values[2 * k], u, 2e-6) << projection << " axis " << axis << " point " << k;
                EXPECT_NEAR(map->values[2 * k + 1], v, 2e-6) << projection << " axis " << axis << " point " << k;
            }
        }
    }
}

TEST(ObjectReference, FanTrianglesCarryPlaneSurfaceAndDiscontinuousEntries)
{
    // A pentagon (points 0..4, not planar: its plane comes from corners 0, 1
    // and the last) tagged with surface A, whose image block names "uv"; a
    // discontinuous map "uv" holds entries for corners 0 and 3.
    LwoWriter w;
    lwo_write_tags(w, {"A"});
    LwoLayer layer = make_layer({0, 0, 0, 2, 0, 0, 3, 1, 0.5f, 1, 3, 0, 0, 2, 0}, {{0, 1, 2, 3, 4}}, 0);
    LwoVertexMap uv;
    uv.name = "uv";
    uv.points = {4, 3, 2, 1, 0, 3};
    uv.values = {0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5};
    layer.vertex_maps.push_back(uv);
    lwo_write_layer(w, layer);
    w.begin_chunk("VMAD");
    w.id4("TXUV");
    w.u2(2);
    w.s0("uv");
    w.u2(0); // point 0 of polygon 0
    w.u2(0);
    w.f4(0.5f);
    w.f4(0.25f);
    w.u2(3); // point 3 of polygon 0
    w.u2(0);
    w.f4(0.75f);
    w.f4(0.125f);
    w.end_chunk();
    LwoSurface a;
    a.name = "A";
    LwoImageBlock block;
    block.vmap_name = "uv";
    a.blocks.push_back(block);
    lwo_write_surface(w, a);
    ObjectPtr o = load_bytes(w.finish());
    ASSERT_TRUE(o);
    ASSERT_EQ(o->polygon_count, 3);

    // Plane from corners 0, 1 and 4: (2,0,0) x (0,2,0) = (0,0,4), length 4.
    const uint32_t fans[3][3] = {{0, 1, 2}, {0, 2, 3}, {0, 3, 4}};
    const DiscontinuousMap* vmad = o->discontinuous_maps;
    ASSERT_NE(vmad, nullptr);
    ASSERT_EQ(vmad->entry_count, 2);
    for (int t = 0; t < 3; ++t) {
        const Polygon* p = &o->polygons[t];
        ASSERT_EQ(p->corner_count, 3);
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(p->corners[c], fans[t][c]);
        EXPECT_EQ(p->normal.x, 0.0f);
        EXPECT_EQ(p->normal.y, 0.0f);
        EXPECT_EQ(p->normal.z, 1.0f);
        EXPECT_EQ(p->d, 0.0f);
        EXPECT_EQ(p->normal_length, 0.0f);
        ASSERT_NE(p->surface, nullptr);
        EXPECT_STREQ(p->surface->name, "A");
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(p->map_entries[c], 0u) << "triangle " << t;
            const DiscontinuousEntry* e = p->discontinuous[c];
            if (fans[t][c] == 0 || fans[t][c] == 3) {
                ASSERT_NE(e, nullptr) << "triangle " << t << " corner " << c;
                EXPECT_EQ(e->point, fans[t][c]);
            } else {
                EXPECT_EQ(e, nullptr) << "triangle " << t << " corner " << c;
            }
        }
    }
    // Each carried entry ends up naming the last triangle that holds it.
    for (int k = 0; k < 2; ++k)
        EXPECT_EQ(vmad->entries[k].polygon, 2u);
    // The point normals: every corner gets (0, 0, 4) from the pentagon.
    for (int j = 0; j < 5; ++j)
        EXPECT_EQ(o->points->normals[j].z, 1.0f);
}

TEST(ObjectReference, CornersLinkTheFirstEntryOfTheirPoint)
{
    // A triangle whose surface names "uv": point 0 has entries 1 and 3, so
    // corner 0 links entry 1; point 2 has none, so entry 0.
    LwoWriter w;
    lwo_write_tags(w, {"A"});
    LwoLayer layer = make_layer({0, 0, 0, 1, 0, 0, 0, 1, 0}, {{0, 1, 2}}, 0);
    LwoVertexMap uv;
    uv.name = "uv";
    uv.points = {1, 0, 1, 0};
    uv.values = {0, 0, 1, 1, 2, 2, 3, 3};
    layer.vertex_maps.push_back(uv);
    lwo_write_layer(w, layer);
    LwoSurface a;
    a.name = "A";
    LwoImageBlock block;
    block.vmap_name = "uv";
    a.blocks.push_back(block);
    lwo_write_surface(w, a);
    ObjectPtr o = load_bytes(w.finish());
    ASSERT_TRUE(o);
    const Polygon* p = &o->polygons[0];
    ASSERT_NE(p->image_map, nullptr);
    EXPECT_EQ(p->map_entries[0], 1u);
    EXPECT_EQ(p->map_entries[1], 0u);
    EXPECT_EQ(p->map_entries[2], 0u);
}
