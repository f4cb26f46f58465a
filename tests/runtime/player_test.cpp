// The player's keys as pure functions: what each key does, where seeks land
// (bars, beats, scenes, the ends of the show, frame steps on the 1/60-s
// grid), held keys repeating by time whatever the frame times, and the
// position line: its text, where it lies and that the picture comes back.
#include "core/frame.h"
#include "runtime/clock.h"
#include "runtime/effects.h"
#include "runtime/player.h"
#include "runtime/position_line.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

constexpr double BEAT = 60.0 / 90.0;
constexpr double SHOW_END = 410 * BEAT; // the timeline's end, before the music's

double land(int32_t sym, int32_t modifiers, double from_beat, double end = SHOW_END)
{
    return player_target(player_key(sym, modifiers), from_beat * BEAT, end) / BEAT;
}

} // namespace

TEST(PlayerKeys, FollowTheKeysMediaPlayersShare)
{
    EXPECT_EQ(player_key(SDLK_ESCAPE, 0).command, PLAYER_QUIT);
    EXPECT_EQ(player_key(SDLK_SPACE, 0).command, PLAYER_PAUSE);
    EXPECT_EQ(player_key(SDLK_1, 0).command, PLAYER_SCREENSHOT);
    EXPECT_EQ(player_key(SDLK_F12, 0).command, PLAYER_SCREENSHOT);
    EXPECT_EQ(player_key(SDLK_PAGEUP, 0).command, PLAYER_PREVIOUS_SCENE);
    EXPECT_EQ(player_key(SDLK_PAGEDOWN, 0).command, PLAYER_NEXT_SCENE);
    EXPECT_EQ(player_key(SDLK_HOME, 0).command, PLAYER_HOME);
    EXPECT_EQ(player_key(SDLK_f, 0).command, PLAYER_FULLSCREEN);
    EXPECT_EQ(player_key(SDLK_m, 0).command, PLAYER_MUTE);
    EXPECT_EQ(player_key(SDLK_o, 0).command, PLAYER_POSITION);
    EXPECT_EQ(player_key(SDLK_a, 0).command, PLAYER_NONE);

    // Arrows: a bar, with Shift a beat (either Shift key), up and down 16 beats.
    EXPECT_EQ(player_key(SDLK_LEFT, 0).amount, -4);
    EXPECT_EQ(player_key(SDLK_RIGHT, 0).amount, 4);
    EXPECT_EQ(player_key(SDLK_LEFT, KMOD_LSHIFT).amount, -1);
    EXPECT_EQ(player_key(SDLK_RIGHT, KMOD_RSHIFT).amount, 1);
    EXPECT_EQ(player_key(SDLK_UP, 0).amount, 16);
    EXPECT_EQ(player_key(SDLK_DOWN, KMOD_LSHIFT).amount, -16);
    EXPECT_EQ(player_key(SDLK_PERIOD, 0).command, PLAYER_STEP);
    EXPECT_EQ(player_key(SDLK_PERIOD, 0).amount, 1);
    EXPECT_EQ(player_key(SDLK_COMMA, 0).amount, -1);

    // Seeks and steps repeat when held; quitting, pausing and toggles do not.
    EXPECT_TRUE(player_key_repeats(PLAYER_SEEK));
    EXPECT_TRUE(player_key_repeats(PLAYER_STEP));
    EXPECT_FALSE(player_key_repeats(PLAYER_PAUSE));
    EXPECT_FALSE(player_key_repeats(PLAYER_NEXT_SCENE));
    EXPECT_FALSE(player_key_repeats(PLAYER_MUTE));
}

TEST(PlayerTargets, BarsAndBeatsMoveByTheTempo)
{
    EXPECT_NEAR(land(SDLK_RIGHT, 0, 100.0), 104.0, 1e-9);
    EXPECT_NEAR(land(SDLK_LEFT, 0, 100.5), 96.5, 1e-9);
    EXPECT_NEAR(land(SDLK_LEFT, KMOD_SHIFT, 100.0), 99.0, 1e-9);
    EXPECT_NEAR(land(SDLK_UP, 0, 100.0), 116.0, 1e-9);
    EXPECT_NEAR(land(SDLK_HOME, 0, 250.0), 0.0, 1e-9);
}

TEST(PlayerTargets, StopAtZeroBeforeTheStartAndAtTheEndCardPastTheEnd)
{
    EXPECT_EQ(land(SDLK_LEFT, 0, 2.0), 0.0);
    EXPECT_EQ(land(SDLK_DOWN, 0, 0.0), 0.0);
    EXPECT_NEAR(land(SDLK_UP, 0, 396.0), PLAYER_END_CARD_BEAT, 1e-9);
    EXPECT_NEAR(land(SDLK_RIGHT, 0, 380.0), 384.0, 1e-9); // not past the end: moves normally
    // Already past the card when the seek would leave the show: it stays.
    EXPECT_NEAR(land(SDLK_RIGHT, 0, 408.0), 408.0, 1e-9);
    EXPECT_NEAR(land(SDLK_UP, 0, 400.0), 400.0, 1e-9);
    // A track that ends before the timeline (and the card): its last whole beat.
    EXPECT_NEAR(land(SDLK_UP, 0, 290.0, 300.2 * BEAT), 300.0, 1e-9);
    EXPECT_EQ(player_clamp(-1.0, 3.0, SHOW_END), 0.0);
}

