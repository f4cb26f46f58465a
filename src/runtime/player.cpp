// A player's keys (player.h): the key map, the seek targets over the
// timeline's scene rows, the repeat of held keys by time and the position
// line's text. Relies on the timeline (effects.h) and SDL's key symbols.
#include "runtime/player.h"

#include "runtime/clock.h"
#include "runtime/effects.h"

#include <SDL.h>

#include <cmath>
#include <cstdio>

namespace
{

constexpr double SECONDS_PER_BEAT = beat_seconds(1.0);
constexpr int32_t STEPS_PER_SECOND = SCENE_STEPS_PER_SECOND;

// The first beat of the next scene row after beat b (< 0: none).
double next_scene_beat(double b)
{
    double best = -1.0;
    for (int32_t row = 0; row < TIMELINE_COUNT; row++) {
        const double first = timeline[row].first_beat;
        if (timeline_row_is_scene(row) && first > b && (best < 0.0 || first < best))
            best = first;
    }
    return best;
}

// The first beat of the latest scene row that starts at or before b (0: none).
double scene_start_at_or_before(double b)
{
    double best = 0.0;
    for (int32_t row = 0; row < TIMELINE_COUNT; row++) {
        const double first = timeline[row].first_beat;
        if (timeline_row_is_scene(row) && first <= b && first > best)
            best = first;
    }
    return best;
}

} // namespace

PlayerKey player_key(int32_t sym, int32_t modifiers)
{
    const bool shift = (modifiers & KMOD_SHIFT) != 0;
    switch (sym) {
    case SDLK_ESCAPE:
        return {PLAYER_QUIT, 0};
    case SDLK_SPACE:
        return {PLAYER_PAUSE, 0};
    case SDLK_1:
    case SDLK_F12:
        return {PLAYER_SCREENSHOT, 0};
    case SDLK_LEFT:
        return {PLAYER_SEEK, shift ? -1 : -4};
    case SDLK_RIGHT:
        return {PLAYER_SEEK, shift ? 1 : 4};
    case SDLK_UP:
        return {PLAYER_SEEK, 16};
    case SDLK_DOWN:
        return {PLAYER_SEEK, -16};
    case SDLK_PAGEUP:
        return {PLAYER_PREVIOUS_SCENE, 0};
    case SDLK_PAGEDOWN:
        return {PLAYER_NEXT_SCENE, 0};
    case SDLK_HOME:
        return {PLAYER_HOME, 0};
    case SDLK_PERIOD:
        return {PLAYER_STEP, 1};
    case SDLK_COMMA:
        return {PLAYER_STEP, -1};
    case SDLK_f:
        return {PLAYER_FULLSCREEN, 0};
    case SDLK_m:
        return {PLAYER_MUTE, 0};
    case SDLK_o:
        return {PLAYER_POSITION, 0};
    default:
        return {PLAYER_NONE, 0};
    }
}

bool player_key_repeats(int32_t command)
{
    return command == PLAYER_SEEK || command == PLAYER_STEP;
}

double player_clamp(double target, double now, double end_seconds)
{
    if (!(target > 0.0))
        return 0.0;
    if (target < end_seconds)
        return target;
    const double card = beat_seconds(PLAYER_END_CARD_BEAT);
    if (card >= end_seconds) // a short track: its last whole beat
        return std::fmax(0.0, beat_seconds(std::ceil(end_seconds / SECONDS_PER_BEAT) - 1.0));
    return now > card && now < end_seconds ? now : card;
}

double player_target(PlayerKey key, double now, double end_seconds)
{
    const double b = now / SECONDS_PER_BEAT;
    double target = now;
    switch (key.command) {
    case PLAYER_SEEK:
        target = beat_seconds(b + key.amount);
        break;
    case PLAYER_HOME:
        target = 0.0;
        break;
    case PLAYER_NEXT_SCENE: {
        const double next = next_scene_beat(b);
        target = next < 0.0 ? end_seconds : beat_seconds(next);
        break;
    }
    case PLAYER_PREVIOUS_SCENE:
        // Within the first beat of a scene, the one before it.
        target = beat_seconds(scene_start_at_or_before(b - 1.0));
        break;
    case PLAYER_STEP: {
        // On the grid of 1/60 s: from between two steps, the one before or after.
        const double k = std::floor(now * STEPS_PER_SECOND + 1e-6);
        const double on_grid = k / STEPS_PER_SECOND;
        const double next = key.amount > 0 ? k + key.amount : (on_grid < now - 1e-9 ? k : k + key.amount);
        target = next / STEPS_PER_SECOND;
        break;
    }
    default:
        return now;
    }
    return player_clamp(target, now, end_seconds);
}

void key_repeat_press(KeyRepeat* repeat, int32_t sym, int32_t modifiers, int64_t now, int64_t frequency)
{
    repeat->sym = sym;
    repeat->modifiers = modifiers;
    repeat->next_due = now + frequency * PLAYER_REPEAT_DELAY_MS / 1000;
}

void key_repeat_release(KeyRepeat* repeat, int32_t sym)
{
    if (repeat->sym == sym)
        repeat->sym = 0;
}

int32_t key_repeat_due(KeyRepeat* repeat, int64_t now, int64_t frequency)
{
    if (repeat->sym == 0 || now < repeat->next_due)
        return 0;
    const int64_t interval = frequency * PLAYER_REPEAT_MS / 1000;
    // Counted from when it was due; after a stall the series starts anew.
    repeat->next_due = now - repeat->next_due < interval ? repeat->next_due + interval : now + interval;
    return 1;
}

void player_position_text(double seconds, char* out, size_t size)
{
    if (size == 0)
        return;
    if (!(seconds > 0.0))
        seconds = 0.0;
    const float b = clock_beat_at(seconds);
    const int32_t n = static_cast<int32_t>(b);
    const char* scene = "overlay";
    int32_t scene_first = -1;
    for (int32_t row = 0; row < TIMELINE_COUNT; row++)
        if (timeline_row_is_scene(row) && timeline_row_active(row, n) &&
            timeline[row].first_beat > scene_first) {
            scene = timeline_name(row);
            scene_first = timeline[row].first_beat;
        }
    const int32_t tenths = static_cast<int32_t>(seconds * 10.0);
    std::snprintf(out, size, "%s  beat %.1f  %d:%02d.%d", scene, static_cast<double>(b), tenths / 600,
                  tenths / 10 % 60, tenths % 10);
}
