// Sphere collider: failed loads name the file in one line and leave nothing
// drawn; the timing rules (strikes, camera kicks and orbit, background and
// film strip sliding together, film frames, steps); the dents frozen
// into the large sphere the same at every frame rate and replayed after a
// jump; the film strip cross-fading without flicker; and frames inside the
// letterbox once the end scene comes in.
#include "prerequisite.h"
#include "../overlays/overlay_fixture.h"

#include "image/texture_table.h"
#include "raster/raster.h"
#include "scenes/collider_parts.h"
#include "scenes/scenes.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <vector>

namespace
{

const std::filesystem::path data_set = std::filesystem::path(DUNRAVEL_SOURCE_DIR) / "data";

constexpr double FIRST_SECONDS = 308.0 / 1.5;

float length(const Vec3& v)
{
    return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

TEST(ColliderTiming, StrikesRunOverTheHitBeatAndTheNextOne)
{
    float q = -1.0f;
    for (int32_t h : collider_hit_beats) {
        EXPECT_EQ(collider_strike(h, static_cast<float>(h), &q), 1) << h;
        EXPECT_FLOAT_EQ(q, 0.0f);
        EXPECT_EQ(collider_strike(h + 1, h + 1.5f, &q), 1) << h;
        EXPECT_FLOAT_EQ(q, 0.75f);
    }
    EXPECT_EQ(collider_strike(312, 312.5f, &q), 0);
    EXPECT_FLOAT_EQ(q, 0.0f);
    EXPECT_EQ(collider_strike(322, 322.9f, &q), 0); // 318 + 4: the beat after a strike ends it
    EXPECT_EQ(collider_strike(360, 360.0f, &q), 0);
    EXPECT_EQ(collider_strike(307, 307.9f, &q), 0);
    EXPECT_EQ(collider_strike(327, 327.95f, &q), 1); // 326's second beat, not the start of another
    EXPECT_NEAR(q, 0.975f, 1e-4f);

    // The small sphere comes in from 2.5 units to 1.8, wherever it has turned.
    for (float s : {205.3f, 220.0f, 239.9f}) {
        Vec3 far_away, near_in;
        collider_small_position(s, 0.0f, &far_away);
        collider_small_position(s, 1.0f, &near_in);
        EXPECT_NEAR(length(far_away), 2.5f, 1e-5f);
        EXPECT_NEAR(length(near_in), 1.8f, 1e-5f);
        EXPECT_NEAR(far_away.x * near_in.x + far_away.y * near_in.y + far_away.z * near_in.z, 2.5f * 1.8f,
                    1e-4f); // along one line
    }
}

TEST(ColliderTiming, CameraKicksInAndEasesBackAndStepsRoundTheOrbit)
{
    // The camera rests at about 4 and is pulled in only by the kicks that
    // start on beats 317, 327, 335, 343 and 355: each comes in at once on
    // its beat, eases back out without a jump and is at rest again within
    // three beats. Walked in sixtieths of a beat.
    const int32_t kicks[] = {317, 327, 335, 343, 355};
    std::vector<int32_t> pulled_in; // the beats where a pull-in starts
    bool resting = true;
    float last = collider_distance(308, 308.0f);
    for (int32_t step = 0; step < (360 - 308) * 60; step++) {
        const float b = 308.0f + static_cast<float>(step) / 60.0f;
        const int32_t n = static_cast<int32_t>(b);
        const float d = collider_distance(n, b);
        ASSERT_GE(d, 1.5f) << b;
        ASSERT_LE(d, 4.5f) << b;
        const bool in = d < 3.75f - 1e-5f;
        if (in && resting) {
            EXPECT_EQ(b, static_cast<float>(n)) << "a pull-in starting between beats, at " << b;
            pulled_in.push_back(n);
        }
        if (step % 60 != 0) { // within a beat no jump as large as a kick's
            EXPECT_LT(std::fabs(d - last), 0.4f) << b;
        }
        if (!pulled_in.empty() && in) {
            EXPECT_LT(b, static_cast<float>(pulled_in.back() + 3)) << "still pulled in at " << b;
        }
        resting = !in;
        last = d;
    }
    EXPECT_EQ(pulled_in, std::vector<int32_t>(std::begin(kicks), std::end(kicks)));
    for (int32_t k : kicks) { // a kick comes closer than the resting band
        EXPECT_LT(collider_distance(k, static_cast<float>(k)), 3.75f) << k;
        EXPECT_GE(collider_distance(k + 2, k + 2.999f), 3.75f - 1e-5f) << k; // back out by its end
    }
    for (float b : {360.0f, 360.5f, 365.25f, 371.9f})
        EXPECT_FLOAT_EQ(collider_distance(static_cast<int32_t>(b), b), 4.0f) << b;

    // A step on every beat, eased over the odd beats, continuous into the even
    // turn from beat 360.
    EXPECT_FLOAT_EQ(collider_orbit_angle(330, 330.0f), 330.0f);
    EXPECT_NEAR(collider_orbit_angle(331, 331.999f), 332.0f, 1e-2f);
    EXPECT_NEAR(collider_orbit_angle(359, 359.999f), collider_orbit_angle(360, 360.0f), 1e-2f);
    EXPECT_FLOAT_EQ(collider_orbit_angle(365, 365.25f), 365.25f);
}

// The film strip pushes the background in and pulls it out again: the strip's
// right edge is always the picture's left edge.
TEST(ColliderTiming, FilmStripAndBackgroundSlideTogether)
{
    EXPECT_EQ(collider_background_x(308, 308.0f), 0);
    EXPECT_EQ(collider_background_x(312, 312.0f), COLLIDER_BACKGROUND_X);
    EXPECT_EQ(collider_background_x(357, 357.0f), 205);
    EXPECT_EQ(collider_background_x(361, 361.0f), 0); // the picture fills the letterbox from here
    for (float b = 308.0f; b < 361.0f; b += 0.03125f) {
        const int32_t n = static_cast<int32_t>(b);
        EXPECT_EQ(collider_film_x(n, b, 205) + 205, collider_background_x(n, b)) << b;
        EXPECT_LE(collider_film_x(n, b, 205), 0) << b;
        EXPECT_GE(collider_film_x(n, b, 205), -205) << b;
    }

    // Four frames a beat, fifteen in the loop, the blend weight rising within each.
    EXPECT_EQ(collider_film_frame(320.125f).weight, 127);
    EXPECT_EQ(collider_film_frame(320.2499f).first, 1280 % 15);
    EXPECT_EQ(collider_film_frame(320.25f).first, 1281 % 15);
    EXPECT_EQ(collider_film_frame(320.25f).weight, 0);
}

TEST(ColliderTiming, StepsCountSixtiethsFromTheFirstBeatAndStayBounded)
{
    EXPECT_EQ(collider_steps(0.0), 0);
    EXPECT_EQ(collider_steps(FIRST_SECONDS), 0);
    EXPECT_EQ(collider_steps(FIRST_SECONDS + 1.0 / 60.0), 1);
    EXPECT_EQ(collider_steps(FIRST_SECONDS + 0.5 / 60.0), 0);
    EXPECT_EQ(collider_steps(1e12), 2560); // the scene's 64 beats
    // Every frame time of a 30, 60 or 240 Hz run that lands on a step counts it.
    for (int fps : {30, 60, 240})
        for (int64_t k = 12320 * fps / 60; k < 12320 * fps / 60 + 5000; ++k) {
            const double t = static_cast<double>(k) / fps;
            const int64_t expected = (k * 60) / fps - 12320;
            ASSERT_EQ(collider_steps(t), std::min<int64_t>(expected, 2560)) << fps << " " << k;
        }
    for (int64_t k = 0; k <= 2560; ++k)
        ASSERT_EQ(collider_steps(collider_step_seconds(k)), k);
}

class ColliderScene : public OverlayFrame
{
  protected:
    void TearDown() override
    {
        collider_free();
        texture_table_free();
        OverlayFrame::TearDown();
    }
    bool has_data_set() const { return std::filesystem::exists(data_set / "sphere.lwo"); }
    void load_data_set()
    {
        paths_set_data_dir(data_set.string().c_str());
        ASSERT_EQ(texture_table_load(), 0);
        ASSERT_EQ(collider_load(), 0);
    }
    void draw(double seconds, double frame_seconds = 1.0 / 60.0)
    {
        fill(0);
        depth_buffer_fill(depth_buffer, DEPTH_CLEAR);
        raster_reset_state();
        clock_set_time(seconds, frame_seconds);
        draw_stages(collider_render);
    }
    void draw_beat(double beat) { draw((beat + 1e-4) / 1.5); }
    // Every frame of an fps run from `from` up to `seconds`; each frame also
    // draws one shared random number, as the overlays' grain does.
    void run(int fps, double from, double seconds)
    {
        const int64_t first = static_cast<int64_t>(std::ceil(from * fps));
        for (int64_t k = first; static_cast<double>(k) / fps < seconds; ++k) {
            draw(static_cast<double>(k) / fps, 1.0 / fps);
            next_random();
        }
        draw(seconds, 1.0 / fps);
    }
    std::vector<float> debris_positions()
    {
        std::vector<float> out;
        for (int32_t i = 0; i < COLLIDER_DEBRIS_COUNT; ++i) {
            Vec3 p;
            collider_debris_position(i, &p);
            out.insert(out.end(), {p.x, p.y, p.z});
        }
        return out;
    }
    std::vector<float> rest_shape()
    {
        int32_t count = 0;
        const MeshVertex* v = collider_rest_shape(&count);
        std::vector<float> out;
        for (int32_t i = 0; v && i < count; ++i)
            out.insert(out.end(), {v[i].x, v[i].y, v[i].z});
        return out;
    }
    std::string failed_load()
    {
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(collider_load(), 1);
        std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        draw_beat(330.0);
        for (uint32_t p : pixels_)
            EXPECT_EQ(p, 0u);
        return err;
    }
};

TEST_F(ColliderScene, MissingFilesFailNamingTheFileAndFreeWhatWasMade)
{
    std::string err = failed_load();
    EXPECT_NE(err.find(data_file("sphere.lwo")), std::string::npos) << err;
    if (!has_data_set())
        SKIP_UNLESS_CI() << "no data set at " << data_set << " (make it with scripts/data.sh)";
    // The spheres load, the film strip does not: what was made is freed (the
    // sanitizer build reports it otherwise) and a second free is harmless.
    std::filesystem::copy_file(data_set / "sphere.lwo", dir_ / "sphere.lwo");
    err = failed_load();
    EXPECT_NE(err.find("collider: cannot load " + data_file("filmstrip.png") + " (No such file or directory)\n"),
              std::string::npos)
        << err;
    std::filesystem::create_directory(dir_ / "filmstrip.png");
    err = failed_load();
    EXPECT_NE(err.find("collider: cannot load " + data_file("filmstrip.png") + " (a folder, not a file)\n"),
              std::string::npos)
        << err;
    collider_free();
}

// The dents frozen into the large sphere and the debris depend on the music time only: runs
// at 30, 60 and 240 frames a second through the end of the first strike (each
// starting with a jump from wherever the last stopped) leave the same rest
// shape, and a jump back replays it exactly.
TEST_F(ColliderScene, DentsAreTheSameAtEveryFrameRateAndAfterAJumpBack)
{
    if (!has_data_set())
        SKIP_UNLESS_CI() << "no data set at " << data_set << " (make it with scripts/data.sh)";
    load_data_set();
    const std::vector<float> undented = rest_shape();
    ASSERT_FALSE(undented.empty());

    draw_beat(309.75); // past nine tenths of the strike: nothing frozen yet, no debris
    EXPECT_EQ(rest_shape(), undented);
    EXPECT_EQ(collider_debris_alive(), 0);

    const double end = 310.05 / 1.5;
    std::vector<std::vector<float>> runs, bursts;
    for (int fps : {30, 60, 240}) {
        run(fps, 309.7 / 1.5, end);
        runs.push_back(rest_shape());
        bursts.push_back(debris_positions());
    }
    EXPECT_TRUE(runs[0] == runs[1]);
    EXPECT_TRUE(runs[0] == runs[2]);
    EXPECT_EQ(collider_debris_alive(), 1);
    // The debris too, although the runs drew different counts of shared numbers.
    EXPECT_TRUE(bursts[0] == bursts[1]);
    EXPECT_TRUE(bursts[0] == bursts[2]);
    EXPECT_GT(std::set<float>(bursts[0].begin(), bursts[0].end()).size(), 100u); // spread, not one point

    // A dent: vertices only ever pushed inwards, some of them far.
    int moved = 0;
    float deepest = 1.0f;
    for (size_t i = 0; i < undented.size(); i += 3) {
        const float before = std::hypot(undented[i], undented[i + 1], undented[i + 2]);
        const float after = std::hypot(runs[0][i], runs[0][i + 1], runs[0][i + 2]);
        EXPECT_LE(after, before + 1e-5f) << i / 3;
        moved += after < before - 1e-4f;
        deepest = std::min(deepest, after);
    }
    EXPECT_GT(moved, 20);
    EXPECT_LT(deepest, 0.8f);

    draw(FIRST_SECONDS + 0.5); // back to the first strike: undented again
    EXPECT_EQ(rest_shape(), undented);
    EXPECT_EQ(collider_debris_alive(), 0);
    draw(end); // a single jump forward replays every step on the way
    EXPECT_TRUE(rest_shape() == runs[0]);
}

// The film frames cross-fade: over a quarter beat the strip keeps its
// brightness instead of fading each frame out to black.
TEST_F(ColliderScene, FilmStripCrossFadesWithoutFlicker)
{
    if (!has_data_set())
        SKIP_UNLESS_CI() << "no data set at " << data_set << " (make it with scripts/data.sh)";
    load_data_set();
    double darkest = 1e30, brightest = 0.0;
    for (int k = 0; k < 10; ++k) {
        draw_beat(320.0 + 0.025 * k);
        double sum = 0.0;
        for (int y = 10; y < 150; ++y) // the film frame between its sprocket edges
            for (int x = 30; x < 180; ++x) {
                const uint32_t p = pixel(x, y);
                sum += ((p >> 16) & 0xff) + ((p >> 8) & 0xff) + (p & 0xff);
            }
        darkest = std::min(darkest, sum);
        brightest = std::max(brightest, sum);
    }
    EXPECT_GT(brightest, 0.0);
    EXPECT_GT(darkest, 0.9 * brightest);
}

TEST_F(ColliderScene, FramesRepeatForTheSameTimeAndKeepToTheLetterboxFromBeat361)
{
    if (!has_data_set())
        SKIP_UNLESS_CI() << "no data set at " << data_set << " (make it with scripts/data.sh)";
    load_data_set();
    for (double beat : {330.5, 359.5, 362.0, 371.5}) {
        draw_beat(beat);
        const std::vector<uint32_t> first = pixels_;
        // The spheres stand in the middle of the picture: not only background.
        int bright = 0;
        for (int y = 120; y < 360; ++y)
            for (int x = 160; x < 480; ++x)
                bright += (pixel(x, y) & 0xff) > 200;
        EXPECT_GT(bright, 200) << beat;
        if (beat >= 361.0) {
            // The window is rows 39-439 (as in every letterboxed scene); the bands outside stay black.
            for (int y : {0, 38, 441, 479})
                for (int x = 0; x < SCREEN_WIDTH; ++x)
                    ASSERT_EQ(pixel(x, y), 0u) << beat << " row " << y;
        }
        draw_beat(beat);
        EXPECT_TRUE(first == pixels_) << "same music time, same picture at " << beat;
    }
}

} // namespace
