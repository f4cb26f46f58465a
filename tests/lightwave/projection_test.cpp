// Projection mapping: each projection with each axis, map names, the corners
// a polygon has, points reached only as later corners, and blocks without a
// texture map.
#include "lw_test_util.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{

struct Projected {
    ObjectPtr object;
    const VertexMap* map = nullptr;
    float u(uint32_t k) const { return map->values[2 * k]; }
    float v(uint32_t k) const { return map->values[2 * k + 1]; }
};

Projected project(uint16_t projection, uint16_t axis, const std::vector<float>& points,
                  const std::vector<std::vector<uint32_t>>& polygons, float size = 1.0f,
                  std::vector<LwoVertexMap> maps = {})
{
    LwoObject obj;
    obj.surfaces.resize(1);
    obj.surfaces[0].name = "S";
    LwoImageBlock b;
    b.projection = projection;
    b.axis = axis;
    b.size[0] = b.size[1] = b.size[2] = size;
    obj.surfaces[0].blocks.push_back(b);
    obj.layers.push_back(make_layer(points, polygons, 0));
    obj.layers[0].vertex_maps = std::move(maps);
    Projected p;
    p.object = load_bytes(lwo_build(obj));
    if (p.object)
        p.map = p.object->points->txuv;
    return p;
}

const double TWO_PI_F = 6.283185;

} // namespace

TEST(Projection, PlanarUsesTheAxisPair)
{
    const std::vector<float> pts = {1, -1, 5};
    const float expect[4][2] = {{0, 0}, {3, 0}, {1, 3}, {1, 0}}; // axis 0 .. 3
    for (uint16_t axis = 0; axis <= 3; ++axis) {
        Projected p = project(LWO_PROJECTION_PLANAR, axis, pts, {}, 2.0f);
        ASSERT_TRUE(p.object);
        ASSERT_NE(p.map, nullptr);
        EXPECT_STREQ(p.map->name, "planar_uv_1");
        EXPECT_EQ(p.map->entry_count, 1);
        EXPECT_EQ(p.u(0), expect[axis][0]) << axis;
        EXPECT_EQ(p.v(0), expect[axis][1]) << axis;
    }
}

TEST(Projection, MapNumberCountsTheLayersMaps)
{
    LwoVertexMap a, b;
    a.name = "a";
    a.points = {0};
    a.values = {0, 0};
    b = a;
    b.name = "b";
    Projected p = project(LWO_PROJECTION_PLANAR, 3, {0, 0, 0}, {}, 1.0f, {a, b});
    ASSERT_NE(p.map, nullptr);
    EXPECT_STREQ(p.map->name, "planar_uv_3");
    EXPECT_STREQ(p.object->surfaces->blocks->image_map->vmap_name, "planar_uv_3");
}

TEST(Projection, CubicFollowsTheDominantNormalAxis)
{
    // A floor (normal Y), a wall facing Z and one facing X; size 2.
    std::vector<float> pts = {0, 0, 0, 0, 0, 1, 1, 0, 0,  // floor
                              0, 0, 0, 1, 0, 0, 0, 1, 0,  // wall Z
                              0, 0, 0, 0, 1, 0, 0, 0, 1}; // wall X
    Projected p = project(LWO_PROJECTION_CUBIC, 0, pts, {{0, 1, 2}, {3, 4, 5}, {6, 7, 8}}, 2.0f);
    ASSERT_NE(p.map, nullptr);
    EXPECT_STREQ(p.map->name, "cubic_uv_1");
    EXPECT_EQ(p.u(2), 1.0f); // floor (1,0,0): (X, Z)
    EXPECT_EQ(p.v(2), 0.5f);
    EXPECT_EQ(p.u(1), 0.5f); // floor (0,0,1): (X, Z)
    EXPECT_EQ(p.v(1), 1.0f);
    EXPECT_EQ(p.u(5), 0.5f); // wall Z (0,1,0): (X, Y)
    EXPECT_EQ(p.v(5), 1.0f);
    EXPECT_EQ(p.u(8), 1.0f); // wall X (0,0,1): (Z, Y)
    EXPECT_EQ(p.v(8), 0.5f);
}

