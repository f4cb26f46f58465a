// The timeline resets the rasterizer's state before every row: a row that
// leaves a small window, odd depth planes and texture slots behind does not
// change what the next row draws.
#include "../raster/raster_fixture.h"

#include "runtime/effects.h"
#include "scene/mesh.h"

#include <cstring>

namespace
{

uint32_t odd_texel = 0xFF00FF00u;
Texture* odd_texture = nullptr;

void leave_odd_state(float)
{
    set_clip_window(100.0f, 100.0f, 20.0f, 20.0f);
    set_depth_clip(5.0f, 6.0f);
    set_environment_texture(odd_texture);
    set_bump_texture(odd_texture);
    set_offset_texture(odd_texture);
}

// One large triangle two units in front of a camera at the origin, clipped
// against the near plane and the window.
void draw_plain(float)
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

} // namespace

class TimelineState : public RasterFixture
{
};

TEST_F(TimelineState, ARowLeavingOddStateDoesNotChangeTheNextRow)
{
    odd_texture = texture_create(1, 1);
    ASSERT_NE(odd_texture, nullptr);
    odd_texture->pixels[0] = odd_texel;

    const TimelineEntry alone[] = {{draw_plain, 0, 10}};
    timeline_render_table(alone, 1, 0, 0.0f);
    const std::vector<uint32_t> expected = frame();
    int32_t drawn = 0;
    for (uint32_t p : expected)
        drawn += p != 0xFF000000u;
    EXPECT_GT(drawn, 640 * 480 / 4); // the triangle covers much of the screen

    clear(0xFF000000u);
    const TimelineEntry after_odd[] = {{leave_odd_state, 0, 10}, {draw_plain, 0, 10}};
    timeline_render_table(after_odd, 2, 0, 0.0f);
    EXPECT_EQ(frame(), expected);

    float x0, y0, x1, y1;
    leave_odd_state(0.0f);
    raster_reset_state();
    get_clip_window(&x0, &y0, &x1, &y1);
    EXPECT_EQ(x0, 0.0f);
    EXPECT_EQ(y0, 0.0f);
    EXPECT_EQ(x1, 640.0f);
    EXPECT_EQ(y1, 480.0f);
    texture_free(odd_texture);
    odd_texture = nullptr;
}
