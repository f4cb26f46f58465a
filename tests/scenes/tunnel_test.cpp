// Light tunnel: the sphere's flight and wobble phases, the light floors, the
// lights staying inside the tunnel, loads that fail naming their file, the
// sphere's tangent frames and light vectors staying finite on faces whose
// planar coordinates collapse, and whole frames drawn from the data set.
#include "prerequisite.h"
#include "../overlays/overlay_fixture.h"

#include "image/texture_table.h"
#include "raster/raster.h"
#include "scene/deform.h"
#include "scene/lighting.h"
#include "scene/mesh_load.h"
#include "scenes/scenes.h"
#include "scenes/tunnel_parts.h"
#include "scenes/kit.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace
{

const std::filesystem::path data_set = std::filesystem::path(DUNRAVEL_SOURCE_DIR) / "data";

TEST(TunnelTiming, SphereFliesInFromBeat80ThenBobs)
{
    EXPECT_FLOAT_EQ(tunnel_sphere_depth(80, 80.0f, 53.3f), 320.0f);
    EXPECT_FLOAT_EQ(tunnel_sphere_depth(82, 82.0f, 54.7f), 172.0f);
    EXPECT_NEAR(tunnel_sphere_depth(83, 83.999f, 56.0f), 24.0f, 0.1f);
    for (float s = 56.0f; s < 67.0f; s += 0.13f) {
        const float z = tunnel_sphere_depth(84, 84.0f, s);
        EXPECT_GE(z, 24.0f) << s;
        EXPECT_LE(z, 56.0f) << s;
    }
}

TEST(TunnelTiming, WobbleRipplesThenBulgesWithZeroAtTheTurns)
{
    // d = 1.5 * (b mod 4): ripple for d < 3, bulge from 3 to 6.
    EXPECT_EQ(tunnel_wobble(80.0f).bulge, 0);
    EXPECT_FLOAT_EQ(tunnel_wobble(80.0f).envelope, 0.0f);
    EXPECT_FLOAT_EQ(tunnel_wobble(80.5f).envelope, 0.75f);
    EXPECT_FLOAT_EQ(tunnel_wobble(81.0f).envelope, 1.0f);
    EXPECT_EQ(tunnel_wobble(4.0f / 3.0f).bulge, 0); // d = 2 exactly
    EXPECT_FLOAT_EQ(tunnel_wobble(4.0f / 3.0f).envelope, 0.0f);
    EXPECT_NEAR(tunnel_wobble(81.5f).envelope, 0.75f, 1e-5f); // d = 2.25
    const TunnelWobble turn = tunnel_wobble(82.0f);           // d = 3
    EXPECT_EQ(turn.bulge, 1);
    EXPECT_FLOAT_EQ(turn.envelope, 0.0f);
    EXPECT_FLOAT_EQ(tunnel_wobble(83.0f).envelope, 1.0f);     // d = 4.5
    EXPECT_NEAR(tunnel_wobble(83.5f).envelope, 0.75f, 1e-5f); // d = 5.25
    for (float b = 76.0f; b < 100.0f; b += 0.0625f) {
        const TunnelWobble w = tunnel_wobble(b);
        EXPECT_GE(w.envelope, 0.0f) << b;
        EXPECT_LE(w.envelope, 1.0f) << b;
    }
}

TEST(TunnelLighting, FloorsKeepWallsAndDustFromGoingBlack)
{
    TunnelLight lights[2] = {{0.0f, 0.0f, 0.0f, 0.00016436556f}, {0.0f, 0.0f, 500.0f, 0.00016436556f}};
    // Far from both: 0.1 each on the wall, 0.1 and 0.25 on the dust.
    EXPECT_EQ(tunnel_light_colour(lights, 0.0f, 0.0f, 250.0f, 0.1f, 0.1f), 0x32323232u);
    EXPECT_EQ(tunnel_light_colour(lights, 0.0f, 0.0f, 250.0f, 0.1f, 0.25f), 0x58585858u);
    // At a light: full white, saturated.
    EXPECT_EQ(tunnel_light_colour(lights, 0.0f, 0.0f, 0.0f, 0.1f, 0.1f), 0xffffffffu);
    // 30 units from light 0: 1 - k * 900 = 0.852, truncated grey 217, plus 25.
    EXPECT_EQ(tunnel_light_colour(lights, 30.0f, 0.0f, 0.0f, 0.1f, 0.1f), 0xf2f2f2f2u);
}

TEST(TunnelLighting, LightsCircleInsideTheTunnel)
{
    for (float s = 50.0f; s < 67.0f; s += 0.37f) {
        const float a = 32.0f * s;
        TunnelLight lights[2];
        tunnel_lights(s, a, lights);
        EXPECT_GE(lights[0].z, 40.0f);
        EXPECT_LE(lights[0].z, 104.0f);
        EXPECT_GE(lights[1].z, 128.0f);
        EXPECT_LE(lights[1].z, 256.0f);
        for (const TunnelLight& light : lights) {
            float px, py;
            tunnel_path(light.z + a, &px, &py);
            // 24 from the centre line, inside the wall at 32 (the ring's inscribed radius).
            EXPECT_NEAR(std::hypot(light.x - px, light.y - py), 24.0f, 1e-3f) << s;
        }
    }
}

// A fan of triangles in the plane x = 0: its planar coordinates (u from x)
// are all equal, so every texture-coordinate determinant is zero.
Mesh* edge_on_disc()
{
    const int32_t spokes = 12;
    Mesh* mesh = mesh_create(spokes + 1, spokes);
    if (!mesh)
        return nullptr;
    for (int32_t i = 0; i < spokes; ++i) {
        const float f = 2.0f * CORE_PI * static_cast<float>(i) / spokes;
        mesh->vertices[i + 1].y = std::cos(f);
        mesh->vertices[i + 1].z = std::sin(f);
        MeshTriangle& t = mesh->triangles[i];
        t.a = 0;
        t.b = i + 1;
        t.c = (i + 1) % spokes + 1;
        t.visible = 1;
    }
    mesh_compute_normals(mesh);
    return mesh;
}

Camera tunnel_camera()
{
    Camera camera;
    camera_look(&camera, scene_frame_at(0.0, nullptr), {0.0f, 0.0f, 8.0f}, {0.0f, 0.0f, 7.0f}, 1.0f, 532.0f,
                90.0f);
    return camera;
}

void expect_finite_frames(const Mesh* mesh, const char* what)
{
    for (int32_t i = 0; i < mesh->vertex_count * 7; ++i)
        ASSERT_TRUE(std::isfinite(mesh->tangents[i])) << what << " tangent word " << i;
    for (int32_t i = 0; i < mesh->vertex_count; ++i)
        ASSERT_EQ(mesh->vertices[i].colour >> 24, 0u) << what << " vertex " << i;
}

TEST(TunnelSphere, EdgeOnCoordinatesLeaveTangentsFiniteWithoutAllocating)
{
    Mesh* disc = edge_on_disc();
    ASSERT_NE(disc, nullptr);
    ASSERT_EQ(mesh_save_vertices(disc), 0);
    ASSERT_NE(mesh_compute_tangents(disc), 0);
    const float* buffer = disc->tangents;
    const Camera camera = tunnel_camera();
    for (float b : {80.0f, 4.0f / 3.0f + 80.0f, 81.0f, 82.0f, 83.5f}) {
        tunnel_sphere_pose(disc, b / 1.5f, static_cast<int32_t>(b), b, &camera);
        EXPECT_EQ(disc->tangents, buffer) << "the frame must not allocate";
        expect_finite_frames(disc, "disc");
        // No tangent anywhere: the light vector is the normal's share alone,
        // so its tangent-plane bytes are the encoded zero, 127.
        int32_t without = 0;
        for (int32_t i = 0; i < disc->vertex_count; ++i) {
            const float* t = disc->tangents + 7 * i;
            if (t[0] == 0.0f && t[1] == 0.0f && t[2] == 0.0f) {
                ++without;
                EXPECT_EQ(disc->vertices[i].colour & 0xffff00u, 0x7f7f00u) << b << " vertex " << i;
            }
        }
        if (b == 80.0f) { // envelope 0: the disc is undeformed and every face edge-on
            EXPECT_EQ(without, disc->vertex_count);
        }
    }
    mesh_free(disc);
}

// The sphere's ripple half recomputes the normals once after its three waves;
// the plain order recomputes them after each wave. Same bits either way.
TEST(TunnelSphere, RippleHalfMatchesNormalsAfterEveryWave)
{
    paths_set_data_dir(data_set.string().c_str());
    Mesh* posed = mesh_load("data\\sphere.lwo");
    Mesh* plain = mesh_load("data\\sphere.lwo");
    paths_set_data_dir(nullptr);
    if (!posed || !plain) {
        mesh_free(posed);
        mesh_free(plain);
        SKIP_UNLESS_CI() << "no data set at " << data_set << " (make it with scripts/data.sh)";
    }
    const Camera camera = tunnel_camera();
    const float b = 81.25f, seconds = b / 1.5f; // d = 1.875: full ripple
    ASSERT_EQ(tunnel_wobble(b).bulge, 0);
    ASSERT_EQ(mesh_save_vertices(posed), 0);
    ASSERT_NE(mesh_compute_tangents(posed), 0);
    tunnel_sphere_pose(posed, seconds, 81, b, &camera);

    const float pi = CORE_PI, amplitude = 2.0f * tunnel_wobble(b).envelope * 0.125f;
    const WaveParams waves[3] = {
        {0, 1, {core_sin(0.134f * pi * seconds), 0.0f, 0.0f}, amplitude, 1.0f, pi * seconds, 0.0f},
        {1, 2, {0.0f, core_sin(0.016f * pi * seconds + 0.78f), 0.0f}, amplitude, 0.8f, pi * seconds, 0.0f},
        {2, 0, {0.0f, 0.0f, core_sin(0.125f * pi * seconds + 0.39f)}, amplitude, 0.96f, pi * seconds, 0.0f},
    };
    for (const WaveParams& wave : waves) {
        deform_wave(plain, &wave);
        mesh_compute_normals(plain);
    }
    for (int32_t i = 0; i < plain->vertex_count; ++i) {
        ASSERT_EQ(std::memcmp(&plain->vertices[i].x, &posed->vertices[i].x, 3 * sizeof(float)), 0) << i;
        ASSERT_EQ(std::memcmp(plain->normals + 6 * i, posed->normals + 6 * i, 3 * sizeof(float)), 0) << i;
    }
    for (int32_t i = 0; i < plain->triangle_count; ++i)
        ASSERT_EQ(std::memcmp(&plain->triangles[i].nx, &posed->triangles[i].nx, 4 * sizeof(float)), 0) << i;
    mesh_free(posed);
    mesh_free(plain);
}

class TunnelScene : public OverlayFrame
{
  protected:
    void TearDown() override
    {
        tunnel_free();
        texture_table_free();
        OverlayFrame::TearDown();
    }
    // The shared textures of the generated data set; false when there is none.
    bool load_data_set()
    {
        if (!std::filesystem::exists(data_set / "sphere.lwo"))
            return false;
        paths_set_data_dir(data_set.string().c_str());
        return texture_table_load() == 0;
    }
    void draw(double beat)
    {
        fill(0);
        depth_buffer_fill(depth_buffer, DEPTH_CLEAR);
        set_beat(beat);
        draw_stages(tunnel_render);
    }
};

TEST_F(TunnelScene, LoadFailsNamingAMissingTexture)
{
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(tunnel_load(), 1); // no texture table loaded
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("corkscrew_sepia.jpg"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    draw(90.0);
    for (uint32_t p : pixels_)
        ASSERT_EQ(p, 0u);
}

TEST_F(TunnelScene, LoadFailsNamingAMissingSphereAndFreesWhatItMade)
{
    if (!load_data_set())
        SKIP_UNLESS_CI() << "no data set at " << data_set << " (make it with scripts/data.sh)";
    paths_set_data_dir(dir_.string().c_str()); // an empty folder: no sphere.lwo
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(tunnel_load(), 1);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(data_file("sphere.lwo") + " (No such file or directory)\n"), std::string::npos)
        << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    draw(90.0);
    for (uint32_t p : pixels_)
        ASSERT_EQ(p, 0u);
}

TEST_F(TunnelScene, FramesFillTheScreenAndTheSphereIsLitAndClean)
{
    if (!load_data_set())
        SKIP_UNLESS_CI() << "no data set at " << data_set << " (make it with scripts/data.sh)";
    ASSERT_EQ(tunnel_load(), 0);
    for (double beat : {76.5, 79.0, 80.5, 82.0, 85.0, 88.0 + 2.0 / 3.0, 92.0, 99.5}) {
        draw(beat);
        int32_t black = 0;
        for (uint32_t p : pixels_)
            black += (p & 0xffffffu) == 0 ? 1 : 0;
        // The lit walls cover the screen (floor 0.1 per light: never black).
        EXPECT_LT(black, SCREEN_WIDTH * SCREEN_HEIGHT / 100) << beat;

        const std::vector<uint32_t> first = pixels_;
        draw(beat);
        EXPECT_TRUE(first == pixels_) << "same music time, same picture at " << beat;
    }

    // The sphere alone, in front of the camera: its tangents stay finite, the
    // vertices facing the viewer carry a light vector towards the viewer, and
    // the middle of its disc has no black holes.
    Mesh* sphere = mesh_load("data\\sphere.lwo");
    ASSERT_NE(sphere, nullptr);
    const float plane_u[4] = {1.0f, 0.0f, 0.0f, -1.0f};
    const float plane_v[4] = {0.0f, 1.0f, 0.0f, -1.0f};
    mesh_uv_from_planes(sphere, plane_u, plane_v);
    ASSERT_EQ(mesh_save_vertices(sphere), 0);
    ASSERT_NE(mesh_compute_tangents(sphere), 0);
    const Camera camera = tunnel_camera();
    for (double beat : {84.0, 85.0 + 1.0 / 3.0, 86.0, 87.5, 90.25}) {
        const float b = static_cast<float>(beat);
        tunnel_sphere_pose(sphere, b / 1.5f, static_cast<int32_t>(beat), b, &camera);
        expect_finite_frames(sphere, "sphere");
        for (int32_t i = 0; i < sphere->vertex_count; ++i)
            if (sphere->normals[6 * i + 5] > 0.6f) {
                ASSERT_GT(sphere->vertices[i].colour & 0xffu, 160u) << beat << " vertex " << i;
            }

        fill(0);
        depth_buffer_fill(depth_buffer, DEPTH_CLEAR);
        set_depth_clip(1.0f, 532.0f);
        sphere->texture = texture_get(TEXTURE_TUNNEL_COLOR);
        set_bump_texture(texture_get(TEXTURE_SKYDOT3));
        set_environment_texture(texture_get(TEXTURE_CORKSCREW_GRAY));
        set_offset_texture(texture_get(TEXTURE_COSINE_RAMP));
        draw_mesh(sphere, &camera, FILL_TEXTURE | FILL_DEPTH | FILL_SECOND_TEXTURE | FILL_DOT3, CLIP_WINDOW);
        // Its centre and radius on screen (fov 90: 240 pixels per unit of depth).
        MeshVertex centre;
        std::memset(&centre, 0, sizeof centre);
        const Vec3 world = {sphere->model.m[12], sphere->model.m[13], sphere->model.m[14]};
        Vec3 seen;
        transform_point(&camera.view, &world, &seen);
        centre.tx = seen.x;
        centre.ty = seen.y;
        centre.tz = seen.z;
        project_vertices(&camera.screen, &centre, 1);
        const int32_t r = static_cast<int32_t>(0.5f * 16.0f * 240.0f / -seen.z);
        const int32_t cx = static_cast<int32_t>(centre.tx), cy = static_cast<int32_t>(centre.ty);
        ASSERT_GT(r, 10) << beat;
        int32_t holes = 0, drawn = 0;
        for (int y = std::max(0, cy - r); y < std::min<int32_t>(SCREEN_HEIGHT, cy + r); ++y)
            for (int x = std::max(0, cx - r); x < std::min<int32_t>(SCREEN_WIDTH, cx + r); ++x) {
                const uint32_t p = pixel(x, y);
                drawn += p != 0 ? 1 : 0;
                holes += (p & 0xffffffu) == 0 ? 1 : 0;
            }
        EXPECT_GT(drawn, r * r) << beat;
        // The 16-bit lane rule of the specular sum may wrap a rare channel
        // to black; a stray light vector would blacken whole triangles.
        EXPECT_LT(holes, r * r / 100) << beat;
    }
    mesh_free(sphere);
}

} // namespace
