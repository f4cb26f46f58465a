// Metaball scene: the step rules (refill, swell, jump), the flare beats and
// drift, the travel, the 1/60-s step grid, the same field and flares at 30,
// 60 and 240 frames a second (and after a jump or a rewind), and the flare
// rebuild against the plain scan, capped at 1,024 quads.
#include "../overlays/overlay_fixture.h"

#include "scenes/field.h"
#include "scenes/metaball_parts.h"
#include "scenes/scenes.h"

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace
{

struct Snapshot {
    std::vector<FieldPoint> points;
    std::vector<MeshVertex> flare_vertices;
    std::vector<uint32_t> flare_colours;
    float phase_a = 0.0f, phase_b = 0.0f;
};

Snapshot snapshot()
{
    Snapshot s;
    const MetaField* f = metaball_field();
    const Mesh* m = metaball_flares();
    s.points.assign(f->grid_points, f->grid_points + f->point_count);
    s.flare_vertices.assign(m->vertices, m->vertices + m->vertex_count);
    for (int32_t t = 0; t < m->triangle_count; t++)
        s.flare_colours.push_back(m->triangles[t].lit_colour);
    metaball_phases(&s.phase_a, &s.phase_b);
    return s;
}

void expect_same(const Snapshot& a, const Snapshot& b, const char* what)
{
    EXPECT_EQ(std::memcmp(&a.phase_a, &b.phase_a, sizeof(float)), 0) << what;
    EXPECT_EQ(std::memcmp(&a.phase_b, &b.phase_b, sizeof(float)), 0) << what;
    ASSERT_EQ(a.points.size(), b.points.size());
    int32_t first = -1;
    for (size_t i = 0; i < a.points.size() && first < 0; i++)
        if (std::memcmp(&a.points[i], &b.points[i], sizeof(FieldPoint)) != 0)
            first = static_cast<int32_t>(i);
    EXPECT_EQ(first, -1) << what << ": first differing field point";
    ASSERT_EQ(a.flare_vertices.size(), b.flare_vertices.size()) << what;
    EXPECT_EQ(std::memcmp(a.flare_vertices.data(), b.flare_vertices.data(),
                          a.flare_vertices.size() * sizeof(MeshVertex)),
              0)
        << what;
    EXPECT_EQ(a.flare_colours, b.flare_colours) << what;
}

// A fresh scene advanced frame by frame at fps from the scene's first frame
// to the frame at `seconds` (frame k at k / fps).
Snapshot run_at(int32_t fps, double seconds)
{
    metaball_free();
    EXPECT_EQ(metaball_load(), 0);
    const int64_t first = static_cast<int64_t>(std::ceil(beat_seconds(44.0) * fps)) - 1;
    const int64_t last = static_cast<int64_t>(std::llround(seconds * fps));
    for (int64_t k = first; k <= last; k++) {
        clock_set_time(static_cast<double>(k) / fps, 1.0 / fps);
        if (clock_beat_index() >= 44)
            metaball_advance(music_seconds);
    }
    return snapshot();
}

} // namespace

TEST(MetaballRules, FirstTwelveBeatsRefillOnTwoBeatsInFourAndJumpOnEveryFourth)
{
    for (int32_t n = 44; n <= 55; n++) {
        for (float f : {0.0f, 0.3f, 0.9f}) {
            const MetaballStep s = metaball_step_rule(n, static_cast<float>(n) + f);
            EXPECT_EQ(s.refill, n % 4 == 0 || n % 4 == 1 ? 1 : 0) << "beat " << n;
            EXPECT_EQ(s.jump, (n - 44) % 4 == 3 ? 1 : 0) << "beat " << n;
        }
    }
}

TEST(MetaballRules, LaterBeatsAlternateByHalvesThenByHalvesAndThirds)
{
    // Beats 56-59: k = (b - 44) * 2.
    EXPECT_EQ(metaball_step_rule(56, 56.0f).refill, 1);
    EXPECT_EQ(metaball_step_rule(56, 56.0f).jump, 0);
    EXPECT_EQ(metaball_step_rule(56, 56.6f).refill, 0);
    EXPECT_EQ(metaball_step_rule(56, 56.6f).jump, 1);
    // From beat 60: odd beats by halves, even beats by thirds.
    EXPECT_EQ(metaball_step_rule(61, 61.2f).refill, 1); // k = 34
    EXPECT_EQ(metaball_step_rule(61, 61.7f).refill, 0); // k = 35
    EXPECT_EQ(metaball_step_rule(62, 62.0f).refill, 1); // k = 54
    EXPECT_EQ(metaball_step_rule(62, 62.4f).refill, 0); // k = 55
    EXPECT_EQ(metaball_step_rule(62, 62.4f).jump, 1);
    EXPECT_EQ(metaball_step_rule(62, 62.7f).refill, 1); // k = 56
}

