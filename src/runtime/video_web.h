// The page's one addition to the video output (video_web.cpp): frames can be
// drawn without reaching the canvas, for the frames before a frame asked for.
#pragma once

#include <cstdint>

// Non-zero: frame_end leaves the canvas alone (the frame stays in memory).
void video_web_hold_canvas(int32_t hold);
