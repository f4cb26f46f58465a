// Twister scene: the tube's rings and their heights, a ring collapsed to zero
// radius staying finite through normals, lighting and sparkles, the sparkle
// threshold and cap, the slices' colours, the odd-beat rule and sway, the
// failed load naming its file, and frames drawn with the real data set.
#include "prerequisite.h"
#include "../overlays/overlay_fixture.h"

#include "image/image.h"
#include "scene/lighting.h"
#include "scenes/glints.h"
#include "scenes/scenes.h"
#include "scenes/twister_parts.h"
#include "scenes/kit.h"

#include <cmath>
#include <memory>
#include <set>

namespace
{

struct MeshDeleter {
    void operator()(Mesh* mesh) const { mesh_free(mesh); }
};
using MeshPtr = std::unique_ptr<Mesh, MeshDeleter>;

// The scene's camera-space chain for a mesh drawn at the origin.
void transform_and_light(Mesh* tube)
{
    Camera camera;
    camera_look(&camera, scene_frame_at(0.0, nullptr), {0.0f, 0.0f, 128.0f}, {0.0f, 0.0f, 127.0f}, 1.0f, 532.0f,
                90.0f);
    matrix_identity(&tube->model);
    mesh_transform_view(tube, &camera, TRANSFORM_NORMALS);
    Vec3 light = {0.0f, 0.0f, 1.0f};
    mesh_light(tube, &light, LIGHT_PER_VERTEX);
    mesh_sphere_map(tube);
}

TEST(TwisterGeometry, RingsRunFrom150DownTo143_75AroundTheCentreLine)
{
    MeshPtr tube(twister_tube_create());
    ASSERT_TRUE(tube);
    ASSERT_EQ(tube->vertex_count, 3120);
    ASSERT_EQ(tube->triangle_count, 6016);
    for (int32_t t = 0; t < tube->triangle_count; ++t) {
        const MeshTriangle& tri = tube->triangles[t];
        for (int32_t index : {tri.a, tri.b, tri.c}) {
            ASSERT_GE(index, 0);
            ASSERT_LT(index, tube->vertex_count);
        }
        ASSERT_EQ(tri.visible, 1u);
    }
    const float seconds = 111.0f;
    const float a = 48.0f * seconds;
    twister_build(tube.get(), seconds, a);
    EXPECT_FLOAT_EQ(tube->vertices[0].y, 150.0f);
    EXPECT_FLOAT_EQ(tube->vertices[3119].y, -143.75f);
    for (int32_t i = 0; i < TWISTER_RINGS; ++i) {
        const float y = tube->vertices[65 * i].y;
        const TwisterPoint c = twister_path(y + a);
        for (int32_t k = 0; k < 65; ++k) {
            const MeshVertex& v = tube->vertices[65 * i + k];
            ASSERT_FLOAT_EQ(v.y, y) << i;
            // (cos g - sin g, sin g + cos g) has length sqrt 2; r stays in [0, 32].
            const float d = std::hypot(v.x - c.x, v.z - c.z);
            ASSERT_LE(d, 32.0f * std::sqrt(2.0f) + 1e-3f) << i << " " << k;
        }
        // The seam vertex closes the ring.
        EXPECT_NEAR(tube->vertices[65 * i + 64].x, tube->vertices[65 * i].x, 1e-3f);
        EXPECT_NEAR(tube->vertices[65 * i + 64].z, tube->vertices[65 * i].z, 1e-3f);
    }
    // The centre line winds within 16 + 8 + 4 of the axis.
    for (float t = -500.0f; t < 500.0f; t += 7.3f) {
        const TwisterPoint p = twister_path(t);
        ASSERT_LE(std::hypot(p.x, p.z), 28.0f + 1e-3f) << t;
    }
    const TwisterPoint p0 = twister_path(0.0f);
    EXPECT_NEAR(p0.x, 16.0f + 8.0f * std::cos(0.78f) + 4.0f * std::cos(0.39f), 1e-4f);
    EXPECT_NEAR(p0.z, 8.0f * std::sin(0.78f) + 4.0f * std::sin(0.39f), 1e-4f);
}

// The tube's surface ripples round each ring and with the music time: the
// same time builds the same tube, another time another one, and no ring is
// a plain circle. Its look at given times is held by the golden frames.
TEST(TwisterGeometry, TubeRipplesRoundItsRingsAndWithTheTime)
{
    MeshPtr tube(twister_tube_create());
    ASSERT_TRUE(tube);
    // Radius of vertex k of ring i around the centre line (the corner
    // direction has length sqrt 2).
    auto radii = [&](float seconds) {
        const float a = 48.0f * seconds;
        twister_build(tube.get(), seconds, a);
        std::vector<float> r;
        for (int32_t i = 0; i < TWISTER_RINGS; ++i) {
            const TwisterPoint c = twister_path(tube->vertices[65 * i].y + a);
            for (int32_t k = 0; k < 65; ++k) {
                const MeshVertex& v = tube->vertices[65 * i + k];
                r.push_back(std::hypot(v.x - c.x, v.z - c.z) / std::sqrt(2.0f));
            }
        }
        return r;
    };
    const std::vector<float> first = radii(110.5f);
    EXPECT_EQ(radii(110.5f), first);
    int32_t rippled_rings = 0;
    for (int32_t i = 0; i < TWISTER_RINGS; ++i) {
        auto ring = first.begin() + 65 * i;
        const auto [low, high] = std::minmax_element(ring, ring + 65);
        EXPECT_GE(*low, -1e-3f) << i;
        EXPECT_LE(*high, 32.0f + 1e-3f) << i;
        rippled_rings += *high - *low > 1.0f;
    }
    EXPECT_GT(rippled_rings, TWISTER_RINGS / 2);
    for (float later : {118.25f, 129.9f}) {
        const std::vector<float> other = radii(later);
        int32_t moved = 0;
        for (size_t v = 0; v < other.size(); ++v)
            moved += std::fabs(other[v] - first[v]) > 0.5f;
        EXPECT_GT(moved, static_cast<int32_t>(other.size()) / 4) << later;
    }
}

TEST(TwisterGeometry, ZeroRadiusRingKeepsNormalsLightAndSparklesFinite)
{
    MeshPtr tube(twister_tube_create());
    MeshPtr sparkles(glint_mesh_create(TWISTER_SPARKLES, nullptr));
    ASSERT_TRUE(tube && sparkles);
    twister_build(tube.get(), 40.0f, 1920.0f);
    // Rings 0 (an open end), 20 (the middle) and 47 (the other end) pinched to
    // a point on the centre line, as a radius of 0 puts them.
    for (int32_t i : {0, 20, 47}) {
        MeshVertex* v = tube->vertices + 65 * i;
        const TwisterPoint c = twister_path(v[0].y + 1920.0f);
        for (int32_t k = 0; k < 65; ++k) {
            v[k].x = c.x;
            v[k].z = c.z;
        }
    }
    mesh_compute_normals(tube.get());
    transform_and_light(tube.get());
    Vec3 light = {0.0f, 0.0f, 1.0f};
    const int32_t count = twister_sparkles(sparkles.get(), tube.get(), &light);
    EXPECT_GT(count, 0);
    for (int32_t i = 0; i < tube->vertex_count * 6; ++i)
        ASSERT_TRUE(std::isfinite(tube->normals[i])) << i;
    for (int32_t i = 0; i < tube->vertex_count; ++i) {
        ASSERT_TRUE(std::isfinite(tube->vertices[i].u) && std::isfinite(tube->vertices[i].v)) << i;
        ASSERT_TRUE(std::isfinite(tube->vertices[i].tx) && std::isfinite(tube->vertices[i].tz)) << i;
    }
    for (int32_t t = 0; t < tube->triangle_count; ++t)
        ASSERT_TRUE(std::isfinite(tube->triangles[t].nx) && std::isfinite(tube->triangles[t].d)) << t;
    for (int32_t i = 0; i < sparkles->vertex_count; ++i)
        ASSERT_TRUE(std::isfinite(sparkles->vertices[i].x) && std::isfinite(sparkles->vertices[i].z)) << i;
}

TEST(TwisterGeometry, SparklesOnlyBeyondThreeQuartersAndAtMost1024)
{
    MeshPtr tube(twister_tube_create());
    MeshPtr sparkles(glint_mesh_create(TWISTER_SPARKLES, nullptr));
    ASSERT_TRUE(tube && sparkles);
    twister_build(tube.get(), 10.0f, 480.0f);
    Vec3 light = {0.0f, 0.0f, 1.0f};
    auto face = [&](int32_t i, float z) {
        float* n = tube->normals + 6 * i;
        n[3] = std::sqrt(1.0f - z * z);
        n[4] = 0.0f;
        n[5] = z;
    };
    for (int32_t i = 0; i < tube->vertex_count; ++i)
        face(i, 0.75f); // exactly at the threshold: no sparkle
    face(7, 1.0f);
    face(900, 0.875f);
    ASSERT_EQ(twister_sparkles(sparkles.get(), tube.get(), &light), 2);
    EXPECT_EQ(sparkles->vertex_count, 8);
    EXPECT_EQ(sparkles->triangle_count, 4);
    // Full strength: half-size 4, white; centre pushed half a normal outwards.
    const MeshVertex& p = tube->vertices[7];
    const float* n = tube->normals + 6 * 7;
    const MeshVertex* v = sparkles->vertices;
    EXPECT_FLOAT_EQ(v[0].x, p.x + 0.5f * n[0] + 4.0f);
    EXPECT_FLOAT_EQ(v[0].y, p.y + 0.5f * n[1] + 4.0f);
    EXPECT_FLOAT_EQ(v[2].x, p.x + 0.5f * n[0] - 4.0f);
    EXPECT_FLOAT_EQ(v[2].y, p.y + 0.5f * n[1] - 4.0f);
    for (int32_t k = 0; k < 4; ++k)
        EXPECT_FLOAT_EQ(v[k].z, p.z + 0.5f * n[2]);
    EXPECT_EQ(sparkles->triangles[0].lit_colour, 0xffffffffu);
    EXPECT_EQ(sparkles->triangles[1].lit_colour, 0xffffffffu);
    // Half strength: half-size 3, grey 127.
    EXPECT_FLOAT_EQ(v[4].x - v[6].x, 6.0f);
    EXPECT_EQ(sparkles->triangles[2].lit_colour, 0x7f7f7f7fu);
    EXPECT_EQ(sparkles->vertices[4].colour, 0x7f7f7f7fu);

    for (int32_t i = 0; i < tube->vertex_count; ++i)
        face(i, 1.0f);
    EXPECT_EQ(twister_sparkles(sparkles.get(), tube.get(), &light), TWISTER_SPARKLES);
    EXPECT_EQ(sparkles->vertex_count, 4096);
    EXPECT_EQ(sparkles->triangle_count, 2048);
    for (int32_t i = 0; i < tube->vertex_count; ++i)
        face(i, 0.0f);
    EXPECT_EQ(twister_sparkles(sparkles.get(), tube.get(), &light), 0);
    EXPECT_EQ(sparkles->triangle_count, 0);
}

TEST(TwisterGeometry, SlicesAreWholeSquaresOnTheCentreLine)
{
    MeshPtr rings(glint_mesh_create(TWISTER_SLICES, nullptr));
    ASSERT_TRUE(rings);
    glint_mesh_set_count(rings.get(), TWISTER_SLICES);
    const float seconds = 1.0f; // sin(pi / 2 + 0.78) lifts every slice
    twister_rings(rings.get(), seconds, 48.0f);
    const float bob = 32.0f * std::sin(0.5f * 3.1415927f + 0.78f);
    for (int32_t c = 0; c < TWISTER_SLICES; ++c) {
        const MeshVertex* v = rings->vertices + 4 * c;
        const float y = 150.0f - 300.0f * c / 28.0f + bob;
        EXPECT_NEAR(v[0].y, y, 1e-3f) << c;
        const TwisterPoint centre = twister_path(v[0].y + 48.0f);
        EXPECT_FLOAT_EQ(v[0].x, centre.x + 64.0f);
        EXPECT_FLOAT_EQ(v[2].z, centre.z - 64.0f);
        // Both triangles of every slice are drawn in the slice colour.
        EXPECT_EQ(rings->triangles[2 * c].lit_colour, 0x3f3f3f3fu) << c;
        EXPECT_EQ(rings->triangles[2 * c + 1].lit_colour, 0x3f3f3f3fu) << c;
    }
}

TEST(TwisterTiming, SlicesOnOddBeatsAndASwayAbout60)
{
    for (int32_t n = 164; n < 196; ++n)
        EXPECT_EQ(twister_slice_beat(n), n % 2) << n;
    EXPECT_FLOAT_EQ(twister_sway(72.0f), 60.0f);
    EXPECT_NEAR(twister_sway(73.0f), 100.0f, 1e-3f);
    for (float b = 164.0f; b < 196.0f; b += 0.1f) {
        ASSERT_GE(twister_sway(b), 20.0f);
        ASSERT_LE(twister_sway(b), 100.0f);
    }
}

class TwisterScene : public OverlayFrame
{
  protected:
    void TearDown() override
    {
        twister_free();
        texture_table_free();
        OverlayFrame::TearDown();
    }
    void render(double beat)
    {
        fill(0);
        depth_buffer_fill(depth_buffer, DEPTH_CLEAR);
        set_beat(beat);
        draw_stages(twister_render);
    }
    // Distinct depth values written in the letterbox.
    std::set<int32_t> depths() const
    {
        std::set<int32_t> seen;
        for (int32_t i = 0; i < SCREEN_WIDTH * SCREEN_HEIGHT; ++i)
            if (depth_buffer->values[i] != DEPTH_CLEAR)
                seen.insert(depth_buffer->values[i]);
        return seen;
    }
};

TEST_F(TwisterScene, LoadWithoutItsPicturesFailsNamingTheFile)
{
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(twister_load(), 1);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("data\\twister_bg.jpg"), std::string::npos) << err;
    render(170.0); // nothing loaded: draws nothing
    for (uint32_t p : pixels_)
        ASSERT_EQ(p, 0u);
}