TEST(MetaballRules, FlaresShowOnTheirBeatsAndDrift)
{
    EXPECT_TRUE(metaball_flares_shown(44, 0.2f));
    EXPECT_FALSE(metaball_flares_shown(44, 0.5f));
    EXPECT_FALSE(metaball_flares_shown(45, 0.2f));
    EXPECT_TRUE(metaball_flares_shown(48, 0.0f));
    EXPECT_TRUE(metaball_flares_shown(57, 0.4f)); // every beat 56-59
    EXPECT_TRUE(metaball_flares_shown(60, 0.4f));
    EXPECT_FALSE(metaball_flares_shown(61, 0.4f));
    EXPECT_TRUE(metaball_flares_shown(72, 0.1f));
    EXPECT_FALSE(metaball_flares_shown(74, 0.1f)); // none after beat 73
    EXPECT_EQ(metaball_flare_speed(59), -92.0f);
    EXPECT_EQ(metaball_flare_speed(60), -64.0f);
}

TEST(MetaballRules, TravelComesInOverSixteenBeatsAndLeavesFromBeat74)
{
    EXPECT_EQ(metaball_travel(44, 44.0f), 0.0f);
    EXPECT_EQ(metaball_travel(52, 52.0f), 0.5f);
    EXPECT_EQ(metaball_travel(60, 60.0f), 1.0f);
    EXPECT_EQ(metaball_travel(73, 73.9f), 1.0f);
    EXPECT_EQ(metaball_travel(74, 74.0f), 1.0f);
    EXPECT_NEAR(metaball_travel(74, 74.8f), 0.0f, 1e-5f);
    EXPECT_NEAR(metaball_travel(75, 76.0f), -1.5f, 1e-5f);

    Matrix m;
    metaball_model(&m, 30.0f, 44, 44.0f, 0.0f);
    EXPECT_EQ(m.m[12], 0.0f);
    EXPECT_EQ(m.m[13], -48.0f);
    EXPECT_EQ(m.m[14], 112.0f);
    // The kick at the start of beat 56 scales by 1.5, gone by the beat's end.
    Matrix kicked, plain;
    metaball_model(&kicked, 40.0f, 56, 56.0f, 0.0f);
    metaball_model(&plain, 40.0f, 70, 70.0f, 0.999999f);
    EXPECT_NEAR(kicked.m[0] * kicked.m[0] + kicked.m[1] * kicked.m[1] + kicked.m[2] * kicked.m[2], 2.25f,
                1e-4f);
    EXPECT_NEAR(plain.m[0] * plain.m[0] + plain.m[1] * plain.m[1] + plain.m[2] * plain.m[2], 1.0f, 1e-4f);
}

TEST(MetaballRules, StepGridTakesTheLastStepAtOrBeforeTheTime)
{
    EXPECT_EQ(metaball_step_at(-1.0), -1);
    EXPECT_EQ(metaball_step_at(0.0), 0);
    for (int64_t k : {1, 59, 1760, 1761, 4559}) {
        const double t = static_cast<double>(k) / 60.0;
        EXPECT_EQ(metaball_step_at(t), k);
        EXPECT_EQ(metaball_step_at(std::nextafter(t, 0.0)), k - 1);
        EXPECT_EQ(metaball_step_at(static_cast<double>(2 * k) / 120.0), k);
        EXPECT_EQ(metaball_step_at(static_cast<double>(4 * k + 3) / 240.0), k);
    }
}

class MetaballScene : public OverlayFrame
{
  protected:
    void TearDown() override
    {
        metaball_free();
        OverlayFrame::TearDown();
    }
};

TEST_F(MetaballScene, SameFieldAndFlaresAt30And60And240FramesASecond)
{
    // Beat 60.75: past refills, swells, jumps and kicks, with flares
    // drifting since their last rebuild at beat 60.5.
    const double target = 1215.0 / 30.0; // 40.5 s, beat 60.75
    const Snapshot at60 = run_at(60, target);
    EXPECT_GT(at60.flare_vertices.size(), 0u);
    int32_t nonzero = 0;
    for (const FieldPoint& p : at60.points)
        nonzero += p.value > 1.0f;
    EXPECT_GT(nonzero, 100);
    expect_same(run_at(30, target), at60, "30 fps");
    expect_same(run_at(240, target), at60, "240 fps");

    // A first frame late in the scene brings the state up from its start;
    // so does a rewind.
    metaball_free();
    ASSERT_EQ(metaball_load(), 0);
    metaball_advance(target);
    expect_same(snapshot(), at60, "one jump from load");
    metaball_advance(beat_seconds(50.0));
    metaball_advance(target);
    expect_same(snapshot(), at60, "after a rewind");
}