TEST(PlayerTargets, PageKeysGoFromSceneToScene)
{
    EXPECT_NEAR(land(SDLK_PAGEDOWN, 0, 0.0), 44.0, 1e-9);
    EXPECT_NEAR(land(SDLK_PAGEDOWN, 0, 50.0), 76.0, 1e-9);
    EXPECT_NEAR(land(SDLK_PAGEDOWN, 0, 320.0), 361.0, 1e-9); // the end scene starts in the collider's beats
    EXPECT_NEAR(land(SDLK_PAGEDOWN, 0, 370.0), PLAYER_END_CARD_BEAT, 1e-9); // no scene after: the end card
    EXPECT_NEAR(land(SDLK_PAGEUP, 0, 250.0), 228.0, 1e-9);                  // the start of the scene playing
    EXPECT_NEAR(land(SDLK_PAGEUP, 0, 228.5), 196.0, 1e-9); // within its first beat: the one before
    EXPECT_NEAR(land(SDLK_PAGEUP, 0, 365.0), 361.0, 1e-9);
    EXPECT_NEAR(land(SDLK_PAGEUP, 0, 20.0), 0.0, 1e-9);
    EXPECT_NEAR(land(SDLK_PAGEUP, 0, 0.5), 0.0, 1e-9);
}

TEST(PlayerTargets, ChaptersAreTheElevenScenesAndEveryStatefulOneAdvances)
{
    // Whichever stage a row draws in, the overlay and post-filter rows are
    // not chapters, and every scene that carries state is advanced by a seek.
    std::vector<std::string> scenes, advancing;
    for (int32_t row = 0; row < TIMELINE_COUNT; row++) {
        if (timeline_row_is_scene(row))
            scenes.push_back(timeline_name(row));
        if (timeline_row_advances(row))
            advancing.push_back(timeline_name(row));
    }
    EXPECT_EQ(scenes, (std::vector<std::string>{"title", "metaball", "tunnel", "water", "ribbon", "twister",
                                                 "spikeball", "greetings", "terrain", "collider", "end"}));
    EXPECT_EQ(advancing,
              (std::vector<std::string>{"metaball", "spikeball", "greetings", "collider", "end"}));
}

TEST(PlayerTargets, FrameStepsKeepToTheSixtiethGrid)
{
    const auto step = [](int32_t sym, double seconds) {
        return player_target(player_key(sym, 0), seconds, SHOW_END);
    };
    EXPECT_DOUBLE_EQ(step(SDLK_PERIOD, 10.0), 10.0 + 1.0 / 60.0);
    EXPECT_DOUBLE_EQ(step(SDLK_COMMA, 10.0), 10.0 - 1.0 / 60.0);
    // Between two steps (a live frame's time): forward to the next, back to the one before.
    EXPECT_DOUBLE_EQ(step(SDLK_PERIOD, 10.005), 601.0 / 60.0);
    EXPECT_DOUBLE_EQ(step(SDLK_COMMA, 10.005), 600.0 / 60.0);
    EXPECT_EQ(step(SDLK_COMMA, 0.0), 0.0);
    // Stepping forward and back returns to the same frame.
    EXPECT_DOUBLE_EQ(step(SDLK_COMMA, step(SDLK_PERIOD, 123.0 / 60.0)), 123.0 / 60.0);
}

TEST(KeyRepeatByTime, RepeatsAfterTheDelayAtItsOwnRateWhateverTheFrameTimes)
{
    const int64_t hz = 1000; // one tick a millisecond
    KeyRepeat r = {};
    key_repeat_press(&r, SDLK_RIGHT, 0, 0, hz);
    EXPECT_EQ(key_repeat_due(&r, 399, hz), 0);
    EXPECT_EQ(key_repeat_due(&r, 400, hz), 1);
    EXPECT_EQ(key_repeat_due(&r, 450, hz), 0);
    // A slow frame at 530 takes the repeat due at 500; the next stays due at 600.
    EXPECT_EQ(key_repeat_due(&r, 530, hz), 1);
    EXPECT_EQ(key_repeat_due(&r, 599, hz), 0);
    EXPECT_EQ(key_repeat_due(&r, 600, hz), 1);
    // The same hold polled every millisecond or every 50 gives the same count.
    KeyRepeat fine = {}, coarse = {};
    key_repeat_press(&fine, SDLK_LEFT, 0, 0, hz);
    key_repeat_press(&coarse, SDLK_LEFT, 0, 0, hz);
    int32_t a = 0, b = 0;
    for (int64_t t = 0; t <= 2000; t++)
        a += key_repeat_due(&fine, t, hz);
    for (int64_t t = 0; t <= 2000; t += 50)
        b += key_repeat_due(&coarse, t, hz);
    EXPECT_EQ(a, 17); // 400, 500, ..., 2000
    EXPECT_EQ(b, a);
    // A stall is not made up for: one repeat, then the rate again.
    EXPECT_EQ(key_repeat_due(&fine, 5000, hz), 1);
    EXPECT_EQ(key_repeat_due(&fine, 5050, hz), 0);
    EXPECT_EQ(key_repeat_due(&fine, 5100, hz), 1);
}

