// Object and motion files named the way the program's tables write them
// ("data\name") open through the platform's path mapping.
#include "lw_test_util.h"
#include "platform/paths.h"
#include "scene/scene.h"

#include <gtest/gtest.h>

#include <filesystem>

TEST(DataPaths, ObjectsAndMotionFilesOpenByTheirTableNames)
{
    namespace fs = std::filesystem;
    fs::path dir = fs::path(DUNRAVEL_BINARY_DIR) / "lw_data_path_test";
    fs::create_directories(dir);

    LwoObject obj;
    LwoLayer layer;
    layer.points = {0, 0, 0, 1, 0, 0, 1, 1, 0};
    LwoPolygon triangle;
    triangle.corners = {0, 1, 2};
    layer.polygons.push_back(triangle);
    obj.layers.push_back(layer);
    ASSERT_TRUE(lwo_write_file((dir / "tri.lwo").string(), lwo_build(obj)));

    LwmoChannel channel;
    channel.keys.resize(1);
    channel.keys[0].value = 2.0f;
    ASSERT_TRUE(lwmo_write_file((dir / "path.mo").string(), {channel}));

    paths_set_data_dir(dir.string().c_str());
    Mesh* mesh = mesh_load("data\\tri.lwo");
    EXPECT_NE(mesh, nullptr);
    mesh_free(mesh);
    MotionEnvelope** envelopes = nullptr;
    int32_t count = 0;
    EXPECT_EQ(motion_load("data\\path.mo", &envelopes, &count), 0);
    EXPECT_EQ(count, 1);
    motion_free_all(envelopes, count);
    paths_set_data_dir(nullptr);
}
