// The committed corpus of deliberately broken LWO2/LWMO files
// (tests/lightwave/corpus, written by fuzz/seeds.cpp --broken) and the
// lwo-info tool's tab-separated output.
#include "prerequisite.h"
#include "lw_test_util.h"
#include "platform/paths.h"
#include "scene/scene.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>

namespace
{

std::string corpus(const std::string& name)
{
    return std::string(DUNRAVEL_SOURCE_DIR) + "/tests/lightwave/corpus/" + name;
}

} // namespace

TEST(BrokenCorpus, EveryObjectFileGivesItsCode)
{
    const std::map<std::string, int32_t> expect = {
        {"empty.lwo", LWO_END_OF_FILE},
        {"truncated_in_chunk.lwo", LWO_END_OF_FILE},
        {"truncated_at_boundary.lwo", LWO_END_OF_FILE},
        {"lying_chunk_size.lwo", LWO_END_OF_FILE},
        {"lying_form_size.lwo", LWO_END_OF_FILE},
        {"lying_subchunk_size.lwo", LWO_END_OF_FILE},
        {"corner_count_beyond_chunk.lwo", LWO_END_OF_FILE},
        {"string_without_nul.lwo", LWO_END_OF_FILE},
        {"bad_envelope_span.lwo", LWO_WRONG_CHUNK},
        {"wrong_form_type.lwo", LWO_WRONG_CHUNK},
        {"not_iff.lwo", LWO_WRONG_CHUNK},
        {"geometry_before_layer.lwo", LWO_GENERIC_FAILURE},
        {"no_layer.lwo", LWO_GENERIC_FAILURE},
        {"subchunk_header_cut.lwo", LWO_GENERIC_FAILURE},
        {"huge_vmap_dimension.lwo", LWO_OK},
        {"out_of_range_indices.lwo", LWO_OK},
    };
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(corpus(""))) {
        if (entry.path().extension() != ".lwo")
            continue;
        ++files;
        std::string name = entry.path().filename().string();
        ASSERT_TRUE(expect.count(name)) << name << " has no expected code";
        int32_t code = 99;
        ObjectPtr o(object_load_code(entry.path().c_str(), &code));
        EXPECT_EQ(code, expect.at(name)) << name;
        EXPECT_EQ(o != nullptr, code == LWO_OK) << name;
        if (code != LWO_OK) { // the failure names the file and says why
            EXPECT_EQ(path_failure(), entry.path().string() + " (" + object_failure_reason(code) + ")");
        }
        Mesh* mesh = mesh_load(entry.path().c_str());
        EXPECT_EQ(mesh != nullptr, code == LWO_OK) << name;
        mesh_free(mesh);
    }
    EXPECT_EQ(files, static_cast<int>(expect.size()));

    ObjectPtr o(object_load(corpus("out_of_range_indices.lwo").c_str()));
    ASSERT_TRUE(o);
    EXPECT_EQ(o->face_polygon_count, 2);
    EXPECT_EQ(o->polygon_count, 1); // the polygon on point 0xFFFFFF is dropped
    EXPECT_EQ(o->vertex_maps->entry_count, 0);
    EXPECT_EQ(o->polygons[0].surface, nullptr);
}

TEST(BrokenCorpus, EveryMotionFileFailsButTheLongLine)
{
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(corpus(""))) {
        if (entry.path().extension() != ".mo")
            continue;
        ++files;
        std::string name = entry.path().filename().string();
        MotionEnvelope** envelopes = nullptr;
        int32_t count = -1;
        testing::internal::CaptureStdout();
        int32_t result = motion_load(entry.path().c_str(), &envelopes, &count);
        std::string out = testing::internal::GetCapturedStdout();
        if (result != 0) {
            EXPECT_EQ(path_failure(), entry.path().string() + " (not a motion file, or a damaged one)");
        }
        if (name == "overlong_brace.mo") {
            ASSERT_EQ(result, 0);
            ASSERT_EQ(count, 1);
            EXPECT_EQ(envelopes[0]->key_count, 1);
            motion_free_all(envelopes, count);
            continue;
        }
        EXPECT_EQ(result, 1) << name;
        EXPECT_EQ(envelopes, nullptr) << name;
        EXPECT_EQ(count, 0) << name;
        EXPECT_EQ(out.empty(), name != "no_magic.mo") << name;
    }
    EXPECT_EQ(files, 8);
}

TEST(LwoInfo, TsvListsLayersAndErrors)
{
    std::string tool = std::string(DUNRAVEL_BINARY_DIR) + "/tools/lwo-info/lwo-info";
    if (!std::filesystem::exists(tool))
        SKIP_UNLESS_CI() << "lwo-info is not built";
    LwoObject obj;
    obj.layers.push_back(make_layer({0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0}, {{0, 1, 2, 3}, {0, 2}}));
    obj.layers.push_back(make_layer({0, 0, 0, 1, 0, 0}, {{0, 1}}));
    std::string path = build_path("lw_info_two_layers.lwo");
    ASSERT_TRUE(lwo_write_file(path, lwo_build(obj)));
    std::string broken = corpus("truncated_in_chunk.lwo");
    std::string command = tool + " --tsv " + path + " " + broken + " " + path + "; echo status $?";
    FILE* p = popen(command.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, p))
        out += buffer;
    pclose(p);
    std::string layers = path + "\t0\t4\t2\t2\n" + path + "\t1\t2\t1\t-\n";
    EXPECT_EQ(out, layers + broken + "\t-\terror\tERROR: END OF FILE\n" + layers + "status 1\n");
}

TEST(LwoInfo, AFileThatCannotBeOpenedSaysSo)
{
    std::string tool = std::string(DUNRAVEL_BINARY_DIR) + "/tools/lwo-info/lwo-info";
    if (!std::filesystem::exists(tool))
        SKIP_UNLESS_CI() << "lwo-info is not built";
    std::string missing = build_path("no_such_object.lwo"), motion = build_path("no_such_motion.mo");
    std::string command = tool + " " + missing + " " + motion + " 2>&1; echo status $?";
    FILE* p = popen(command.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, p))
        out += buffer;
    pclose(p);
    EXPECT_EQ(out, missing + ": cannot open it (No such file or directory)\n" + motion +
                       ": cannot open it (No such file or directory)\nstatus 1\n");
}