TEST_F(MetaballScene, AtSixtyFramesASecondEachFrameIsOneStep)
{
    ASSERT_EQ(metaball_load(), 0);
    const Mesh* flares = metaball_flares();
    EXPECT_EQ(flares->vertex_count, 0); // nothing before the first rebuild
    // Beat 44 refills on every frame and never jumps: phase_a grows by
    // 0.9 / 60 a frame, as the frame delta would add.
    float want = 0.0f;
    for (int64_t k = 1760; k < 1780; k++) {
        clock_set_time(static_cast<double>(k) / 60.0, 1.0 / 60.0);
        ASSERT_EQ(clock_beat_index(), 44);
        draw_stages(metaball_render);
        want = static_cast<float>(want + 0.9 * (1.0 / 60.0));
        float a, b;
        metaball_phases(&a, &b);
        ASSERT_EQ(a, want) << "frame " << k;
        EXPECT_EQ(b, 0.0f);
    }
    EXPECT_GT(flares->vertex_count, 0);
    EXPECT_LE(flares->vertex_count, 4 * 1024);
}

TEST(MetaballFlares, RebuildMatchesThePlainScanAndStopsAt1024)
{
    MetaField* field = field_create(40);
    ASSERT_NE(field, nullptr);
    field_layout(field, 256.0f);
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> pos(-60.0f, 60.0f);
    for (int b = 0; b < 9; b++) {
        const Vec3 c = {pos(rng), pos(rng), pos(rng)};
        field_add_ball(field, &c, 12.0f);
    }
    Camera camera;
    metaball_camera(scene_frame_at(0.0, nullptr), &camera);
    Matrix model;
    metaball_model(&model, 33.0f, 49, 49.5f, 0.5f);
    Mesh* mesh = mesh_create(4 * 1024, 2 * 1024);
    ASSERT_NE(mesh, nullptr);
    metaball_flares_build(field, &model, &camera, mesh, 1024);

    // The plain scan: every point normalised, then both tests.
    Matrix full, normal_matrix;
    mesh_frame_matrices(&camera, &model, &full, &normal_matrix);
    int32_t count = 0, invisible = 0;
    for (int32_t i = 0; i < field->point_count && count < 1024; i++) {
        const FieldPoint& p = field->grid_points[i];
        Vec3 g = {p.gx, p.gy, p.gz}, n;
        rotate_direction(&normal_matrix, &g, &n);
        vec3_normalize(&n, &n);
        const Vec3 z = {0.0f, 0.0f, 1.0f};
        const float c = vec3_dot(&n, &z);
        if (!(c > 0.5f && 0.75f < p.value && p.value < 0.95f))
            continue;
        Vec3 pos_in = {p.x, p.y, p.z}, v;
        transform_point(&model, &pos_in, &v);
        const float h = 2.0f * (4.0f * (1.0f - c) + 1.0f);
        const MeshVertex* q = mesh->vertices + 4 * count;
        ASSERT_EQ(q[0].x, v.x + h) << "flare " << count;
        ASSERT_EQ(q[0].y, v.y + h);
        ASSERT_EQ(q[2].x, v.x - h);
        ASSERT_EQ(q[3].y, v.y + h);
        ASSERT_EQ(q[1].z, v.z - 1.0f);
        ASSERT_EQ(q[1].v, 1.0f);
        const int32_t level = c > 0.75f ? static_cast<int32_t>((c - 0.75f) / 0.25f * 255.0f) : 0;
        ASSERT_EQ(mesh->triangles[2 * count].lit_colour, static_cast<uint32_t>(level) * 0x01010101u);
        ASSERT_EQ(mesh->triangles[2 * count + 1].visible, level > 0 ? 1u : 0u);
        invisible += level == 0;
        count++;
    }
    EXPECT_GT(count, 20);
    EXPECT_GT(invisible, 0); // facing 0.5 < c <= 0.75: counted, grey 0, not drawn
    EXPECT_EQ(mesh->vertex_count, 4 * count);
    EXPECT_EQ(mesh->triangle_count, 2 * count);

    // Every point qualifies: exactly 1,024 quads, the rest ignored.
    for (int32_t i = 0; i < field->point_count; i++) {
        FieldPoint& p = field->grid_points[i];
        p.value = 0.8f;
        p.gx = p.gy = 0.0f;
        p.gz = -1.0f; // towards the camera below
    }
    matrix_identity(&model);
    Camera straight;
    std::memset(&straight, 0, sizeof straight);
    straight.eye = {0.0f, 0.0f, 10.0f};
    straight.near = 1.0f;
    straight.far = 100.0f;
    straight.fov = 90.0f;
    straight.viewport_width = 640.0f;
    straight.viewport_height = 480.0f;
    camera_update(&straight);
    metaball_flares_build(field, &model, &straight, mesh, 1024);
    EXPECT_EQ(mesh->vertex_count, 4096);
    EXPECT_EQ(mesh->triangle_count, 2048);
    mesh_free(mesh);
    field_destroy(field);
}

TEST_F(MetaballScene, RenderWithoutALoadDrawsNothing)
{
    metaball_free();
    set_beat(50.0);
    draw_stages(metaball_render);
    for (uint32_t p : pixels_)
        ASSERT_EQ(p, 0u);
}
