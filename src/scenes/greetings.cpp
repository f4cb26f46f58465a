// Greetings wall (beats 228-267): a 2048-pixel wall scrolls through the
// letterbox, sixteen greeting logos appear as soft bodies, fall to the floor
// and are swept off to the left, a band picture flickers in and out, and on
// every fourth beat four lenses sweep over the picture. Relies on the clock,
// the image loaders and 2D operations, the soft bodies and the lens.
#include "scenes/scenes.h"

#include "scenes/greetings_parts.h"
#include "image/lens.h"
#include "scenes/softbody.h"

#include "core/core.h"
#include "core/frame.h"
#include "image/image.h"

#include <cmath>
#include <cstdio>
#include <cstring>

const GreetingRow greeting_rows[GREETING_COUNT] = {
    {"data\\greet_00.png", 360.0f, 60.0f, 0, 1, 2, 22},
    {"data\\greet_01.png", 440.0f, 100.0f, 2, 3, 4, 24},
    {"data\\greet_02.png", 400.0f, 140.0f, 4, 5, 6, 26},
    {"data\\greet_03.png", 260.0f, 120.0f, 6, 7, 8, 28},
    {"data\\greet_04.png", 440.0f, 100.0f, 8, 9, 10, 30},
    {"data\\greet_05.png", 320.0f, 60.0f, 9, 10, 11, 31},
    {"data\\greet_06.png", 400.0f, 120.0f, 12, 13, 14, 34},
    {"data\\greet_07.png", 440.0f, 60.0f, 13, 14, 15, 35},
    {"data\\greet_08.png", 400.0f, 80.0f, 15, 16, 17, 36},
    {"data\\greet_09.png", 440.0f, 120.0f, 16, 17, 18, 37},
    {"data\\greet_10.png", 300.0f, 60.0f, 18, 19, 20, 40},
    {"data\\greet_11.png", 440.0f, 100.0f, 19, 20, 21, 41},
    {"data\\greet_12.png", 360.0f, 80.0f, 22, 23, 24, 42},
    {"data\\greet_13.png", 440.0f, 120.0f, 23, 24, 25, 44},
    {"data\\greet_14.png", 400.0f, 80.0f, 25, 26, 27, 46},
    {"data\\greet_15.png", 80.0f, 100.0f, 28, 32, 34, 46},
};

namespace
{

constexpr double BEATS_PER_SECOND = DEMO_TEMPO_BPM / 60.0;
constexpr float STEP_SECONDS = static_cast<float>(SCENE_STEP_SECONDS);
static_assert(BEATS_PER_SECOND == 1.5 && STEP_SECONDS == 0.016666668f);
const char* const WALL_PATH = "data\\wall_big.jpg";
const char* const BAND_PATH = "data\\band.png";

enum { LENS_SIZE = 256, LENS_HALF = 128, BAND_X = 72, BAND_Y = 100 };

// A logo's state over the run: its body, its unpin beat (-1 once used) and
// whether it has left the picture for good (then it is no longer drawn).
struct Greeting {
    SoftBody* body;
    int32_t unpin;
    int32_t finished;
};

Greeting greetings[GREETING_COUNT];
Texture* wall = nullptr;
Texture* band_picture = nullptr;
Lens* lens = nullptr;
int32_t steps_done = 0;

// One line naming the file the program tried to open, and why it failed.
void report_failure()
{
    std::fprintf(stderr, "greetings: cannot load %s\n", texture_load_failure());
}

// Back to the bodies as loaded, before the first step.
void restart()
{
    for (int32_t i = 0; i < GREETING_COUNT; ++i) {
        softbody_reset(greetings[i].body);
        greetings[i].unpin = greeting_rows[i].unpin;
        greetings[i].finished = 0;
    }
    steps_done = 0;
}

void step_logos(int32_t k)
{
    const int32_t e = greetings_step_beat(k);
    for (int32_t i = 0; i < GREETING_COUNT; ++i) {
        Greeting& g = greetings[i];
        const GreetingRow& row = greeting_rows[i];
        // Finished logos step on (until their end beat) so that where every
        // body is depends only on the music time, never on which frames drew.
        if (e < row.appear || e >= row.end)
            continue;
        if (e == g.unpin) {
            softbody_unpin(g.body);
            g.unpin = -1;
        }
        if (e >= row.gravity_on) {
            g.body->gravity_x = greetings_step_pull(k);
            g.body->time_step = STEP_SECONDS;
            softbody_step(g.body);
        }
    }
}

// Every step of music time since the last frame; a clock that went back
// replays the scene from its start, so one music time is one picture.
void advance_logos(double seconds)
{
    const int32_t due = greetings_steps_due(seconds);
    if (due < steps_done)
        restart();
    while (steps_done < due)
        step_logos(++steps_done);
}

void draw_logos(int32_t e)
{
    for (int32_t i = 0; i < GREETING_COUNT; ++i) {
        Greeting& g = greetings[i];
        const GreetingRow& row = greeting_rows[i];
        if (!g.finished && e >= row.appear && e < row.end && softbody_draw(g.body))
            g.finished = 1;
    }
}

void draw_band(int32_t n, float b)
{
    if (n < 256 || n > 263)
        return;
    const float r = next_random();
    blend_image(band_picture, BAND_X, BAND_Y, greetings_band_alpha(n, b, r), BLEND_ALPHA);
}

float peak(float s)
{
    return core_pow(0.5f * s + 0.5f, 16.0f);
}

// Four lenses in two pairs, each pair with its own strength.
void draw_lenses(float b, float seconds)
{
    const int32_t d = LENS_SIZE, l = LENS_HALF;
    lens_set_strength(lens, 100.0f - 32.0f * peak(core_sin(CORE_PI * b)));
    const int32_t a = float_to_int(128.0f * peak(core_cos(0.5f * CORE_PI * b)));
    lens_apply(-l / 2 + a, float_to_int(140.0f * core_sin(seconds) + 240.0f) - l, lens);
    lens_apply(640 - l - d / 4 - a, float_to_int(140.0f * core_cos(seconds) + 240.0f) - l, lens);
    lens_set_strength(lens, 100.0f - 32.0f * peak(core_sin(CORE_PI * b + 0.78f)));
    const int32_t c = float_to_int(128.0f * peak(core_sin(0.5f * CORE_PI * b + 0.78f)));
    const float t = 1.57f * seconds + 0.78f;
    lens_apply(d / 4 + c, float_to_int(140.0f * core_sin(t) + 240.0f) - l, lens);
    lens_apply(640 - 2 * l - d / 4 - c, float_to_int(140.0f * core_cos(t) + 240.0f) - l, lens);
}

} // namespace