TEST(Projection, CylindricalAngleAndHeightPerAxis)
{
    // Corner 0 of each triangle is the probe; the other corners sit elsewhere.
    Projected a2 = project(LWO_PROJECTION_CYLINDRICAL, 2, {0, 0, 1, -1, 0, 0, 0, 5, 0}, {{0, 1, 2}});
    ASSERT_NE(a2.map, nullptr);
    EXPECT_STREQ(a2.map->name, "cylinder_uv_1");
    EXPECT_EQ(a2.u(0), 1.0f);
    EXPECT_EQ(a2.v(0), 0.5f);
    EXPECT_NEAR(a2.u(1), 0.25f, 1e-7f);
    EXPECT_EQ(a2.v(2), 5.5f); // values of 1 and above are left as they are

    Projected a1 = project(LWO_PROJECTION_CYLINDRICAL, 1, {0.5f, 0, 1, 0, 0, 0, 1, 1, 1}, {{0, 1, 2}});
    ASSERT_NE(a1.map, nullptr);
    double angle = -std::atan2(0.5, 1.0) + TWO_PI_F;
    EXPECT_NEAR(a1.u(0), 1.0 - angle / TWO_PI_F, 1e-6);
    EXPECT_EQ(a1.v(0), 1.0f);
    EXPECT_EQ(a1.u(1), 1.0f); // at the centre: angle 0

    // Axis 3: d = (0, 1, -0.75): angle = -atan2(-0, -1) = pi, v = -0.25 wraps to 0.75.
    Projected a3 = project(LWO_PROJECTION_CYLINDRICAL, 3, {0, 1, -0.75f, 1, 0, 0, 0, 0, -3.5f}, {{0, 1, 2}});
    ASSERT_NE(a3.map, nullptr);
    EXPECT_NEAR(a3.u(0), 0.5f, 1e-6f);
    EXPECT_EQ(a3.v(0), 0.75f);
    EXPECT_EQ(a3.v(2), 0.0f); // -3.0 lands on 0
}

TEST(Projection, CylindricalSurvivesInfiniteHeights)
{
    // A zero size makes v infinite; the wrap must not loop forever.
    Projected p = project(LWO_PROJECTION_CYLINDRICAL, 2, {0, -1, 1, 1, 0, 0, 0, 1, 0}, {{0, 1, 2}}, 0.0f);
    ASSERT_NE(p.map, nullptr);
    EXPECT_TRUE(std::isnan(p.v(0)));
    EXPECT_TRUE(std::isinf(p.v(2)));
}

TEST(Projection, SphericalLongitudeAndLatitudePerAxis)
{
    Projected a2 = project(LWO_PROJECTION_SPHERICAL, 2, {0, 1, 0, 1, 0, 0, 0, 0, 1}, {{0, 1, 2}});
    ASSERT_NE(a2.map, nullptr);
    EXPECT_STREQ(a2.map->name, "sphere_uv_1");
    EXPECT_EQ(a2.u(0), 1.0f); // straight above: lon 0, lat -pi/2
    EXPECT_EQ(a2.v(0), 1.0f);

    Projected a1 = project(LWO_PROJECTION_SPHERICAL, 1, {0, 0, -1, 0, 1, 0, 0, 0, 0}, {{0, 1, 2}});
    ASSERT_NE(a1.map, nullptr);
    EXPECT_NEAR(a1.u(0), 0.25f, 1e-7f); // sph(1, 0, 0): lon -pi/2 + 2 pi
    EXPECT_EQ(a1.v(0), 0.5f);
    EXPECT_EQ(a1.u(2), 1.0f); // the centre itself: lon 0, lat 0
    EXPECT_EQ(a1.v(2), 0.5f);

    Projected a3 = project(LWO_PROJECTION_SPHERICAL, 3, {0, 0, 1, 1, 0, 0, 0, 1, 0}, {{0, 1, 2}});
    ASSERT_NE(a3.map, nullptr);
    EXPECT_EQ(a3.u(0), 1.0f); // sph(-0, 1, -0): lat +pi/2
    EXPECT_EQ(a3.v(0), 0.0f);
}

