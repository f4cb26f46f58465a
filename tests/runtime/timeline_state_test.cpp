// The timeline resets the rasterizer's state before every row and stage: a
// row that leaves a small window, odd depth planes and texture slots behind
// does not change what the next row or its own finish stage draws.
#include "../raster/raster_fixture.h"

#include "runtime/effects.h"
#include "scene/mesh.h"

#include <cstring>

namespace
{

uint32_t odd_texel = 0xFF00FF00u;
Texture* odd_texture = nullptr;

void leave_odd_state(const SceneFrame&)
{
    set_clip_window(100.0f, 100.0f, 20.0f, 20.0f);
    set_depth_clip(5.0f, 6.0f);
    set_environment_texture(odd_texture);
    set_bump_texture(odd_texture);
    set_offset_texture(odd_texture);
}

// One large triangle two units in front of a camera at the origin, clipped
// against the near plane and the window.
void draw_plain(const SceneFrame&)
{
    Camera camera;
    std::memset(&camera, 0, sizeof camera);
    camera.eye = {0.0f, 0.0f, 0.0f};
    camera.target = {0.0f, 0.0f, -1.0f};
    camera.near = 1.0f;
    camera.far = 100.0f;
    camera.fov = 60.0f;
    camera.viewport_width = 640.0f;
    camera.viewport_height = 480.0f;
    camera_update(&camera);
    MeshVertex v[3];
    std::memset(v, 0, sizeof v);
    const float corners[3][2] = {{-3.0f, -3.0f}, {0.0f, 3.0f}, {3.0f, -3.0f}};
    for (int k = 0; k < 3; ++k) {
        v[k].tx = corners[k][0];
        v[k].ty = corners[k][1];
        v[k].tz = -2.0f;
        v[k].tw = 1.0f;
    }
    clip_and_draw_triangles(v, 3, &camera, nullptr, FILL_FLAT | FILL_DEPTH);
}

// What a finish stage found: the clip window and the frame it was given.
float finish_window[4];
SceneFrame finish_frame;

void record_finish(const SceneFrame& frame)
{
    get_clip_window(&finish_window[0], &finish_window[1], &finish_window[2], &finish_window[3]);
    finish_frame = frame;
}

} // namespace

class TimelineState : public RasterFixture
{
};

TEST_F(TimelineState, ARowLeavingOddStateDoesNotChangeTheNextRow)
{
    odd_texture = texture_create(1, 1);
    ASSERT_NE(odd_texture, nullptr);
    odd_texture->pixels[0] = odd_texel;

    const TimelineEntry alone[] = {{draw_plain, nullptr, 0, 10}};
    timeline_render_table(alone, 1, scene_frame_at(0.0, nullptr));
    const std::vector<uint32_t> expected = frame();
    int32_t drawn = 0;
    for (uint32_t p : expected)
        drawn += p != 0xFF000000u;
    EXPECT_GT(drawn, 640 * 480 / 4); // the triangle covers much of the screen

    clear(0xFF000000u);
    const TimelineEntry after_odd[] = {{leave_odd_state, nullptr, 0, 10}, {draw_plain, nullptr, 0, 10}};
    timeline_render_table(after_odd, 2, scene_frame_at(0.0, nullptr));
    EXPECT_EQ(frame(), expected);

    float x0, y0, x1, y1;
    leave_odd_state(scene_frame_at(0.0, nullptr));
    raster_reset_state();
    get_clip_window(&x0, &y0, &x1, &y1);
    EXPECT_EQ(x0, 0.0f);
    EXPECT_EQ(y0, 0.0f);
    EXPECT_EQ(x1, 640.0f);
    EXPECT_EQ(y1, 480.0f);
    texture_free(odd_texture);
    odd_texture = nullptr;
}

TEST_F(TimelineState, FinishStartsFromTheResetStateWithTheRowsBeat)
{
    // Beat 12.5 of a row from beat 10: the finish sees 2.5 beats into it.
    const TimelineEntry rows[] = {{leave_odd_state, record_finish, 10, 20}, {nullptr, leave_odd_state, 0, 20}};
    finish_window[2] = -1.0f;
    timeline_render_table(rows, 2, scene_frame_at(12.5 / 1.5, nullptr));
    EXPECT_EQ(finish_window[0], 0.0f);
    EXPECT_EQ(finish_window[1], 0.0f);
    EXPECT_EQ(finish_window[2], 640.0f);
    EXPECT_EQ(finish_window[3], 480.0f);
    EXPECT_EQ(finish_frame.beat_index, 12);
    EXPECT_EQ(finish_frame.row_beat, finish_frame.beat - 10.0f);
    EXPECT_NEAR(finish_frame.row_beat, 2.5f, 1e-4f);
    // The last row's finish left its odd window: the timeline resets it too.
    float x0, y0, x1, y1;
    get_clip_window(&x0, &y0, &x1, &y1);
    EXPECT_EQ(x1 - x0, 640.0f);
    EXPECT_EQ(y1 - y0, 480.0f);

    // Outside its beats a row draws neither stage.
    finish_window[2] = -1.0f;
    timeline_render_table(rows, 1, scene_frame_at(20.0 / 1.5 + 1e-3, nullptr));
    EXPECT_EQ(finish_window[2], -1.0f);
}
