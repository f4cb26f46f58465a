// The greetings wall's table and timing rules, on their own so that they can
// be checked without drawing: the sixteen logo rows, the fixed soft-body
// steps of music time, the wall scroll, the band picture's envelope and the
// lens beats; and a read-only view of the logos' soft bodies.
#pragma once

#include "scene/scene_frame.h"
#include "scene/show_beats.h"
#include "scenes/softbody.h"

#include <cstdint>

enum {
    GREETING_COUNT = 16,
    GREETINGS_FIRST_BEAT = GREETINGS_BEATS.first,
    GREETINGS_END_BEAT = GREETINGS_BEATS.end,
    GREETINGS_STEPS_PER_BEAT = SCENE_STEPS_PER_BEAT, // 1/60 s at the demo's tempo
    GREETING_PIXEL = 4             // screen pixels per logo pixel
};

// One logo: its image, where its top-left pixel is placed, and the scene
// beats (whole beats from 228) at which it appears, starts to fall, is let
// go entirely and is no longer drawn.
struct GreetingRow {
    const char* file;
    float x, y;
    int32_t appear, gravity_on, unpin, end;
};

extern const GreetingRow greeting_rows[GREETING_COUNT];

// Soft-body steps of 1/60 s due at a music time: steps k = 1, 2, ... fall at
// beat 228 + k / 40, and every step at or before the time is due (0 before
// the scene, at most the scene's 1600).
int32_t greetings_steps_due(double seconds);
// Scene beat of step k (its whole beats from 228).
int32_t greetings_step_beat(int32_t k);
// Sideways pull of step k: -92 before beat 260, -32 from then on.
float greetings_step_pull(int32_t k);

// Scroll of the wall at beat b: the column of the wall at the screen's left edge.
int32_t greetings_scroll(float b, int32_t wall_width);
// Opacity of the band picture at whole beat n and beat b for the frame's random
// r in [-1, 1): rising over beats 256-259, falling over 260-263; -1 outside.
int32_t greetings_band_alpha(int32_t n, float b, float r);
// 1 on the beats that show the lenses (every fourth).
int32_t greetings_lens_beat(int32_t n);

// The soft body of a logo row (null before the load or after a failed one).
const SoftBody* greetings_body(int32_t row);
