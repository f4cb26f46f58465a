// The spikeball scene's timing rules, on their own so that they can be
// checked without drawing: the light sprites' centre, the camera distance,
// the ball's placement and depth jitter, the pipe's path time, the ray centre
// and the fixed 1/60 s steps of the bass meter. Relies on scene/mesh.h.
#pragma once

#include "scene/mesh.h"

#include <cstdint>

// Centre of the rotating light sprites in frame pixels at beat b.
void spikeball_sprite_centre(float b, int32_t* cx, int32_t* cy);
// The rays' centre in the half-size letterbox copy: the sprite centre in that
// buffer's own coordinates (its row r is frame row 40 + 2r), clamped into it.
void spikeball_ray_centre(int32_t cx, int32_t cy, int32_t* x, int32_t* y);
// Camera z: 12 at beat 196, moving back to 24 by beat 202.
float spikeball_camera_z(float b);
// 1 when the ball jitters in depth on beat n: the first four beats of each
// eight-beat group from beat 196, and every beat from 216.
int32_t spikeball_jitter_beat(int32_t n);
// The ball's model matrix; r in [-1, 1) is the frame's jitter draw (used only
// on jitter beats).
void spikeball_ball_model(float seconds, int32_t n, float b, float fr, float r, Matrix* out);
// Path time of the pipe: 0 at the scene's first beat (196, at 130.66667 s).
float spikeball_pipe_time(float seconds);
// Number of 1/60 s meter steps between the step counts last and now (what a
// new frame owes the bass meter): none, one or several, at most `cap`; one
// when there was no earlier frame (last < 0) or time went back.
int32_t spikeball_meter_steps(int64_t last, int64_t now, int32_t cap);
