// The end scene's timing rules, on their own so that they can be checked
// without drawing: the picture's fade, where the end title's layers stand,
// the sprites' fall in fixed steps of music time, and a read-back of the
// sprite heights. Relies on the frame record's fixed steps.
#pragma once

#include "scene/scene_frame.h"

#include <cstdint>

constexpr int32_t END_SPRITE_COUNT = 32;
constexpr int32_t END_STEPS_PER_SECOND = SCENE_STEPS_PER_SECOND;

// Alpha of the picture over the scene beneath: 0 at beat 361, rising over
// eleven beats, 255 from beat 372.
int32_t end_fade_alpha(int32_t n, float b);

// The end title at a beat: how many layers are drawn (0 before beat 372, the
// title and the ring up to beat 377, all four from 378), their depth z, the
// spread h of the two lines and the ring's turn about the view axis.
struct EndTitle {
    int32_t layers;
    float z;
    float spread;
    float spin;
};
EndTitle end_title(int32_t n, float b);

// Steps of 1/60 s of music time from the scene's first beat to `seconds`
// (0 before it): the sprites at a music time have fallen exactly this often,
// at any frame rate.
int64_t end_sprite_steps(double seconds);
// One step of a sprite's fall: down by speed / 60; below -32 it comes back
// 64 units higher, at the top of the band.
float end_sprite_fall(float y, float speed);

// The stored height of sprite i (0..31) after the last frame drawn; 0 out of range.
float end_sprite_height(int32_t i);
