// Meshes built from object files: triangle counts, vertices, normals,
// texture coordinates, colours and the layered loader's failure handling.
#include "lw_test_util.h"
#include "scene/scene.h"

#include <gtest/gtest.h>

namespace
{

struct MeshDeleter {
    void operator()(Mesh* m) const { mesh_free(m); }
};
using MeshPtr = std::unique_ptr<Mesh, MeshDeleter>;

std::string write_object(const std::string& name, const LwoObject& obj)
{
    std::string path = build_path(name);
    EXPECT_TRUE(lwo_write_file(path, lwo_build(obj)));
    return path;
}

const std::vector<float> SQUARE = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 2, 2, 0};

} // namespace

TEST(MeshLoad, QuadsAndPentagonsBecomeTriangleFans)
{
    LwoObject obj;
    obj.surfaces.resize(1);
    obj.surfaces[0].name = "Paint";
    obj.surfaces[0].colour[0] = 1.0f;
    obj.surfaces[0].colour[1] = 0.5f;
    obj.surfaces[0].colour[2] = 0.0f;
    obj.layers.push_back(make_layer(SQUARE, {{0, 1, 2, 3}, {0, 1, 4, 2, 3}}, 0));
    MeshPtr mesh(mesh_load(write_object("lw_mesh_fans.lwo", obj).c_str()));
    ASSERT_TRUE(mesh);
    EXPECT_EQ(mesh->vertex_count, 5);
    ASSERT_EQ(mesh->triangle_count, 5);
    const int32_t expect[5][3] = {{0, 1, 2}, {0, 2, 3}, {0, 1, 4}, {0, 4, 2}, {0, 2, 3}};
    for (int i = 0; i < 5; ++i) {
        const MeshTriangle& t = mesh->triangles[i];
        EXPECT_EQ(t.a, expect[i][0]);
        EXPECT_EQ(t.b, expect[i][1]);
        EXPECT_EQ(t.c, expect[i][2]);
        EXPECT_EQ(t.visible, 1u);
        EXPECT_EQ(t.nz, 1.0f);
        EXPECT_EQ(t.d, 0.0f);
        EXPECT_EQ(t.colour, 0xFFFF7F00u); // 0.5 * 255 = 127.5 truncates to 127
    }
    EXPECT_EQ(mesh->vertices[4].x, 2.0f);
    EXPECT_EQ(mesh->normals[4 * 6 + 2], 1.0f);
    EXPECT_EQ(mesh->draw_order[4], 4);
}

TEST(MeshLoad, ColoursAreClampedAndPolygonsWithoutSurfaceAreBlack)
{
    LwoObject obj;
    obj.surfaces.resize(1);
    obj.surfaces[0].name = "Hot";
    obj.surfaces[0].colour[0] = 2.0f;
    obj.surfaces[0].colour[1] = -1.0f;
    obj.surfaces[0].colour[2] = 0.999f;
    obj.layers.push_back(make_layer(SQUARE, {{0, 1, 2}, {0, 2, 3}}, 0));
    obj.layers[0].polygons[1].surface = -1;
    MeshPtr mesh(mesh_load(write_object("lw_mesh_colours.lwo", obj).c_str()));
    ASSERT_TRUE(mesh);
    EXPECT_EQ(mesh->triangles[0].colour, 0xFFFF00FEu);
    EXPECT_EQ(mesh->triangles[1].colour, 0xFF000000u);
}

TEST(MeshLoad, ProjectionMapWinsOverTheFilesTexCoords)
{
    LwoObject obj;
    obj.surfaces.resize(1);
    obj.surfaces[0].name = "S";
    LwoImageBlock b;
    b.projection = LWO_PROJECTION_PLANAR;
    b.axis = 3;
    b.size[0] = b.size[1] = b.size[2] = 2.0f;
    obj.surfaces[0].blocks.push_back(b);
    LwoLayer layer = make_layer(SQUARE, {{0, 1, 2}}, 0);
    LwoVertexMap uv;
    uv.name = "file";
    uv.points = {0, 1, 2, 3, 4};
    uv.values = {9, 9, 9, 9, 9, 9, 9, 9, 9, 9};
    layer.vertex_maps.push_back(uv);
    obj.layers.push_back(layer);
    MeshPtr mesh(mesh_load(write_object("lw_mesh_projection.lwo", obj).c_str()));
    ASSERT_TRUE(mesh);
    EXPECT_EQ(mesh->vertices[2].u, 1.0f); // (1, 1, 0) / 2 + 0.5
    EXPECT_EQ(mesh->vertices[2].v, 1.0f);
    EXPECT_EQ(mesh->vertices[0].u, 0.5f);
}

