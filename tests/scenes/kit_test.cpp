// The scene kit: the camera set-up takes its viewport from the frame and puts
// the clipper's near plane where the camera's is, the two letterbox windows
// hold the rows they say, and a planar shadow lands on its plane in one
// colour and leaves the mesh as it found it.
#include "../overlays/overlay_fixture.h"

#include "scene/billboard.h"
#include "scene/mesh.h"
#include "scenes/kit.h"

#include <cstring>

namespace
{

// A camera-space triangle at depth z, well inside the window.
int32_t near_clipped_count(float z)
{
    MeshVertex in[3], out[CLIP_BUFFER_SIZE];
    std::memset(in, 0, sizeof in);
    const float xy[3][2] = {{-1.0f, -1.0f}, {0.0f, 1.0f}, {1.0f, -1.0f}};
    for (int k = 0; k < 3; ++k) {
        in[k].tx = xy[k][0];
        in[k].ty = xy[k][1];
        in[k].tz = z;
        in[k].tw = 1.0f;
    }
    return clip_near(in, 3, out);
}

} // namespace

class SceneKit : public OverlayFrame
{
};

TEST_F(SceneKit, CameraLookFillsTheFramesViewportAndTheClippersNearPlane)
{
    SceneFrame frame = scene_frame_at(0.0, nullptr);
    frame.width = 320;
    frame.height = 240;
    Camera camera;
    std::memset(&camera, 0x5a, sizeof camera); // whatever was there before
    camera_look(&camera, frame, {0.0f, 0.0f, 20.0f}, {0.0f, 0.0f, 0.0f}, 10.0f, 100.0f, 90.0f);
    EXPECT_EQ(camera.viewport_x, 0.0f);
    EXPECT_EQ(camera.viewport_y, 0.0f);
    EXPECT_EQ(camera.viewport_width, 320.0f);
    EXPECT_EQ(camera.viewport_height, 240.0f);
    // The target projects to the middle of that viewport.
    const Vec3 target = {0.0f, 0.0f, 0.0f};
    Vec3 eye_space;
    transform_point(&camera.view, &target, &eye_space);
    EXPECT_NEAR(eye_space.z, -20.0f, 1e-4f);
    MeshVertex v{};
    v.tx = eye_space.x;
    v.ty = eye_space.y;
    v.tz = eye_space.z;
    v.tw = 1.0f;
    project_vertices(&camera.screen, &v, 1);
    EXPECT_NEAR(v.tx, 160.0f, 1e-3f);
    EXPECT_NEAR(v.ty, 120.0f, 1e-3f);

    // A triangle 5 units in front of the eye is nearer than the near plane
    // at 10 and is clipped away; at 15 it stays whole.
    EXPECT_LT(near_clipped_count(-5.0f), 3);
    EXPECT_EQ(near_clipped_count(-15.0f), 3);
    raster_reset_state(); // back to near = 1: the same triangle is kept
    EXPECT_EQ(near_clipped_count(-5.0f), 3);
}

TEST_F(SceneKit, LetterboxWindowsHoldThePicturesRows)
{
    SceneFrame frame = scene_frame_at(0.0, nullptr);
    float x0, y0, x1, y1;
    letterbox_window(frame);
    get_clip_window(&x0, &y0, &x1, &y1);
    EXPECT_EQ(x0, 0.0f);
    EXPECT_EQ(x1, 640.0f);
    EXPECT_EQ(y0, static_cast<float>(LETTERBOX_TOP - 1));
    EXPECT_EQ(y1, static_cast<float>(LETTERBOX_BOTTOM - 1));
    letterbox_window_inside(frame);
    get_clip_window(&x0, &y0, &x1, &y1);
    EXPECT_EQ(y0, static_cast<float>(LETTERBOX_TOP));
    EXPECT_EQ(y1, static_cast<float>(LETTERBOX_BOTTOM - 1));
    frame.width = 320; // the window follows the frame's width
    letterbox_window(frame);
    get_clip_window(&x0, &y0, &x1, &y1);
    EXPECT_EQ(x1, 320.0f);
}

TEST_F(SceneKit, PlanarShadowLandsOnItsPlaneInOneColourAndRestoresTheMesh)
{
    // A flat square 2 wide, lifted 3 above a floor at y = -1, lit straight down.
    Mesh* quad = mesh_create(4, 2);
    ASSERT_NE(quad, nullptr);
    ASSERT_EQ(billboard_triangles(quad, 1), 1);
    const Vec3 centre = {0.0f, 0.0f, 0.0f};
    billboard_quad(&BILLBOARD_Z, &BILLBOARD_X, &centre, 1.0f, quad->vertices);
    quad->flags = MESH_TWO_SIDED;
    Matrix lifted;
    matrix_translation(&lifted, 0.0f, 2.0f, 0.0f);
    const float floor_plane[4] = {0.0f, 1.0f, 0.0f, 1.0f};
    const float down[4] = {0.0f, 1.0f, 0.0f, 0.0f};

    // The camera above and in front, looking down at the floor.
    const SceneFrame frame = scene_frame_at(0.0, nullptr);
    Camera camera;
    camera_look(&camera, frame, {0.0f, 6.0f, 6.0f}, {0.0f, -1.0f, 0.0f}, 1.0f, 64.0f, 45.0f);
    fill(0);
    planar_shadow_draw(quad, &camera, &lifted, floor_plane, down, 0xff404040u, FILL_FLAT, CLIP_NEAR | CLIP_WINDOW);
    int32_t shadow = 0, other = 0;
    for (uint32_t p : pixels_) {
        if (p == 0xff404040u)
            ++shadow;
        else if (p != 0u)
            ++other;
    }
    EXPECT_GT(shadow, 1000);
    EXPECT_EQ(other, 0);
    EXPECT_EQ(std::memcmp(&quad->model, &lifted, sizeof lifted), 0);
    EXPECT_EQ(quad->flags & MESH_DIVIDE_W, 0u);
    EXPECT_EQ(quad->triangles[1].lit_colour, 0xff404040u);

    // Straight down, the shadow covers what the square itself covers when it
    // is put on the floor.
    const std::vector<uint32_t> shadow_frame = pixels_;
    fill(0);
    Matrix on_floor;
    matrix_translation(&on_floor, 0.0f, -1.0f, 0.0f);
    quad->model = on_floor;
    mesh_transform_view(quad, &camera, 0);
    draw_mesh(quad, &camera, FILL_FLAT, CLIP_NEAR | CLIP_WINDOW);
    int32_t differ = 0, drawn = 0;
    for (size_t i = 0; i < pixels_.size(); ++i) {
        drawn += pixels_[i] != 0u;
        differ += (pixels_[i] != 0u) != (shadow_frame[i] != 0u);
    }
    EXPECT_NEAR(drawn, shadow, drawn / 50);
    EXPECT_LE(differ, drawn / 50); // edge pixels may round either way
    mesh_free(quad);
}