TEST(Projection, PointsOfNoPolygonKeepZeroAndLaterCornersAreFilled)
{
    // A quad (points 0-3) and a lone point 4. Point 3 is only corner 3.
    std::vector<float> pts = {1, 0, 0, 0, 0, 1, -1, 0, 0, 0, 0, -1, 0, 9, 0};
    Projected p = project(LWO_PROJECTION_SPHERICAL, 2, pts, {{0, 1, 2, 3}});
    ASSERT_NE(p.map, nullptr);
    EXPECT_EQ(p.u(4), 0.0f);
    EXPECT_EQ(p.v(4), 0.0f);
    // d = (0, 0, -1): sph(-0, -0, 1): lon = -atan2(-0, 1) = 0 -> u 1, lat 0 -> v 0.5.
    EXPECT_EQ(p.u(3), 1.0f);
    EXPECT_EQ(p.v(3), 0.5f);
    // d = (1, 0, 0): sph(-1, 0, -0): lon = -atan2(-1, -0) = pi/2 -> u = 0.75.
    EXPECT_NEAR(p.u(0), 0.75f, 1e-7f);

    Projected c = project(LWO_PROJECTION_CUBIC, 0, pts, {{0, 1, 2, 3}}, 2.0f);
    ASSERT_NE(c.map, nullptr);
    EXPECT_EQ(c.u(3), 0.5f); // floor: (X, Z) of (0, 0, -1)
    EXPECT_EQ(c.v(3), 0.0f);
}

TEST(Projection, OneAndTwoCornerPolygonsTouchOnlyTheirCorners)
{
    Projected p = project(LWO_PROJECTION_CUBIC, 0, {2, 4, 0, 0, 0, 0, 1, 1, 1}, {{0}, {1, 2}}, 2.0f);
    ASSERT_NE(p.map, nullptr);
    EXPECT_EQ(p.u(0), 1.5f); // no normal: Z dominant, (X, Y)
    EXPECT_EQ(p.v(0), 2.5f);
    EXPECT_EQ(p.u(2), 1.0f);
}

TEST(Projection, BlockWithoutTextureMapProjectsNothing)
{
    LwoObject obj;
    obj.surfaces.resize(1);
    obj.surfaces[0].name = "S";
    LwoImageBlock b;
    b.projection = LWO_PROJECTION_PLANAR;
    b.write_tmap = false;
    b.vmap_name = "keep";
    obj.surfaces[0].blocks.push_back(b);
    obj.layers.push_back(make_layer({0, 0, 0, 1, 0, 0, 0, 1, 0}, {{0, 1, 2}}, 0));
    ObjectPtr o = load_bytes(lwo_build(obj));
    ASSERT_TRUE(o);
    EXPECT_EQ(o->vertex_maps, nullptr);
    EXPECT_STREQ(o->surfaces->blocks->image_map->vmap_name, "keep");
}

TEST(Projection, FirstProjectingBlockOfEachSurfaceRunsAndTheLastMapWins)
{
    LwoObject obj;
    obj.surfaces.resize(2);
    obj.surfaces[0].name = "A";
    obj.surfaces[1].name = "B";
    LwoImageBlock none, planar, sphere;
    none.projection = 0;
    none.vmap_name = "file_uv";
    planar.projection = LWO_PROJECTION_PLANAR;
    sphere.projection = LWO_PROJECTION_SPHERICAL;
    obj.surfaces[0].blocks = {none, planar, sphere};
    obj.surfaces[1].blocks = {sphere};
    LwoLayer layer = make_layer({0, 0, 0, 1, 0, 0, 0, 1, 0}, {{0, 1, 2}}, 0);
    LwoVertexMap uv;
    uv.name = "file_uv";
    uv.points = {0, 1, 2};
    uv.values = {0.1f, 0.1f, 0.2f, 0.2f, 0.3f, 0.3f};
    layer.vertex_maps.push_back(uv);
    obj.layers.push_back(layer);
    ObjectPtr o = load_bytes(lwo_build(obj));
    ASSERT_TRUE(o);
    ASSERT_NE(find_map(o.get(), "planar_uv_2"), nullptr);
    ASSERT_NE(find_map(o.get(), "sphere_uv_3"), nullptr);
    EXPECT_EQ(find_map(o.get(), "sphere_uv_2"), nullptr);
    EXPECT_EQ(o->points->txuv, find_map(o.get(), "sphere_uv_3"));
    // Polygons of A link the map its first matching block names: the file's.
    EXPECT_EQ(o->polygons[0].image_map, find_map(o.get(), "file_uv"));
}
