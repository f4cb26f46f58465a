// Fixture of the scene tests that draw frames from the generated data set
// (data/ in the source folder): the overlay tests' private frame and depth
// buffer, the texture table and one scene loaded, and a frame drawn at a beat.
// Relies on overlay_fixture.h and the scene's load, free, render and finish.
#pragma once

#include "prerequisite.h"
#include "../overlays/overlay_fixture.h"

#include "image/texture_table.h"

#include <filesystem>
#include <string>

template <int32_t (*scene_load)(), void (*scene_free)(), void (*scene_render)(const SceneFrame&),
          void (*scene_finish)(const SceneFrame&) = nullptr>
class SceneFrames : public OverlayFrame
{
  protected:
    // Points "data\..." names at the data set, loads the texture table and
    // the scene; the test is skipped when `probe`, one of its files, is missing.
    // Call it last in SetUp: a skip or a failed load ends the set-up there.
    void load_data_set(const char* probe)
    {
        const std::string data = std::string(DUNRAVEL_SOURCE_DIR) + "/data";
        if (!std::filesystem::exists(data + "/" + probe))
            SKIP_UNLESS_CI() << "no data set in " << data << " (make it with scripts/data.sh)";
        paths_set_data_dir(data.c_str());
        ASSERT_EQ(texture_table_load(), 0);
        ASSERT_EQ(scene_load(), 0);
    }
    void TearDown() override
    {
        scene_free();
        texture_table_free();
        OverlayFrame::TearDown();
    }
    // A black frame and a clear depth buffer, then the scene at `beat` as the
    // timeline draws it.
    void draw(double beat)
    {
        fill(0);
        depth_buffer_fill(depth_buffer, DEPTH_CLEAR);
        set_beat(beat);
        draw_stages(scene_render, scene_finish);
    }
};
