// Seeking lands on the real frame: in every scene that carries state from
// frame to frame, a seek into the middle of the scene draws exactly the frame
// that every frame drawn in order from the scene's start ends on, whether the
// state was ahead of the target (a seek back) or behind it (a seek forward).
// Runs on the generated data set with the track on the fixed-step clock, so
// the spectrum the scenes read is the music's; skipped without the data set.
#include "../overlays/overlay_fixture.h"

#include "prerequisite.h"
#include "image/texture_table.h"
#include "runtime/effects.h"
#include "scenes/scenes.h"

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace
{

struct SeekCase {
    const char* name;
    int32_t (*load)();
    void (*free)();
    SceneRender render, finish;
    double first_beat, target_beat;
    int32_t fps; // of the run from the scene's start the seek is checked against
};

const SeekCase seek_cases[] = {
    {"metaball", metaball_load, metaball_free, metaball_render, nullptr, 44.0, 60.0, 15},
    {"spikeball", spikeball_load, spikeball_free, spikeball_render, spikeball_finish, 196.0, 212.0, 30},
    {"greetings", greetings_load, greetings_free, greetings_render, nullptr, 228.0, 248.0, 15},
    {"collider", collider_load, collider_free, collider_render, nullptr, 308.0, 340.0, 10},
    {"end", end_load, end_free, end_render, nullptr, 361.0, 379.0, 15},
};

void PrintTo(const SeekCase& c, std::ostream* out)
{
    *out << c.name << " at beat " << c.target_beat;
}

class SeekFrames : public OverlayFrame, public ::testing::WithParamInterface<SeekCase>
{
  protected:
    void SetUp() override
    {
        OverlayFrame::SetUp();
        const std::string data = std::string(DUNRAVEL_SOURCE_DIR) + "/data";
        if (!std::filesystem::exists(data + "/dunravel.mp3"))
            SKIP_UNLESS_CI() << "no data set in " << data << " (make it with scripts/data.sh)";
        paths_set_data_dir(data.c_str());
        music_set_clock(MUSIC_CLOCK_FIXED, GetParam().fps);
        ASSERT_EQ(music_load(DEMO_MUSIC_PATH, DEMO_TEMPO_BPM, 0.0f), 0);
        ASSERT_EQ(music_play(), 0);
        ASSERT_EQ(texture_table_load(), 0);
        textures_loaded_ = true;
        ASSERT_EQ(GetParam().load(), 0);
        scene_loaded_ = true;
    }
    void TearDown() override
    {
        if (scene_loaded_)
            GetParam().free();
        if (textures_loaded_)
            texture_table_free();
        music_close();
        music_set_clock(MUSIC_CLOCK_DEVICE, 0);
        OverlayFrame::TearDown();
    }

    // The next frame of the fixed-step clock, drawn; `compared` frames start
    // from the same random state, so only the carried state can differ.
    void draw_next(bool compared)
    {
        music_update();
        if (compared) {
            random_seed = 12345u;
            core_srand(678u);
        }
        fill(0);
        depth_buffer_fill(depth_buffer, DEPTH_CLEAR);
        const SeekCase& c = GetParam();
        const TimelineEntry row = {c.render, c.finish, static_cast<int32_t>(c.first_beat), 410};
        timeline_render_table(&row, 1, clock_scene_frame());
    }
    // A seek as the player makes it: the music, then the carried state, then the frame.
    void seek_and_draw(double beat, bool compared)
    {
        const double landed = music_seek(beat * 60.0 / DEMO_TEMPO_BPM);
        timeline_advance(landed);
        draw_next(compared);
    }
    std::vector<uint32_t> frame() const
    {
        return std::vector<uint32_t>(screen->pixels, screen->pixels + SCREEN_WIDTH * SCREEN_HEIGHT);
    }

    bool textures_loaded_ = false, scene_loaded_ = false;
};

// The first pixel where two frames differ, for the failure message.
std::string first_difference(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b)
{
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i])
            return "first difference at x " + std::to_string(i % SCREEN_WIDTH) + ", y " +
                   std::to_string(i / SCREEN_WIDTH);
    return "the same";
}

} // namespace

TEST_P(SeekFrames, LandOnTheFrameOfARunFromTheScenesStart)
{
    const SeekCase& c = GetParam();
    const int64_t first = music_frame_at(c.first_beat * 60.0 / DEMO_TEMPO_BPM, c.fps);
    const int64_t target = music_frame_at(c.target_beat * 60.0 / DEMO_TEMPO_BPM, c.fps);
    music_seek_frame(first);
    while (music_next_frame() < target)
        draw_next(false);
    draw_next(true);
    ASSERT_EQ(music_frame_index(), target);
    const std::vector<uint32_t> expected = frame();

    // Back: the state is ahead of the target (six beats on), then the seek.
    seek_and_draw(c.target_beat + 6.0, false);
    seek_and_draw(c.target_beat, true);
    EXPECT_EQ(music_frame_index(), target);
    std::vector<uint32_t> back = frame();
    EXPECT_TRUE(back == expected) << c.name << " after a seek back: " << first_difference(back, expected);

    // Forward: from the scene's first beat, where its state starts afresh.
    seek_and_draw(c.first_beat, false);
    seek_and_draw(c.target_beat, true);
    std::vector<uint32_t> forward = frame();
    EXPECT_TRUE(forward == expected) << c.name
                                     << " after a seek forward: " << first_difference(forward, expected);
}

INSTANTIATE_TEST_SUITE_P(Scenes, SeekFrames, ::testing::ValuesIn(seek_cases),
                         [](const ::testing::TestParamInfo<SeekCase>& info) {
                             return std::string(info.param.name);
                         });