TEST_F(TwisterScene, DrawsTubeOnEvenBeatsAndOnlyTheShadowDepthOnOddOnes)
{
    const std::filesystem::path data = std::filesystem::path(DUNRAVEL_SOURCE_DIR) / "data";
    if (!std::filesystem::exists(data / "twister_bg.jpg"))
        SKIP_UNLESS_CI() << "no data set at " << data << " (make it with scripts/data.sh)";
    paths_set_data_dir(data.string().c_str());
    ASSERT_EQ(texture_table_load(), 0);
    ASSERT_EQ(twister_load(), 0);
    for (double beat : {166.25, 167.25}) {
        render(beat);
        for (int y : {0, 39, 440, 479})
            for (int x = 0; x < SCREEN_WIDTH; ++x)
                ASSERT_EQ(pixel(x, y), 0u) << beat << " row " << y;
        const std::vector<uint32_t> first = pixels_;
        const std::set<int32_t> seen = depths();
        render(beat); // nothing carries over: the same time gives the same picture
        ASSERT_TRUE(first == pixels_) << beat;
        if (beat < 167.0) {
            EXPECT_GT(seen.size(), 100u) << "the tube writes its depths";
        } else {
            // Only the flat shadow on the back wall writes depth; slices and
            // sparkles add without writing it.
            ASSERT_FALSE(seen.empty());
            EXPECT_LE(*seen.rbegin() - *seen.begin(), 2) << seen.size();
        }
    }
}

} // namespace
