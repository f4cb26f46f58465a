// The overlays' own drawing operations (grain, row glitches, fades, hand
// sprites), the shared ease envelope, and a view of the post filter's
// scratches and cracks for inspection. Everything works on the frame surface
// and the runtime random sequence. Relies on core and image.
#pragma once

#include "scene/scene_frame.h"

#include <cstdint>

struct Texture;

// ---- Ease envelope: a two-key TCB envelope from start (time 0) to end (time 1),
// constant outside; ease_in starts slow, ease_out ends slow.
float ease_in(float start, float end, float s);
float ease_out(float start, float end, float s);

// ---- Text overlay operations (grain only inside the letterbox rows 40..439).
// The grain image must be at least 256 x 256.
void grain_mix(const Texture* grain, int32_t a);
void grain_modulate(const Texture* grain, int32_t a);
// Moves bands of `band` rows left or right by `shift` pixels at random; the last
// band (rows >= 480 - band) is never touched. Needs band > 0 and 0 <= shift < 640.
void row_glitch(int32_t shift, int32_t band);
void fade_screen(uint32_t colour, int32_t a);

// The same operations split in two: the random numbers are drawn first (in
// the order the whole operation draws them), then any band of screen rows
// [y0, y1) is drawn. Each pixel depends on its own row only, so drawing the
// bands in any order gives the bytes of the whole operation.
struct GrainWalk {
    uint8_t row[400];    // grain row of letterbox row 40 + k
    uint8_t offset[400]; // grain column of screen column x is (offset + x) & 255
};
void grain_walk_draw(GrainWalk* walk);
void grain_mix_rows(const Texture* grain, const GrainWalk* walk, int32_t a, int32_t y0, int32_t y1);
void grain_modulate_rows(const Texture* grain, const GrainWalk* walk, int32_t a, int32_t y0, int32_t y1);
struct RowGlitch {
    int32_t shift;
    uint8_t move[480]; // per screen row: 1 left, 3 right, 0 stays
};
void row_glitch_draw(RowGlitch* glitch, int32_t shift, int32_t band);
void row_glitch_rows(const RowGlitch* glitch, int32_t y0, int32_t y1);
void fade_screen_rows(uint32_t colour, int32_t a, int32_t y0, int32_t y1);
// Alpha of the closing text at whole beat d and beat b (from beat 389 on).
int32_t closing_text_alpha(int32_t d, float b);
void hand_sprite(Texture* texture, float x, float y, int32_t grey_level, float angle, float scale);

// ---- Post filter.

enum { SCRATCH_COUNT = 9, CRACK_COUNT = 16, CRACK_POINTS = 11 };

struct Scratch {
    int32_t x;     // 1/16 pixel
    int32_t dx;    // 1/16 pixel per step (1/60 s of music time), -15..15
    int32_t life;  // 1/16 beat, 1..32
    int32_t start; // birth, 1/16 beat
    int32_t visible;
    int32_t alpha; // 128..255
};

struct Crack {
    int32_t life;
    int32_t start;
    int32_t visible;
    int32_t mode;   // 0..3; modes 2 and 3 blink
    int32_t length; // 8..49 pixels
    int32_t count;  // 2..11 points
    int32_t points[CRACK_POINTS][2];
};

// The live state of the post filter (SCRATCH_COUNT and CRACK_COUNT records).
Scratch* post_filter_scratches();
Crack* post_filter_cracks();

// The scratches move and the blinking cracks alternate in fixed steps of
// 1/60 s of music time, so one music time gives one picture at any frame
// rate. The step a music time falls in; and how many steps a frame at step
// `now` advances after the frame at step `last` (-1: none since loading):
// 0, 1 or several, but just one for the first frame, after a jump back, and
// after a gap of over a second (the filter was not drawn in between).
constexpr int32_t POST_STEPS_PER_SECOND = SCENE_STEPS_PER_SECOND;
int64_t post_filter_step_at(double seconds);
int32_t post_filter_steps(int64_t last, int64_t now);
