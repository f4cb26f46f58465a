// Layers drawn over the scenes: the text overlay track and the grain and TV
// post filter. Each a load / free / render trio for the effect table; both
// draw straight onto the finished frame (the timeline's finish stage).
#pragma once

#include "scene/scene_frame.h"

#include <cstdint>

int32_t overlay_load();
void overlay_free();
void overlay_render(const SceneFrame& frame);

int32_t post_filter_load();
void post_filter_free();
void post_filter_render(const SceneFrame& frame);