TEST(MeshLoad, TexCoordsFromTheFileAndNarrowMapsIgnored)
{
    LwoObject obj;
    LwoLayer layer = make_layer(SQUARE, {{0, 1, 2}});
    LwoVertexMap uv;
    uv.name = "uv";
    uv.points = {1, 3};
    uv.values = {0.25f, 0.75f, 0.5f, 0.125f};
    layer.vertex_maps.push_back(uv);
    obj.layers.push_back(layer);
    MeshPtr mesh(mesh_load(write_object("lw_mesh_uv.lwo", obj).c_str()));
    ASSERT_TRUE(mesh);
    EXPECT_EQ(mesh->vertices[1].u, 0.25f);
    EXPECT_EQ(mesh->vertices[1].v, 0.75f);
    EXPECT_EQ(mesh->vertices[3].v, 0.125f);
    EXPECT_EQ(mesh->vertices[0].u, 0.0f);

    LwoVertexMap narrow;
    narrow.name = "w";
    narrow.dimension = 1;
    narrow.points = {1};
    narrow.values = {0.5f};
    obj.layers[0].vertex_maps = {narrow};
    MeshPtr m2(mesh_load(write_object("lw_mesh_uv1.lwo", obj).c_str()));
    ASSERT_TRUE(m2);
    EXPECT_EQ(m2->vertices[1].u, 0.0f);
}

TEST(MeshLoad, LinesOnlyOrMissingFileFail)
{
    LwoObject obj;
    obj.layers.push_back(make_layer(SQUARE, {{0, 1}, {2, 3}}));
    EXPECT_EQ(mesh_load(write_object("lw_mesh_lines.lwo", obj).c_str()), nullptr);
    EXPECT_EQ(mesh_load(build_path("lw_no_such_mesh.lwo").c_str()), nullptr);
    Mesh** meshes = reinterpret_cast<Mesh**>(&obj); // untouched on a missing file
    int32_t count = 42;
    EXPECT_EQ(mesh_load_layers(build_path("lw_no_such_mesh.lwo").c_str(), &meshes, &count), 1);
    EXPECT_EQ(count, 42);
}

TEST(MeshLoad, LayersBuildOneMeshEachAndFailTogether)
{
    LwoObject obj;
    obj.layers.push_back(make_layer(SQUARE, {{0, 1, 2}}));
    obj.layers.push_back(make_layer(SQUARE, {{0, 1, 2, 3}, {1, 2, 4}}));
    obj.layers[1].number = 1;
    Mesh** meshes = nullptr;
    int32_t count = 0;
    ASSERT_EQ(mesh_load_layers(write_object("lw_mesh_layers.lwo", obj).c_str(), &meshes, &count), 0);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(meshes[0]->triangle_count, 1);
    EXPECT_EQ(meshes[1]->triangle_count, 3);
    mesh_free_layers(&meshes, &count);
    EXPECT_EQ(meshes, nullptr);
    EXPECT_EQ(count, 0);
    mesh_free_layers(&meshes, &count); // a second free is harmless

    obj.layers.push_back(make_layer(SQUARE, {{0, 1}}));
    meshes = reinterpret_cast<Mesh**>(&obj);
    count = 7;
    EXPECT_EQ(mesh_load_layers(write_object("lw_mesh_layers_bad.lwo", obj).c_str(), &meshes, &count), 1);
    EXPECT_EQ(meshes, nullptr);
    EXPECT_EQ(count, 0);
}

TEST(MeshLoad, OpaqueTrianglesComeFirst)
{
    LwoObject obj;
    obj.surfaces.resize(2);
    obj.surfaces[0].name = "Glass";
    obj.surfaces[0].transparency = 0.5f;
    obj.surfaces[0].colour[0] = 0.0f;
    obj.surfaces[1].name = "Solid";
    obj.surfaces[1].colour[0] = 1.0f;
    obj.layers.push_back(make_layer(SQUARE, {{0, 1, 2}, {0, 2, 3}}));
    obj.layers[0].polygons[0].surface = 0;
    obj.layers[0].polygons[1].surface = 1;
    MeshPtr mesh(mesh_load(write_object("lw_mesh_order.lwo", obj).c_str()));
    ASSERT_TRUE(mesh);
    EXPECT_EQ(mesh->triangles[0].c, 3);
    EXPECT_EQ(mesh->triangles[1].c, 2);
}