TEST(KeyRepeatByTime, StopsOnTheHeldKeysReleaseOnly)
{
    KeyRepeat r = {};
    key_repeat_press(&r, SDLK_RIGHT, KMOD_LSHIFT, 0, 1000);
    key_repeat_release(&r, SDLK_LEFT); // another key
    EXPECT_EQ(key_repeat_due(&r, 400, 1000), 1);
    EXPECT_EQ(r.modifiers, KMOD_LSHIFT); // repeats as pressed
    key_repeat_release(&r, SDLK_RIGHT);
    EXPECT_EQ(key_repeat_due(&r, 10000, 1000), 0);
    // A new press takes over from the one held.
    key_repeat_press(&r, SDLK_RIGHT, 0, 0, 1000);
    key_repeat_press(&r, SDLK_PERIOD, 0, 100, 1000);
    EXPECT_EQ(key_repeat_due(&r, 450, 1000), 0);
    EXPECT_EQ(key_repeat_due(&r, 500, 1000), 1);
    EXPECT_EQ(r.sym, SDLK_PERIOD);
}

TEST(PositionLine, NamesTheSceneTheBeatAndTheTime)
{
    clock_set_tempo(DEMO_TEMPO_BPM);
    char text[96];
    player_position_text(340.0 * BEAT, text, sizeof text);
    EXPECT_EQ(std::string(text), "collider  beat 340.0  3:46.6");
    player_position_text(365.0 * BEAT, text, sizeof text); // two scenes draw: the later one
    EXPECT_EQ(std::string(text), "end  beat 365.0  4:03.3");
    player_position_text(0.0, text, sizeof text);
    EXPECT_EQ(std::string(text), "title  beat 0.0  0:00.0");
    player_position_text(405.0 * BEAT, text, sizeof text);
    EXPECT_EQ(std::string(text), "overlay  beat 405.0  4:30.0");
    char small[6];
    player_position_text(340.0 * BEAT, small, sizeof small);
    EXPECT_EQ(std::string(small), "colli");
}

TEST(PositionLine, LiesOverTheBottomBarOnlyAndLeavesThePictureAsItWas)
{
    std::vector<uint32_t> pixels(SCREEN_WIDTH * SCREEN_HEIGHT);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = 0xFF000000u | static_cast<uint32_t>(i * 2654435761u >> 8);
    const std::vector<uint32_t> picture = pixels;
    FrameSurface surface = {SCREEN_WIDTH, SCREEN_HEIGHT, SCREEN_WIDTH * 4, pixels.data()};
    FrameSurface* saved_screen = screen;
    screen = &surface;

    PositionLine line = {};
    EXPECT_EQ(position_line_draw(&line, 0), 0); // never shown: nothing drawn
    ASSERT_EQ(position_line_show(&line, "collider  beat 340.0  3:46.6", 1000, 1000, PLAYER_POSITION_MS), 0);
    EXPECT_EQ(position_line_draw(&line, 1500), 1);
    size_t changed = 0, outside = 0;
    for (int y = 0; y < SCREEN_HEIGHT; ++y)
        for (int x = 0; x < SCREEN_WIDTH; ++x) {
            const size_t i = static_cast<size_t>(y) * SCREEN_WIDTH + x;
            if (pixels[i] == picture[i])
                continue;
            changed++;
            if (x < POSITION_LINE_X || x >= POSITION_LINE_X + POSITION_LINE_W || y < POSITION_LINE_Y ||
                y >= POSITION_LINE_Y + POSITION_LINE_H)
                outside++;
        }
    EXPECT_GT(changed, static_cast<size_t>(POSITION_LINE_W * POSITION_LINE_H / 2));
    EXPECT_EQ(outside, 0u);
    EXPECT_LE(POSITION_LINE_Y + POSITION_LINE_H, SCREEN_HEIGHT);

    // Drawn twice in a row it keeps the picture, not its own first copy.
    EXPECT_EQ(position_line_draw(&line, 1600), 1);
    position_line_erase(&line);
    EXPECT_TRUE(pixels == picture);
    position_line_erase(&line); // not drawn: nothing to put back
    EXPECT_TRUE(pixels == picture);
    // Gone a second after it was shown.
    EXPECT_EQ(position_line_draw(&line, 2000), 0);
    EXPECT_TRUE(pixels == picture);

    position_line_free(&line);
    screen = saved_screen;
}