int32_t greetings_steps_due(double seconds)
{
    const double per_beat = static_cast<double>(GREETINGS_STEPS_PER_BEAT);
    const double steps =
        (seconds * BEATS_PER_SECOND - static_cast<double>(GREETINGS_FIRST_BEAT)) * per_beat;
    const double last = static_cast<double>(GREETINGS_END_BEAT - GREETINGS_FIRST_BEAT) * per_beat;
    if (!(steps > 0.0))
        return 0;
    if (steps >= last)
        return static_cast<int32_t>(last);
    // A hair of tolerance: a frame on a step's time counts that step.
    return static_cast<int32_t>(std::floor(steps + 1e-6));
}

int32_t greetings_step_beat(int32_t k)
{
    return k / GREETINGS_STEPS_PER_BEAT;
}

float greetings_step_pull(int32_t k)
{
    return greetings_step_beat(k) < 260 - GREETINGS_FIRST_BEAT ? -92.0f : -32.0f;
}

int32_t greetings_scroll(float b, int32_t wall_width)
{
    const float travel = static_cast<float>(wall_width - 640);
    return float_to_int(core_floor((b - static_cast<float>(GREETINGS_FIRST_BEAT)) / 40.0f * travel));
}

int32_t greetings_band_alpha(int32_t n, float b, float r)
{
    if (n >= 256 && n <= 259)
        return float_to_int(255.0f * (r + 1.0f) / 2.0f * (b - 256.0f) / 4.0f);
    if (n >= 260 && n <= 263)
        return float_to_int(255.0f * (r + 1.0f) / 2.0f * (1.0f - (b - 260.0f) / 4.0f));
    return -1;
}

int32_t greetings_lens_beat(int32_t n)
{
    return n % 4 == 0 ? 1 : 0;
}

const SoftBody* greetings_body(int32_t row)
{
    return row >= 0 && row < GREETING_COUNT ? greetings[row].body : nullptr;
}

void greetings_free()
{
    for (Greeting& g : greetings) {
        softbody_free(g.body);
        g.body = nullptr;
        g.finished = 0;
    }
    texture_free(wall);
    wall = nullptr;
    texture_free(band_picture);
    band_picture = nullptr;
    lens_free(lens);
    lens = nullptr;
    steps_done = 0;
}

int32_t greetings_load()
{
    for (int32_t i = 0; i < GREETING_COUNT; ++i) {
        const GreetingRow& row = greeting_rows[i];
        greetings[i].body = softbody_from_image(row.file, row.x, row.y, GREETING_PIXEL, GREETING_PIXEL);
        if (!greetings[i].body) {
            report_failure();
            greetings_free();
            return 1;
        }
    }
    wall = texture_load_jpeg(WALL_PATH, 0);
    if (!wall) {
        report_failure();
        greetings_free();
        return 1;
    }
    band_picture = texture_load_png(BAND_PATH, 0);
    if (!band_picture) {
        report_failure();
        greetings_free();
        return 1;
    }
    lens = lens_create(LENS_SIZE, 64.0f);
    if (!lens) {
        std::fprintf(stderr, "greetings: out of memory for the lens\n");
        greetings_free();
        return 1;
    }
    restart();
    return 0;
}

void greetings_render(const SceneFrame& frame)
{
    if (!lens)
        return; // not loaded
    const float seconds = static_cast<float>(frame.seconds);
    const int32_t n = frame.beat_index;
    const float b = frame.beat;
    const int32_t e = n - GREETINGS_FIRST_BEAT;

    // 1. The scrolling wall and the band picture.
    blit_image(wall, -greetings_scroll(b, wall->width), LETTERBOX_TOP, BLIT_COPY);
    draw_band(n, b);
    // 2. The logos' soft bodies stepped to this time and drawn.
    advance_logos(frame.seconds);
    draw_logos(e);
    // 3. The lenses over the finished picture on their beats.
    if (greetings_lens_beat(n))
        draw_lenses(b, seconds);
}

void greetings_advance(double seconds)
{
    if (!lens)
        return; // not loaded
    advance_logos(seconds);
}
